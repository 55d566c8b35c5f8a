// Fuzz target: the resource script reader of tobrel-rc on arbitrary
// preprocessed text (line markers, skipped directives, string tables). Any
// input must end in a table or a ScriptError naming a line, never in a crash,
// a hang or runaway memory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/rc/rc_script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  try {
    tobrel::rc::ScriptResult result = tobrel::rc::parsePreprocessed(text, "fuzz.rc");
    if (result.inputs.empty() || tobrel::rc::generateSource(result).empty()) std::abort();
  } catch (const tobrel::rc::ScriptError& e) {
    if (std::string(e.what()).find(": error: ") == std::string::npos) std::abort();
  }
  return 0;
}
