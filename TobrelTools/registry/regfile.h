// Import and export of registry subtrees in the text format of the Windows
// registry editor (.reg files), through the registry calls, so that the same
// code serves the Linux registry store and the real Windows registry.
//
// Formats:
// - "Windows Registry Editor Version 5.00": written as UTF-16LE with a byte
//   order mark; read as UTF-16LE with a byte order mark, or as UTF-8 (with or
//   without its mark). Names and texts are converted to and from code page
//   932, the narrow text of the registry calls; hex(1), hex(2) and hex(7)
//   data are UTF-16LE in the file. A character with no exact code page 932
//   code cannot be imported (the file is refused); on export, bytes that are
//   not valid code page 932 text become U+30FB.
// - "REGEDIT4": bytes of code page 932, written and read as they are; the
//   registry calls then convert names and text data as Windows' ANSI calls
//   do (bytes that form no character become U+30FB), so that both formats
//   of a file import to the same registry contents.
//
// Lines end with CR LF on export; on import CR LF and LF are accepted. A file
// holds the header line, then key lines `[ROOT\path]` (`[-ROOT\path]`
// deletes the key with everything below it) each followed by its value lines:
// `"name"=` or `@=` (the default value) then `"text"` (REG_SZ; escapes \\ and
// \", on import also \r and \n as Wine's registry editor writes them),
// `dword:` and up to 8 hex digits, `hex:` (REG_BINARY) or `hex(N):`
// (type N in hex) followed by comma-separated hex bytes, or `-` (deletes the
// value). Hex data may continue on following lines after a trailing
// backslash. Lines starting with ';' and blank lines are ignored. Roots are
// HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE and HKEY_USERS,
// on import also HKCR, HKCU, HKLM and HKU, in any case.
//
// Export writes a key, its values in enumeration order, then its subkeys
// depth first, each key followed by a blank line. A REG_SZ value is written as
// a quoted text when its data is one text with one terminating NUL and no line
// break, otherwise as hex(1); a REG_DWORD of 4 bytes as dword:, otherwise
// hex(4). Hex data wraps before 80 columns as the registry editor wraps it. A
// file exported and imported into an empty registry exports again to the same
// bytes.
#ifndef TOBRELTOOLS_REGISTRY_REGFILE_H_
#define TOBRELTOOLS_REGISTRY_REGFILE_H_

#include <string>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"

namespace tobrel {

// Reads the .reg file `path` and applies it to the registry. The whole file is
// parsed before anything is changed: a malformed file is refused with
// "line N: reason" in *error and changes nothing. Applying is one registry
// store transaction on Linux (all or nothing); on Windows a failure while
// applying leaves the changes made before it. False with the reason in
// *error (when `error` is not null) on any failure.
TOBREL_API bool importRegFile(const char* path, std::string* error);

// importRegFile on the bytes of a file already in memory.
TOBREL_API bool importRegText(const std::string& bytes, std::string* error);

// Checks the bytes of a .reg file without applying them: true when they
// would import, else false with "line N: reason" in *error.
TOBREL_API bool checkRegText(const std::string& bytes, std::string* error);

// Writes the key `subkey` below the predefined root `root` (the root itself
// for a null or empty subkey), with everything below it, to the file `path`
// in the 5.00 format, or in the REGEDIT4 format when `regedit4` is true. The
// key path is written as given here (with repeated and trailing backslashes
// removed). False with the reason in *error when the root is not one of the
// four predefined roots, the key cannot be read, or the file cannot be
// written.
TOBREL_API bool exportRegFile(HKEY root, const char* subkey, const char* path, bool regedit4, std::string* error);

// exportRegFile into memory: *out receives the bytes of the file.
TOBREL_API bool exportRegText(HKEY root, const char* subkey, bool regedit4, std::string* out, std::string* error);

}  // namespace tobrel

#endif  // TOBRELTOOLS_REGISTRY_REGFILE_H_
