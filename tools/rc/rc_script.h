// Reader of the STRINGTABLE blocks of Windows resource scripts (.rc), for
// hosts without a resource compiler.
//
// It understands the parts of the script language that string tables use:
// the preprocessor (#include of quoted files relative to the including file,
// #define of object-like names, #undef, #if/#ifdef/#ifndef/#elif/#else/#endif
// with C integer expressions and defined(), other directives ignored), //
// and /* */ comments, STRINGTABLE with optional memory flags and LANGUAGE,
// CHARACTERISTICS and VERSION statements, BEGIN/END or braces, ids as numbers
// or integer expressions over #define'd names, and strings with C escapes,
// "" for a quote, and adjacent literals joined. Every other resource
// statement is skipped, with its BEGIN/END body. Strings are kept as the
// bytes the script holds (the script's own code page): a double-byte
// character of code page 932 is copied as a unit, so its trail byte never
// starts an escape.
#ifndef TOBREL_RC_RC_SCRIPT_H_
#define TOBREL_RC_RC_SCRIPT_H_

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace tobrel {
namespace rc {

// A script that cannot be read: what() is "file:line: error: reason".
class ScriptError : public std::runtime_error {
 public:
  ScriptError(const std::string& file, int line, const std::string& reason)
      : std::runtime_error(file + ":" + std::to_string(line) + ": error: " + reason) {}
};

struct StringEntry {
  unsigned int id;
  std::string text;  // bytes as in the script, without a terminator
  std::string file;  // where the entry was defined
  int line;
};

struct ScriptResult {
  std::vector<StringEntry> strings;   // in script order
  std::vector<std::string> inputs;    // the scripts and every header read
};

// Reads the scripts in order into one string table. Throws ScriptError for
// anything it cannot read, and for an id given twice.
ScriptResult readScripts(const std::vector<std::string>& paths);

// The C++ source that registers the strings under the module it is linked
// into.
std::string generateSource(const ScriptResult& result);

}  // namespace rc
}  // namespace tobrel

#endif  // TOBREL_RC_RC_SCRIPT_H_
