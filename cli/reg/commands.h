// The "reg" subcommands, by family, and what they share.
#ifndef TOBREL_CLI_REG_COMMANDS_H_
#define TOBREL_CLI_REG_COMMANDS_H_

#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "cli/command.h"

namespace tobrel {
namespace cli {

// reg show, reg save, reg load, reg remove: subtrees as regtree snapshots.
std::vector<Command> regTreeCommands();
// reg import, reg export: .reg files of the registry editor.
std::vector<Command> regFileCommands();
// reg protect, reg unprotect: read-only keys of the registry store (none on
// Windows, whose registry has access control lists of its own).
std::vector<Command> regProtectCommands();
// reg diff: the differences between two subtrees, saved or live.
Command regDiffCommand();

// A command without options.
Command simpleCommand(const char* path, const char* synopsis, const char* summary, const char* details,
                      std::size_t minArgs, std::size_t maxArgs, int (*run)(const Invocation&));

// "no such key", "access denied", ... for a registry error code.
std::string registryErrorText(long code);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_REG_COMMANDS_H_
