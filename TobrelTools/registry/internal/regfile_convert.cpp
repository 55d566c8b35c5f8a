// The UTF-16 side of .reg files: code page 932 text to UTF-16 and back,
// through the library's code page 932 conversions, with NULs kept.
#include <cstddef>
#include <string>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/registry/internal/regfile_format.h"

TOBREL_MODULE_ID("regfile_convert.cpp", "2026.12.05");

namespace tobrel {
namespace regfile {

namespace {

// One NUL-free piece each way.
std::u16string pieceToWide(const std::string& piece) {
  std::size_t n = cp932ToWide(nullptr, piece.c_str(), 0);
  std::vector<unsigned short> units(n + 1, 0);
  std::size_t got = cp932ToWide(units.data(), piece.c_str(), n + 1);
  return std::u16string(units.begin(), units.begin() + static_cast<std::ptrdiff_t>(got < n ? got : n));
}

std::string pieceToNarrow(const std::u16string& piece) {
  std::vector<unsigned short> units(piece.begin(), piece.end());
  units.push_back(0);
  std::size_t n = wideToCp932(nullptr, units.data(), 0);
  std::string out(n + 1, '\0');
  std::size_t got = wideToCp932(&out[0], units.data(), n + 1);
  out.resize(got < n ? got : n);
  return out;
}

bool exact(const std::u16string& piece) { return pieceToWide(pieceToNarrow(piece)) == piece; }

}  // namespace

std::u16string toWide(const std::string& narrow) {
  selectJapaneseLocale();
  std::u16string out;
  std::size_t start = 0;
  for (;;) {
    std::size_t nul = narrow.find('\0', start);
    out += pieceToWide(narrow.substr(start, nul == std::string::npos ? std::string::npos : nul - start));
    if (nul == std::string::npos) break;
    out += u'\0';
    start = nul + 1;
  }
  return out;
}

bool toNarrow(const std::u16string& wide, std::string* narrow, char16_t* bad) {
  selectJapaneseLocale();
  narrow->clear();
  std::size_t start = 0;
  for (;;) {
    std::size_t nul = wide.find(u'\0', start);
    std::u16string piece = wide.substr(start, nul == std::u16string::npos ? std::u16string::npos : nul - start);
    if (!exact(piece)) {
      for (char16_t unit : piece) {
        if ((unit >= 0xD800 && unit <= 0xDFFF) || !exact(std::u16string(1, unit))) {
          if (bad) *bad = unit;
          return false;
        }
      }
      if (bad) *bad = piece.empty() ? u'\0' : piece[0];
      return false;
    }
    *narrow += pieceToNarrow(piece);
    if (nul == std::u16string::npos) break;
    *narrow += '\0';
    start = nul + 1;
  }
  return true;
}

}  // namespace regfile
}  // namespace tobrel
