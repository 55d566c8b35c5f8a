#include "tools/rc/preprocessor.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace tobrel {
namespace rc {
namespace {

// Headers that resource editors include (some in quotes) and that only
// define system constants.
const char* const kEmptyHeaders[] = {"windows.h", "winres.h", "winresrc.h", "afxres.h", "winuser.h",
                                     "commctrl.h", "winver.h", "dlgs.h", "richedit.h"};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

bool isDigits(const std::string& s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// "name: No such file or directory" (GCC) and "'name' file not found"
// (Clang) in the tool's words.
std::string reason(const std::string& text) {
  static const std::string kGcc = ": No such file or directory";
  static const std::string kClang = "' file not found";
  if (text.size() > kGcc.size() && text.compare(text.size() - kGcc.size(), kGcc.size(), kGcc) == 0) {
    return "cannot open include file '" + text.substr(0, text.size() - kGcc.size()) + "'";
  }
  if (text.size() > kClang.size() + 1 && text[0] == '\'' &&
      text.compare(text.size() - kClang.size(), kClang.size(), kClang) == 0) {
    return "cannot open include file '" + text.substr(1, text.size() - kClang.size() - 1) + "'";
  }
  return text;
}

}  // namespace

std::optional<ScriptError> firstError(const std::string& diagnostics) {
  std::istringstream lines(diagnostics);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string::size_type mark = line.find(": error: ");
    std::string::size_type after = mark + 9;
    std::string::size_type fatal = line.find(": fatal error: ");
    if (fatal != std::string::npos && (mark == std::string::npos || fatal < mark)) {
      mark = fatal;
      after = fatal + 15;
    }
    if (mark == std::string::npos) continue;
    // "file:line:column" or "file:line"; the file name may hold colons.
    std::string where = line.substr(0, mark);
    std::string::size_type colon = where.rfind(':');
    if (colon == std::string::npos || !isDigits(where.substr(colon + 1))) {
      return ScriptError(where, 0, reason(line.substr(after)));
    }
    std::string::size_type before = colon ? where.rfind(':', colon - 1) : std::string::npos;
    if (before != std::string::npos && isDigits(where.substr(before + 1, colon - before - 1))) {
      colon = before;  // the number after it was the column
    }
    std::string::size_type end = where.find(':', colon + 1);
    int at = std::atoi(where.substr(colon + 1, end == std::string::npos ? end : end - colon - 1).c_str());
    return ScriptError(where.substr(0, colon), at, reason(line.substr(after)));
  }
  return std::nullopt;
}

Preprocessor::Preprocessor(std::string program, std::vector<std::string> args)
    : program_(std::move(program)), args_(std::move(args)) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tobrel-rc.XXXXXX";
  if (!mkdtemp(&pattern[0])) {
    throw ScriptError("tobrel-rc", 0, "cannot make a temporary folder " + pattern + ": " + std::strerror(errno));
  }
  dir_ = pattern;
  for (const char* name : kEmptyHeaders) std::ofstream(dir_ + "/" + name);
}

Preprocessor::~Preprocessor() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

bool Preprocessor::isEmptyHeader(const std::string& path) const {
  return path.size() > dir_.size() && path.compare(0, dir_.size(), dir_) == 0 && path[dir_.size()] == '/';
}

std::string Preprocessor::run(const std::string& script) const {
  if (!std::ifstream(script)) throw ScriptError(script, 0, "cannot open the script");
  std::vector<std::string> words = {program_, "-E", "-xc", "-undef", "-nostdinc", "-w",
                                    "-DRC_INVOKED", "-D_WIN32", "-idirafter", dir_};
  words.insert(words.end(), args_.begin(), args_.end());
  words.push_back(script);
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);

  std::string out = dir_ + "/out.i", err = dir_ + "/err.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid;
  int failed = posix_spawnp(&pid, program_.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) {
    throw ScriptError(script, 0, "cannot run the preprocessor '" + program_ + "': " + std::strerror(failed));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::string diagnostics = readAll(err);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return readAll(out);
  if (std::optional<ScriptError> error = firstError(diagnostics)) throw *error;
  std::string first = diagnostics.substr(0, diagnostics.find('\n'));
  throw ScriptError(script, 0, "the preprocessor '" + program_ + "' failed" + (first.empty() ? "" : ": " + first));
}

ScriptResult readScripts(const Preprocessor& preprocessor, const std::vector<std::string>& paths) {
  ScriptResult table;
  for (const std::string& path : paths) {
    ScriptResult one = parsePreprocessed(preprocessor.run(path), path);
    std::vector<std::string> inputs;
    for (const std::string& in : one.inputs) {
      if (!preprocessor.isEmptyHeader(in)) inputs.push_back(in);
    }
    one.inputs = inputs;
    addStrings(table, one);
  }
  return table;
}

}  // namespace rc
}  // namespace tobrel
