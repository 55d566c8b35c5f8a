// The differences between two registry subtrees held in memory (two regtree
// snapshots, each read from a stream file or loaded from the registry):
// keys and values added, removed or changed, below the two top keys.
//
// Names are matched as the registry matches them (registryNameKey): without
// regard to case over all of Unicode, so full-width, Greek and Cyrillic
// letters too, and never a trail byte taken for a letter. A value changed when its type or its data bytes differ; a key changed
// when its class name differs. Last write times are not compared: a live key
// and its snapshot differ in them without any change of contents. The
// contents of an added or removed key are listed as added or removed too.
#ifndef TOBREL_CLI_REG_TREE_DIFF_H_
#define TOBREL_CLI_REG_TREE_DIFF_H_

#include <string>
#include <vector>

#include "TobrelTools/TobrelTools.h"

namespace tobrel {
namespace cli {

struct TreeDifference {
  enum Change { kAdded, kRemoved, kChanged };
  Change change;
  // The key, or the key that holds the value: its path below the top key,
  // components joined by backslashes, "" for the top key itself.
  std::string keyPath;
  // For a value: before (removed, changed) and after (added, changed);
  // null for a key. The values belong to the compared trees.
  const regval_t* before;
  const regval_t* after;
  // For a key: the keys themselves (one of them null when added or removed).
  const regkey_t* keyBefore;
  const regkey_t* keyAfter;

  bool isValue() const { return before || after; }
};

// In the order of the first tree's elements, each followed by what the
// second tree has in addition at the same level.
std::vector<TreeDifference> diffTrees(const regkey_t& before, const regkey_t& after);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_REG_TREE_DIFF_H_
