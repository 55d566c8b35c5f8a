// Fuzz target: the resource script reader of tobrel-rc on arbitrary script
// text. Any input must end in a table or a ScriptError naming a line, never
// in a crash, a hang or runaway memory.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/rc/rc_script.h"

static const char sccsid[] __attribute__((used)) = "@(#)fuzz_rcscript.cpp:  Ver01.00  2026.12.05";

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/fuzz_rcscript." + std::to_string(getpid()) + ".rc";
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  try {
    tobrel::rc::ScriptResult result = tobrel::rc::readScripts({path});
    std::string source = tobrel::rc::generateSource(result);
    if (source.empty()) std::abort();
  } catch (const tobrel::rc::ScriptError& e) {
    if (std::string(e.what()).find(": error: ") == std::string::npos) std::abort();
  }
  return 0;
}
