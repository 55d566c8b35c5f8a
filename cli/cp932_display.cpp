#include "TobrelTools/platform/cp932.h"
#include "cli/text_escape.h"

static const char sccsid[] __attribute__((used)) = "@(#)cp932_display.cpp:  Ver01.00  2026.12.05";

namespace tobrel {
namespace cli {

char32_t cp932ToUnicode(const unsigned char* bytes, std::size_t size) {
  if (size < 1 || size > 2) return 0;
  char text[3] = {static_cast<char>(bytes[0]), size == 2 ? static_cast<char>(bytes[1]) : '\0', '\0'};
  unsigned short units[3] = {0, 0, 0};
  if (tobrel::cp932ToWide(units, text, 2) != 1) return 0;
  char32_t cp = units[0];
  // The conversion stands in U+30FB for bytes that form no character; only
  // 81 45 really is that character.
  if (cp == 0x30FB && !(size == 2 && bytes[0] == 0x81 && bytes[1] == 0x45)) return 0;
  // Control characters (0x80 is U+0080) and the private use area (0xA0,
  // 0xFD-0xFF and the user-defined codes F040-F9FC) have nothing to show:
  // their bytes are shown instead.
  if (cp < 0xA0 || (cp >= 0xE000 && cp <= 0xF8FF)) return 0;
  return cp;
}

}  // namespace cli
}  // namespace tobrel
