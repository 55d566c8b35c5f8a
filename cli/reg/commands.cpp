// The "reg" group of subcommands, gathered from the files that define them.
#include "cli/reg/commands.h"

#include "TobrelTools/export.h"
#include "cli/command.h"

TOBREL_MODULE_ID("commands.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

std::vector<Command> regCommands() {
  std::vector<Command> commands;
  for (const std::vector<Command>& group : {regTreeCommands(), regFileCommands(), regProtectCommands()}) {
    commands.insert(commands.end(), group.begin(), group.end());
  }
  commands.push_back(regDiffCommand());
  return commands;
}

Command simpleCommand(const char* path, const char* synopsis, const char* summary, const char* details,
                      std::size_t minArgs, std::size_t maxArgs, int (*run)(const Invocation&)) {
  Command c;
  c.path = path;
  c.synopsis = synopsis;
  c.summary = summary;
  c.details = details;
  c.minArgs = minArgs;
  c.maxArgs = maxArgs;
  c.run = run;
  return c;
}

std::string registryErrorText(long code) {
  switch (code) {
    case ERROR_SUCCESS: return "success";
    case ERROR_FILE_NOT_FOUND: return "no such key";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_INVALID_HANDLE: return "invalid handle";
    case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_BADDB: return "the registry database is damaged";
    case ERROR_CANTOPEN: return "the registry database cannot be opened";
    case ERROR_CANTREAD: return "the registry database cannot be read";
    case ERROR_CANTWRITE: return "the registry database cannot be written";
    case ERROR_REGISTRY_CORRUPT: return "the registry database is corrupt";
    case ERROR_REGISTRY_IO_FAILED: return "registry input/output failed";
    case ERROR_KEY_DELETED: return "the key was deleted";
  }
  return "registry error " + std::to_string(code);
}

}  // namespace cli
}  // namespace tobrel
