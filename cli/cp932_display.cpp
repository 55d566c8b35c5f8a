#include "cli/text_escape.h"

static const char sccsid[] __attribute__((used)) = "@(#)cp932_display.cpp:  Ver01.00  2026.12.05";

namespace tobrel {
namespace cli {

char32_t cp932ToUnicode(const unsigned char* bytes, std::size_t size) {
  // Single-byte katakana A1-DF are the half-width forms U+FF61-U+FF9F.
  if (size == 1 && bytes[0] >= 0xA1 && bytes[0] <= 0xDF) return 0xFF61 + (bytes[0] - 0xA1);
  return 0;
}

}  // namespace cli
}  // namespace tobrel
