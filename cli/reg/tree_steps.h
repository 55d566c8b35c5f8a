// The registry tree operations of the tool, done in steps that a progress
// line can follow. Loading and restoring a large subtree is one long call of
// regtree; here the two levels at the top are walked with the library's own
// pieces, in exactly the order regtree walks them (CRegistry's two-step
// open, enumKey and enumValue; regkey_t::restore for each element), and
// every subtree below that is handed whole to regtree::load or
// regkey_t::restore. The result is the same as that of regtree::load and
// regtree::restore.
#ifndef TOBREL_CLI_REG_TREE_STEPS_H_
#define TOBREL_CLI_REG_TREE_STEPS_H_

#include <string>

#include "TobrelTools/TobrelTools.h"

namespace tobrel {
namespace cli {

class Progress;

// Keys and values below a key element (the key itself not counted).
struct TreeCounts {
  unsigned long long keys = 0;
  unsigned long long values = 0;
};
TreeCounts countTree(const regkey_t& key);

// "3 keys and 1 value"
std::string describeCounts(const TreeCounts& counts);

// regtree::load with a progress line "<what>: N keys, M values".
void loadTree(regtree& tree, Progress& progress, const std::string& what);

// regtree::restore with a progress line "<what>: N of M keys".
void restoreTree(regtree& tree, Progress& progress, const std::string& what);

// Whether a key exists (it opens, for all access or for reading).
bool keyExists(HKEY root, const std::string& subkey);

// What of the snapshot `expected` the registry does not hold as it stands
// in the snapshot after a restore: keys that are missing, and values that
// are missing or differ in type or data. Names and text data compare as the
// registry holds them (text converted to UTF-16 and back, names by
// registryNameKey), so that names the registry holds as one are one here
// too, and names it holds apart are apart.
struct Mismatch {
  unsigned long long keys = 0;
  unsigned long long values = 0;
  std::string first;  // the path of the first one found, for the message
};
Mismatch compareWithRegistry(const regkey_t& expected, HKEY root, const std::string& subkey);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_REG_TREE_STEPS_H_
