#include "cli/text_escape.h"

#include <cstdio>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"

TOBREL_MODULE_ID("text_escape.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

// One step through the text: the character at `p` (ASCII byte, or a code
// page 932 character decoded to Unicode), or an undecodable byte.
struct Step {
  std::size_t length;  // bytes consumed
  char32_t cp;         // the character; 0 for an undecodable byte
  bool ascii;
};

Step nextStep(const unsigned char* p, std::size_t left) {
  if (p[0] < 0x80) return Step{1, p[0], true};
  if (cp932IsLeadByte(p[0])) {
    if (left >= 2 && cp932IsTrailByte(p[1])) {
      char32_t cp = cp932ToUnicode(p, 2);
      if (cp != 0) return Step{2, cp, false};
    }
    return Step{1, 0, false};
  }
  char32_t cp = cp932ToUnicode(p, 1);
  return Step{1, cp, false};
}

// The escapes quoted text and JSON strings share; false for any other byte.
bool appendSharedEscape(unsigned char c, std::string& out) {
  switch (c) {
    case '"': out += "\\\""; return true;
    case '\\': out += "\\\\"; return true;
    case '\n': out += "\\n"; return true;
    case '\r': out += "\\r"; return true;
    case '\t': out += "\\t"; return true;
    default: return false;
  }
}

}  // namespace

void appendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string quoteText(const char* data, std::size_t size) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size + 2);
  out += '"';
  std::size_t i = 0;
  while (i < size) {
    Step step = nextStep(p + i, size - i);
    if (step.ascii) {
      unsigned char c = p[i];
      if (appendSharedEscape(c, out)) {
        // escaped
      } else if (c == '\0') {
        out += "\\0";
      } else if (c < 0x20 || c == 0x7F) {
        char esc[8];
        std::snprintf(esc, sizeof esc, "\\x%02X", c);
        out += esc;
      } else {
        out += static_cast<char>(c);
      }
    } else if (step.cp != 0) {
      appendUtf8(step.cp, out);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", p[i]);
      out += esc;
    }
    i += step.length;
  }
  out += '"';
  return out;
}

std::string displayText(const char* data, std::size_t size) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size);
  for (std::size_t i = 0; i < size;) {
    Step step = nextStep(p + i, size - i);
    unsigned char c = p[i];
    if (step.ascii && (c == '\n' || c == '\t' || (c >= 0x20 && c != 0x7F))) {
      out += static_cast<char>(c);
    } else if (!step.ascii && step.cp != 0) {
      appendUtf8(step.cp, out);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      out += esc;
    }
    i += step.length;
  }
  return out;
}

std::string cp932ToUtf8(const char* data, std::size_t size, bool* exact) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size);
  std::size_t i = 0;
  while (i < size) {
    Step step = nextStep(p + i, size - i);
    if (step.ascii) {
      out += static_cast<char>(p[i]);
    } else {
      if (step.cp == 0 && exact) *exact = false;
      appendUtf8(step.cp != 0 ? step.cp : 0xFFFD, out);
    }
    i += step.length;
  }
  return out;
}

namespace {

// Calls `emit(cp)` for each character of the units and `lone(unit)` for each
// unit that is half of a surrogate pair without its other half.
template <typename Emit, typename Lone>
void walkUtf16(const std::u16string& units, Emit emit, Lone lone) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    char32_t u = units[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      emit(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      lone(u);
    } else {
      emit(u);
    }
  }
}

void appendUnitEscape(char32_t unit, std::string& out) {
  char esc[8];
  std::snprintf(esc, sizeof esc, "\\u%04X", static_cast<unsigned>(unit));
  out += esc;
}

}  // namespace

std::string quoteWide(const std::u16string& units) {
  std::string out = "\"";
  walkUtf16(
      units,
      [&out](char32_t cp) {
        switch (cp) {
          case '"': out += "\\\""; return;
          case '\\': out += "\\\\"; return;
          case '\n': out += "\\n"; return;
          case '\r': out += "\\r"; return;
          case '\t': out += "\\t"; return;
          case 0: out += "\\0"; return;
        }
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0)) appendUnitEscape(cp, out);
        else appendUtf8(cp, out);
      },
      [&out](char32_t unit) { appendUnitEscape(unit, out); });
  out += '"';
  return out;
}

std::string utf16ToUtf8(const std::u16string& units, bool* exact) {
  std::string out;
  walkUtf16(
      units, [&out](char32_t cp) { appendUtf8(cp, out); },
      [&out, exact](char32_t) {
        if (exact) *exact = false;
        appendUtf8(0xFFFD, out);
      });
  return out;
}

std::string hexBytes(const void* data, std::size_t size, char separator) {
  static const char digits[] = "0123456789ABCDEF";
  const unsigned char* p = static_cast<const unsigned char*>(data);
  std::string out;
  out.reserve(size * 3);
  for (std::size_t i = 0; i < size; ++i) {
    if (i && separator) out += separator;
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

char32_t cp932ToUnicode(const unsigned char* bytes, std::size_t size) {
  if (size < 1 || size > 2) return 0;
  // On Windows the conversion is the C runtime's, in the process locale,
  // which must be made code page 932 first (elsewhere this does nothing).
  static const bool japanese = (tobrel::selectJapaneseLocale(), true);
  (void)japanese;
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
