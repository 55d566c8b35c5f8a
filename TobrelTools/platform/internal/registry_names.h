// The registry store's view of the narrow text the registry calls are given:
// what Windows makes of it. Windows keeps names and string data as UTF-16;
// its ANSI calls convert from the ANSI code page (932 here) on the way in and
// back on the way out, and compare names without regard to case unit by unit
// after upper-casing each unit. The store keeps the converted text (as code
// page 932 again, which gives every converted unit back exactly) and looks
// names up and orders subkeys by their fold key.
#ifndef TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_NAMES_H_
#define TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_NAMES_H_

#if defined(_WIN32)
#error "registry_names.h is part of the registry emulation for hosts that are not Windows"
#endif

#include <cstddef>
#include <string>

#include "TobrelTools/platform/win32_types.h"

namespace tobrel {
namespace regstore {

// The text as a Windows ANSI call leaves it: converted to UTF-16 and back
// with the library's code page 932 conversion, NULs kept. Bytes that form no
// character become U+30FB (81 45), a character with two codes comes back
// with the code the table gives (NEC 87 90 as 81 E0, NEC-selected ED 40 as
// FA 5C); valid text with one code per character comes back as it was.
std::string ansiText(const char* text, std::size_t size);

// The fold key of a name: its UTF-16 units, each upper-cased by the Unicode
// simple mapping, as big-endian bytes. Two names are the same name exactly
// when their keys are equal, and byte order of the keys (SQLite's order for
// blobs) is Windows' order of subkeys: unit by unit of the upper-cased name.
std::string foldName(const char* name, std::size_t length);

// The number of UTF-16 units of a name (what Windows' length limits count).
std::size_t nameUnits(const char* name, std::size_t length);

// REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ: the types whose data the ANSI
// calls convert.
inline bool isStringType(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// The data RegSetValueExA stores: for the string types, converted as
// ansiText does; other data as it is. Exactly `count` bytes are read:
// Windows also looks at the byte after a text given without its NUL and
// counts a NUL it finds there, but the caller's memory may end before it.
std::string storedData(DWORD type, const BYTE* data, DWORD count);

}  // namespace regstore
}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_NAMES_H_
