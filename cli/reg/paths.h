// Registry paths as the tool's user writes them: a root key's name, a
// backslash, and the subkey path below it ("HKEY_CURRENT_USER\Software\X",
// "HKCU\Software\X", or a root alone, "HKLM").
#ifndef TOBREL_CLI_REG_PATHS_H_
#define TOBREL_CLI_REG_PATHS_H_

#include <string>

#include "TobrelTools/platform/platform.h"

namespace tobrel {
namespace cli {

struct RegistryPath {
  HKEY root;
  std::string rootName;  // the long name: "HKEY_CURRENT_USER"
  std::string subkey;    // components joined by single backslashes; empty for the root itself

  // "HKEY_CURRENT_USER\Software\X", or the root's name alone.
  std::string text() const { return subkey.empty() ? rootName : rootName + "\\" + subkey; }
};

// Parses `text`. Root names are HKEY_CLASSES_ROOT (HKCR), HKEY_CURRENT_USER
// (HKCU), HKEY_LOCAL_MACHINE (HKLM) and HKEY_USERS (HKU), in any letter
// case. Empty components (repeated, leading or trailing backslashes) are
// dropped, so "HKCU\\A\\" is HKEY_CURRENT_USER\A. Throws UsageError for an
// unknown root or an empty text.
RegistryPath parseRegistryPath(const std::string& text);

// The long name of a predefined root key's handle value, or "" for any
// other value.
std::string rootNameOf(HKEY root);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_REG_PATHS_H_
