// tobrel-rc: compiles the string tables of resource scripts into C++ source
// that registers them with the TobrelTools platform layer.
//
//   tobrel-rc -o <out.cpp> [-d <out.d>] [--preprocessor <cc>]
//             [--preprocessor-arg <arg>]... <script.rc>...
//
// The scripts go through the C preprocessor of <cc> (default: cc), a C or
// C++ compiler driver; --preprocessor-arg passes it more arguments, such as
// include folders. Errors go to standard error as "file:line: error: reason", and the exit
// status is 1; no output file is left behind then.
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tools/rc/preprocessor.h"

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
  std::string output, depfile, program = "cc";
  std::vector<std::string> scripts, preprocessorArgs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if ((arg == "-o" || arg == "-d" || arg == "--preprocessor") && i + 1 < argc) {
      (arg == "-o" ? output : arg == "-d" ? depfile : program) = argv[++i];
    } else if (arg == "--preprocessor-arg" && i + 1 < argc) {
      preprocessorArgs.push_back(argv[++i]);
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "tobrel-rc: unknown option %s\n", arg.c_str());
      return 2;
    } else {
      scripts.push_back(arg);
    }
  }
  if (output.empty() || scripts.empty()) {
    std::fprintf(stderr,
                 "usage: tobrel-rc -o <out.cpp> [-d <out.d>] [--preprocessor <cc>] [--preprocessor-arg <arg>]... "
                 "<script.rc>...\n");
    return 2;
  }
  try {
    tobrel::rc::Preprocessor preprocessor(program, preprocessorArgs);
    tobrel::rc::ScriptResult result = tobrel::rc::readScripts(preprocessor, scripts);
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
