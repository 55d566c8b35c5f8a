// tobrel-rc: compiles the string tables of resource scripts into C++ source
// that registers them with the TobrelTools platform layer.
//
//   tobrel-rc -o <out.cpp> [-d <out.d>] <script.rc>...
//
// Errors go to standard error as "file:line: error: reason", and the exit
// status is 1; no output file is left behind then.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/rc/rc_script.h"

static const char sccsid[] __attribute__((used)) = "@(#)tobrel_rc.cpp:  Ver01.00  2026.12.05";

namespace {

std::string escapeForDepfile(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == ' ' || c == '#') out += '\\';
    if (c == '$') out += '$';
    out += c;
  }
  return out;
}

bool writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  std::string output, depfile;
  std::vector<std::string> scripts;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "-o" || arg == "-d") && i + 1 < argc) {
      (arg == "-o" ? output : depfile) = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "tobrel-rc: unknown option %s\n", arg.c_str());
      return 2;
    } else {
      scripts.push_back(arg);
    }
  }
  if (output.empty() || scripts.empty()) {
    std::fprintf(stderr, "usage: tobrel-rc -o <out.cpp> [-d <out.d>] <script.rc>...\n");
    return 2;
  }
  try {
    tobrel::rc::ScriptResult result = tobrel::rc::readScripts(scripts);
    if (!writeFile(output, tobrel::rc::generateSource(result))) {
      std::fprintf(stderr, "tobrel-rc: cannot write %s\n", output.c_str());
      std::remove(output.c_str());
      return 1;
    }
    if (!depfile.empty()) {
      std::string deps = escapeForDepfile(output) + ":";
      for (const std::string& in : result.inputs) deps += " \\\n  " + escapeForDepfile(in);
      if (!writeFile(depfile, deps + "\n")) {
        std::fprintf(stderr, "tobrel-rc: cannot write %s\n", depfile.c_str());
        return 1;
      }
    }
  } catch (const tobrel::rc::ScriptError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    std::remove(output.c_str());
    return 1;
  }
  return 0;
}
