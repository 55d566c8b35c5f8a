// The tool's subcommands, each defined in a file of its own.
#ifndef TOBREL_CLI_COMMANDS_H_
#define TOBREL_CLI_COMMANDS_H_

#include <vector>

#include "cli/command.h"

namespace tobrel {
namespace cli {

Command dumpCommand();
Command undumpCommand();
std::vector<Command> regCommands();
Command demoCommand();

// Every subcommand, in the order of the help text.
std::vector<Command> allCommands();

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_COMMANDS_H_
