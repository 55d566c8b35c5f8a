// Reader of the STRINGTABLE blocks of Windows resource scripts (.rc), for
// hosts without a resource compiler.
//
// It reads a script as the C preprocessor left it (see preprocessor.h): line
// markers ("# 12 \"file\"" or "#line 12 \"file\"") say which file and line
// the text that follows comes from, other directives (#pragma code_page and
// the like) are skipped. What it understands of the script language is what
// string tables use: STRINGTABLE with optional memory flags and LANGUAGE,
// CHARACTERISTICS and VERSION statements, BEGIN/END or braces, ids as C
// integer expressions, and strings with C escapes, "" for a quote, and
// adjacent literals joined. Every other resource statement is skipped, with
// its BEGIN/END body. Strings are kept as the bytes the script holds (the
// script's own code page): a double-byte character of code page 932 is
// copied as a unit, so its trail byte never starts an escape. Comments are
// skipped too: a C preprocessor that takes such a trail byte for an escape
// leaves the rest of the line, comments included, as written.
#ifndef TOBREL_TOOLS_RC_RC_SCRIPT_H_
#define TOBREL_TOOLS_RC_RC_SCRIPT_H_

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
  std::vector<std::string> inputs;    // the scripts and every header read, each once
};

// Reads the string tables of one preprocessed script. `script` names the
// script for text before the first line marker. Throws ScriptError for
// anything it cannot read, and for an id given twice.
ScriptResult parsePreprocessed(const std::string& text, const std::string& script);

// Adds the strings and inputs of `more` to `table`; an id that `table`
// already holds is a ScriptError at the later definition.
void addStrings(ScriptResult& table, const ScriptResult& more);

// The C++ source that registers the strings under the module it is linked
// into.
std::string generateSource(const ScriptResult& result);

}  // namespace rc
}  // namespace tobrel

#endif  // TOBREL_TOOLS_RC_RC_SCRIPT_H_
