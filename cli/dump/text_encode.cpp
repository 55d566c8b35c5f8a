#include "cli/dump/text_encode.h"

#include <cstdio>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "cli/text_escape.h"

TOBREL_MODULE_ID("text_encode.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

std::string codePoint(char32_t cp) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
  return text;
}

// Calls `emit(cp)` for every character of the UTF-8 text; false with the
// reason at the first malformed sequence (overlong forms, surrogates and
// values past U+10FFFF included).
template <typename Emit>
bool walkUtf8(const std::string& utf8, std::string& error, Emit emit) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const std::size_t size = utf8.size();
  std::size_t i = 0;
  while (i < size) {
    unsigned char b = p[i];
    std::size_t length = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    char32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = length != 0 && i + length <= size;
    for (std::size_t k = 1; ok && k < length; ++k) {
      ok = (p[i + k] & 0xC0) == 0x80;
      cp = cp << 6 | (p[i + k] & 0x3F);
    }
    static const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (!ok || cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      error = "malformed UTF-8 at byte " + std::to_string(i) + " of the text";
      return false;
    }
    if (!emit(cp)) return false;
    i += length;
  }
  return true;
}

}  // namespace

bool utf8ToCp932(const std::string& utf8, std::string& out, std::string& error) {
  out.clear();
  return walkUtf8(utf8, error, [&](char32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      return true;
    }
    char bytes[8] = {0};
    std::size_t n = 0;
    if (cp < 0x10000 && cp != 0xFFFD) {
      unsigned short units[2] = {static_cast<unsigned short>(cp), 0};
      n = wideToCp932(bytes, units, sizeof bytes - 1);
    }
    // The conversion stands in '?' for a character without a code and a
    // best-fit neighbour for some others: only a code that shows the same
    // character again is taken.
    const unsigned char* b = reinterpret_cast<const unsigned char*>(bytes);
    if (n == 0 || n > 2 || cp932ToUnicode(b, n) != cp) {
      error = "character " + codePoint(cp) + " has no code page 932 code";
      return false;
    }
    out.append(bytes, n);
    return true;
  });
}

bool utf8ToUtf16(const std::string& utf8, std::u16string& out, std::string& error) {
  out.clear();
  return walkUtf8(utf8, error, [&](char32_t cp) {
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
    return true;
  });
}

bool parseHexBytes(const std::string& hex, std::string& out) {
  out.clear();
  if (hex.size() % 2 != 0) return false;
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  out.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out += static_cast<char>(hi << 4 | lo);
  }
  return true;
}

}  // namespace cli
}  // namespace tobrel
