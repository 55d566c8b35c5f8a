// The command framework of the tobrel tool: what a subcommand declares
// (name, arguments, options, help) and what it receives when it runs.
//
// Exit status: 0 success, 1 the work failed, 2 the command line was wrong.
// A subcommand reports a failure by throwing Failure and a wrong command line
// by throwing UsageError; main prints the message on stderr, prefixed with
// "tobrel: ", and turns it into the exit status.
#ifndef TOBREL_CLI_COMMAND_H_
#define TOBREL_CLI_COMMAND_H_

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tobrel {
namespace cli {

enum ExitStatus { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// The work could not be done (missing file, damaged input, registry refusal).
struct Failure : std::runtime_error {
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

// The command line asks for something the command does not take.
struct UsageError : std::runtime_error {
  explicit UsageError(const std::string& message) : std::runtime_error(message) {}
};

// One option a subcommand accepts: a flag (--json) or, when `valueName` is
// set, an option that takes a value (--to PATH, or --to=PATH).
struct OptionSpec {
  std::string name;       // without the leading dashes
  std::string valueName;  // empty for a flag
  std::string help;
};

// The parsed command line of one subcommand run.
struct Invocation {
  std::vector<std::string> args;                 // positional arguments
  std::map<std::string, std::string> options;    // given options; flags map to ""

  bool has(const std::string& option) const { return options.count(option) != 0; }
  // The value of an option that takes one, or `fallback` when it was not given.
  std::string value(const std::string& option, const std::string& fallback = "") const {
    auto it = options.find(option);
    return it == options.end() ? fallback : it->second;
  }
};

// A subcommand: `path` is its words after "tobrel" ("dump", "reg show").
struct Command {
  std::string path;
  std::string synopsis;  // the arguments, as shown in the usage line: "FILE [--json]"
  std::string summary;   // one line for the command list
  std::string details;   // the rest of the help text, may be empty
  std::vector<OptionSpec> options;
  std::size_t minArgs;
  std::size_t maxArgs;
  int (*run)(const Invocation& invocation);
};

// Parses the words after the command's path. "--help"/"-h" are handled by the
// caller; "--" ends the options. Throws UsageError for an unknown option, a
// missing option value, or a wrong number of positional arguments.
Invocation parseArguments(const Command& command, const std::vector<std::string>& words);

// The help text of one command: usage line, summary, details, options.
std::string commandHelp(const Command& command);

// The tool's subcommands, each defined in a file of its own.
Command dumpCommand();
Command undumpCommand();
std::vector<Command> regCommands();
Command demoCommand();

// Every subcommand, in the order of the help text.
std::vector<Command> allCommands();

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_COMMAND_H_
