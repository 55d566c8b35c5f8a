// Runs the built tobrel executable as a user would, with its own registry
// store file, and collects its exit status, stdout and stderr.
#ifndef TOBRELTOOLS_TESTS_TOOL_RUNNER_H_
#define TOBRELTOOLS_TESTS_TOOL_RUNNER_H_

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/test_util.h"

extern char** environ;

namespace tobrel {
namespace test {

struct ToolResult {
  int status = -1;  // exit status; -1 when the tool did not exit normally
  std::string out;
  std::string err;
};

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void writeText(const std::string& path, const std::string& text) {
  writeBytes(path, std::vector<unsigned char>(text.begin(), text.end()));
}

// Runs `tobrel args...` with TOBREL_REGISTRY=registry (when not empty) and
// stdin from /dev/null. stdout and stderr go to files, so that neither can
// fill a pipe and stall the tool.
inline ToolResult runTobrel(const std::vector<std::string>& args, const std::string& registry) {
  ToolResult result;
  const std::string outPath = tempPath("tool.out");
  const std::string errPath = tempPath("tool.err");

  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "TOBREL_REGISTRY=", 16) != 0) envStrings.push_back(*e);
  }
  if (!registry.empty()) envStrings.push_back("TOBREL_REGISTRY=" + registry);
  std::vector<char*> env;
  for (std::string& s : envStrings) env.push_back(&s[0]);
  env.push_back(nullptr);

  std::vector<std::string> argStrings{TOBREL_TOOL_PATH};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argStrings) argv.push_back(&s[0]);
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return result;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  result.out = readText(outPath);
  result.err = readText(errPath);
  return result;
}

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_TOOL_RUNNER_H_
