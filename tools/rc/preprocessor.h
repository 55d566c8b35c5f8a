// The C compiler's preprocessor run over resource scripts, as the Windows
// resource toolchain does it (the GNU resource compiler runs
// "gcc -E -xc -DRC_INVOKED"): #include, #define, #if and comments are the
// compiler's business, and the reader (rc_script.h) sees their result.
#ifndef TOBREL_TOOLS_RC_PREPROCESSOR_H_
#define TOBREL_TOOLS_RC_PREPROCESSOR_H_

#include <optional>
#include <string>
#include <vector>

#include "tools/rc/rc_script.h"

namespace tobrel {
namespace rc {

// One preprocessor, set up for scripts: RC_INVOKED and _WIN32 are defined,
// the compiler's own macros and the host's headers are left out, and the
// headers of the Windows SDK and MFC that resource editors include
// (windows.h, winres.h, afxres.h, ...) are found empty unless the script's
// folder holds them, since they hold no string tables. Any other missing
// header is an error.
class Preprocessor {
 public:
  // program: a C or C++ compiler driver (gcc, clang, g++, ...); args: more
  // arguments, before the script (include folders, definitions).
  // Throws ScriptError (at "tobrel-rc", line 0) when no folder for the empty
  // headers can be made.
  Preprocessor(std::string program, std::vector<std::string> args);
  ~Preprocessor();  // removes the folder of empty headers
  Preprocessor(const Preprocessor&) = delete;
  Preprocessor& operator=(const Preprocessor&) = delete;

  // The preprocessed text of the script, with line markers. Throws
  // ScriptError with the preprocessor's first error.
  std::string run(const std::string& script) const;

  // Whether a file named by a line marker is one of the empty headers.
  bool isEmptyHeader(const std::string& path) const;

 private:
  std::string program_;
  std::vector<std::string> args_;
  std::string dir_;  // the empty headers, and the output of each run
};

// The first error of a preprocessor's diagnostics (GCC's or Clang's) in the
// tool's form, "file:line: error: reason"; a missing header reads "cannot
// open include file 'name'". None when no line is an error.
std::optional<ScriptError> firstError(const std::string& diagnostics);

// Preprocesses and reads the scripts in order into one string table; its
// inputs are the scripts and the headers they read. Throws ScriptError.
ScriptResult readScripts(const Preprocessor& preprocessor, const std::vector<std::string>& paths);

}  // namespace rc
}  // namespace tobrel

#endif  // TOBREL_TOOLS_RC_PREPROCESSOR_H_
