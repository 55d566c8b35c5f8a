// The tool's entry: finds the subcommand named by the first words of the
// command line, handles help, runs it and turns its outcome into the exit
// status (0 success, 1 failure of the work, 2 wrong usage).
#ifndef TOBREL_CLI_DISPATCH_H_
#define TOBREL_CLI_DISPATCH_H_

namespace tobrel {
namespace cli {

int runTool(int argc, char** argv);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_DISPATCH_H_
