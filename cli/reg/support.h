// What the registry commands and the demo share: stream files of registry
// trees written and read with the library's persistence, and the registry
// changes made as one checked unit.
#ifndef TOBREL_CLI_REG_SUPPORT_H_
#define TOBREL_CLI_REG_SUPPORT_H_

#include <memory>
#include <string>
#include <vector>

#include "TobrelTools/TobrelTools.h"
#include "cli/command.h"
#include "cli/reg/paths.h"

namespace tobrel {
namespace cli {

// Writes the tree to `file` as one regtree record (a new serialization
// pass). Throws Failure when the file cannot be written; a partly written
// file is removed.
void saveTreeFile(const regtree& tree, const std::string& file);

// Reads the regtree record at the start of `file` (a new serialization
// pass). Throws Failure with the library's message when the file does not
// open or does not hold a whole registry tree.
std::unique_ptr<regtree> readTreeFile(const std::string& file);

// Writes the tree's snapshot into the registry at the tree's address, then
// checks that every key and value stands there as in the snapshot. With the
// registry store the whole restore is one transaction that is committed
// only when the check passes, so a restore that cannot be completed changes
// nothing; the Windows registry has no such transactions, and what could be
// written stays. Throws Failure naming what could not be written.
void restoreTreeChecked(regtree& tree, const std::string& target);

// Deletes the subtree at `path` and checks that it is gone; as above, with
// the registry store nothing is deleted unless all of it can be. Throws
// Failure when the key is still there afterwards.
void removeTreeChecked(const RegistryPath& path);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_REG_SUPPORT_H_
