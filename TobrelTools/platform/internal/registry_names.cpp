// Conversion and case folding of registry names and string data, through the
// library's code page 932 table and ICU's simple upper-case mapping.
#include "TobrelTools/platform/internal/registry_names.h"

#include <unicode/uchar.h>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"

TOBREL_MODULE_ID("registry_names.cpp", "2026.12.06");

namespace tobrel {
namespace regstore {

namespace {

// Calls `f(unit)` for each UTF-16 unit the text converts to; a NUL is a unit
// of its own, so a lead byte right before it stands alone.
template <typename F>
void forEachUnit(const char* text, std::size_t size, F f) {
  for (std::size_t i = 0; i < size;) {
    unsigned short unit = 0;
    std::size_t taken = text[i] == '\0' ? 1 : cp932DecodeChar(text + i, size - i, &unit);
    f(unit);
    i += taken;
  }
}

}  // namespace

std::string ansiText(const char* text, std::size_t size) {
  std::string out;
  out.reserve(size);
  forEachUnit(text, size, [&out](unsigned short unit) {
    int code = cp932UnitToCode(unit);
    if (code < 0) {
      out += '?';   // no code: as Windows' conversion without a best fit
    } else if (code > 0xFF) {
      out += static_cast<char>(code >> 8);
      out += static_cast<char>(code & 0xFF);
    } else {
      out += static_cast<char>(code);
    }
  });
  return out;
}

std::string foldName(const char* name, std::size_t length) {
  std::string out;
  out.reserve(length * 2);
  forEachUnit(name, length, [&out](unsigned short unit) {
    UChar32 upper = u_toupper(unit);
    if (upper > 0xFFFF) upper = unit;   // keep to one unit, as Windows' table does
    out += static_cast<char>(upper >> 8);
    out += static_cast<char>(upper & 0xFF);
  });
  return out;
}

std::size_t nameUnits(const char* name, std::size_t length) {
  std::size_t n = 0;
  forEachUnit(name, length, [&n](unsigned short) { ++n; });
  return n;
}

std::string storedData(DWORD type, const BYTE* data, DWORD count) {
  const char* text = reinterpret_cast<const char*>(data);
  if (!isStringType(type) || !data) return std::string(text ? text : "", text ? count : 0);
  return ansiText(text, count);
}

}  // namespace regstore
}  // namespace tobrel
