// tobrel reg import FILE.reg, tobrel reg export PATH FILE.reg: the text
// files of the Windows registry editor, through the library's .reg import
// and export (the same code on the Linux registry store and on Windows).
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "TobrelTools/export.h"
#include "TobrelTools/registry/regfile.h"
#include "cli/progress.h"
#include "cli/reg/commands.h"
#include "cli/reg/paths.h"

TOBREL_MODULE_ID("file_commands.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

// The key lines of a .reg file: lines that start with '[', in a file of
// UTF-16LE units (after its byte order mark) or of single bytes.
unsigned long long countKeyLines(const std::string& bytes) {
  unsigned long long keys = 0;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      bool lineStart = i == 2 || (bytes[i - 2] == '\n' && bytes[i - 1] == '\0');
      if (lineStart && bytes[i] == '[' && bytes[i + 1] == '\0') ++keys;
    }
  } else {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (bytes[i] == '[' && (i == 0 || bytes[i - 1] == '\n' || (i == 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0))) {
        ++keys;
      }
    }
  }
  return keys;
}

int runImport(const Invocation& invocation) {
  const std::string& file = invocation.args[0];
  Progress progress;
  unsigned long long keys = 0;
  if (progress.enabled()) {
    std::ifstream in(file, std::ios::binary);
    keys = countKeyLines(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  }
  std::string error;
  bool ok;
  {
    // The import is one library call that reports nothing while it runs:
    // the line shows what it is working on and for how long.
    const auto start = std::chrono::steady_clock::now();
    BackgroundProgress running(progress, [&]() {
      long seconds = static_cast<long>(
          std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
      return "importing " + file + " (" + std::to_string(keys) + " keys): " + std::to_string(seconds) + " s";
    });
    ok = importRegFile(file.c_str(), &error);
  }
  if (!ok) throw Failure(file + ": " + error);
  std::printf("imported %s\n", file.c_str());
  return kExitOk;
}

int runExport(const Invocation& invocation) {
  RegistryPath path = parseRegistryPath(invocation.args[0]);
  const std::string& file = invocation.args[1];
  const bool regedit4 = invocation.has("regedit4");
  std::string error;
  if (!exportRegFile(path.root, path.subkey.c_str(), file.c_str(), regedit4, &error)) {
    throw Failure(error);
  }
  std::printf("exported %s to %s (%s)\n", path.text().c_str(), file.c_str(),
              regedit4 ? "REGEDIT4" : "Windows Registry Editor Version 5.00");
  return kExitOk;
}

}  // namespace

std::vector<Command> regFileCommands() {
  Command import = simpleCommand(
      "reg import", "FILE.reg", "Apply a .reg file of the registry editor to the registry.",
      "Reads both formats of the registry editor: \"Windows Registry Editor Version 5.00\"\n"
      "(UTF-16LE, or UTF-8) and REGEDIT4 (code page 932). The whole file is checked first: a\n"
      "malformed file is refused with its line number and changes nothing.\n",
      1, 1, runImport);
  Command exportCommand = simpleCommand(
      "reg export", "PATH FILE.reg [--regedit4]", "Write the registry subtree at PATH to a .reg file.",
      "Writes the key, its values, then its subkeys depth first, as the registry editor does,\n"
      "in the \"Windows Registry Editor Version 5.00\" format (UTF-16LE) unless --regedit4 is\n"
      "given.\n",
      2, 2, runExport);
  exportCommand.options = {{"regedit4", "", "write the older REGEDIT4 format (code page 932 text)"}};
  return {import, exportCommand};
}

}  // namespace cli
}  // namespace tobrel
