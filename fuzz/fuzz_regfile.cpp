// The .reg reader on arbitrary bytes: any file is accepted or refused with a
// line number and a reason, never a crash or a read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "TobrelTools/registry/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string error;
  bool ok = tobrel::checkRegText(bytes, &error);
  if (!ok && error.compare(0, 5, "line ") != 0) std::abort();   // every refusal names its line
  return 0;
}
