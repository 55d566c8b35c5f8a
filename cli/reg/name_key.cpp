#include "cli/reg/name_key.h"

#include "TobrelTools/export.h"

#if defined(_WIN32)
#include <windows.h>

#include <vector>

#include "TobrelTools/platform/cp932.h"
#else
#include "TobrelTools/platform/internal/registry_names.h"
#endif

TOBREL_MODULE_ID("name_key.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

#if defined(_WIN32)

std::string registryNameKey(const std::tstring& name) {
  // As the store's fold: each unit upper-cased on its own, as big-endian
  // bytes; a NUL is a unit of its own.
  selectJapaneseLocale();
  std::string out;
  const char* text = name.data();
  const std::size_t size = name.size();
  for (std::size_t start = 0; start <= size;) {
    std::size_t end = start;
    while (end < size && text[end] != '\0') ++end;
    const std::string piece(text + start, end - start);
    const std::size_t n = cp932ToWide(nullptr, piece.c_str(), 0);
    std::vector<unsigned short> units(n + 1, 0);
    cp932ToWide(units.data(), piece.c_str(), n + 1);
    for (std::size_t i = 0; i < n; ++i) {
      wchar_t unit = static_cast<wchar_t>(units[i]);
      CharUpperBuffW(&unit, 1);
      out += static_cast<char>(static_cast<unsigned short>(unit) >> 8);
      out += static_cast<char>(unit & 0xFF);
    }
    if (end == size) break;
    out += std::string(2, '\0');
    start = end + 1;
  }
  return out;
}

#else

std::string registryNameKey(const std::tstring& name) { return regstore::foldName(name.data(), name.size()); }

#endif

}  // namespace cli
}  // namespace tobrel
