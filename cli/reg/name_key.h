// How the registry tells names of keys and values apart, for the commands
// that compare snapshots with each other or with the registry.
#ifndef TOBREL_CLI_REG_NAME_KEY_H_
#define TOBREL_CLI_REG_NAME_KEY_H_

#include <string>

#include "TobrelTools/TobrelTools.h"

namespace tobrel {
namespace cli {

// The registry's key of a name: two names are one name to the registry
// exactly when their keys are equal. The name is converted from code page
// 932 to UTF-16 as the registry's ANSI calls convert it, and each unit is
// upper-cased (Unicode's simple mapping), so that full-width Latin, Greek and
// Cyrillic letters match in either case, while the trail byte of a
// double-byte character is never taken for an ASCII letter. On Linux this is
// the registry store's own fold; on Windows, the system's upper-casing.
std::string registryNameKey(const std::tstring& name);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_REG_NAME_KEY_H_
