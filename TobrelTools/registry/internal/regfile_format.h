// Pieces shared by the .reg reader, writer and importer: the parsed form of a
// file, root names, the double-byte character rule and the UTF-16 side of
// code page 932.
#ifndef TOBRELTOOLS_REGISTRY_INTERNAL_REGFILE_FORMAT_H_
#define TOBRELTOOLS_REGISTRY_INTERNAL_REGFILE_FORMAT_H_

#include <string>
#include <vector>

#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/platform.h"

namespace tobrel {
namespace regfile {

extern const char kHeader5[];   // "Windows Registry Editor Version 5.00"
extern const char kHeader4[];   // "REGEDIT4"

// One step of a .reg file, in file order.
struct RegOp {
  enum Kind { kKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = kKey;
  int line = 0;         // where the step starts in the file
  HKEY root = nullptr;
  std::string path;     // below the root; empty for the root itself
  std::string name;     // value name; empty for the default value
  DWORD type = 0;
  std::string data;
};

// Parses a whole file. False with "line N: reason" in *error when it is
// malformed.
bool parseRegText(const std::string& bytes, std::vector<RegOp>* ops, std::string* error);

// The full name of a predefined root, or null for any other handle.
const char* rootName(HKEY root);

// A code page 932 lead byte followed by a trail byte make one character;
// every other byte stands alone. Reader and writer pair bytes by this same
// rule, so that a trail byte 0x5C or 0x22 is never taken for syntax.
inline std::size_t charLength(const std::string& s, std::size_t i) {
  return i + 1 < s.size() && cp932IsLeadByte(static_cast<unsigned char>(s[i])) &&
                 cp932IsTrailByte(static_cast<unsigned char>(s[i + 1]))
             ? 2
             : 1;
}

// Narrow code page 932 bytes (NULs included) to UTF-16 units; bytes that are
// no valid text become U+30FB.
std::u16string toWide(const std::string& narrow);

// UTF-16 units (NULs included) to code page 932. False when a unit has no
// exact code; *bad then names it.
bool toNarrow(const std::u16string& wide, std::string* narrow, char16_t* bad);

}  // namespace regfile
}  // namespace tobrel

#endif  // TOBRELTOOLS_REGISTRY_INTERNAL_REGFILE_FORMAT_H_
