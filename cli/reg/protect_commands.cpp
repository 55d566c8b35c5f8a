// tobrel reg protect / unprotect PATH: read-only keys of the registry store.
#include <cstdio>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"
#include "cli/reg/commands.h"
#include "cli/reg/paths.h"

TOBREL_MODULE_ID("protect_commands.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

#if defined(_WIN32)

std::vector<Command> regProtectCommands() { return {}; }

#else

namespace {

int setProtection(const Invocation& invocation, bool readOnly) {
  RegistryPath path = parseRegistryPath(invocation.args[0]);
  LONG rc = registrySetReadOnly(path.root, path.subkey.c_str(), readOnly);
  if (rc != ERROR_SUCCESS) throw Failure(path.text() + ": " + registryErrorText(rc));
  std::printf("%s %s\n", readOnly ? "protected" : "unprotected", path.text().c_str());
  return kExitOk;
}

int runProtect(const Invocation& invocation) { return setProtection(invocation, true); }
int runUnprotect(const Invocation& invocation) { return setProtection(invocation, false); }

}  // namespace

std::vector<Command> regProtectCommands() {
  return {simpleCommand("reg protect", "PATH", "Make the key at PATH and everything below it read-only.",
                        "A read-only key opens for reading only: writes, deletions and new subkeys fail with\n"
                        "access denied, in every process that uses the same registry store.\n",
                        1, 1, runProtect),
          simpleCommand("reg unprotect", "PATH", "Make the key at PATH and everything below it writable again.",
                        "", 1, 1, runUnprotect)};
}

#endif

}  // namespace cli
}  // namespace tobrel
