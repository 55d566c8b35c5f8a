#include "TobrelTools/stream/internal/char_runs.h"

#include <algorithm>
#include <cstring>

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("char_runs.cpp", "2026.12.05");

namespace tobrel {

void writeChars(vostream& os, const char* p, std::size_t n) {
  if (n == 0) return;
  if (fvostream* file = exactFileStream(os)) {
    putBytes(*file, p, n);
    return;
  }
  for (std::size_t i = 0; i < n; ++i) os << p[i];
}

void readChars(vistream& is, char* p, std::size_t n, std::size_t checkEvery) {
  if (n == 0) return;
  if (fvistream* file = exactFileStream(is)) {
    // A short transfer means the file has nothing more to give: each
    // further byte read would fail the same way and store nothing.
    fvistream& in = *file;
    FILE* f = in.fvistream::file();
    const std::size_t got = f ? readBlock(p, n, f) : 0;
    if (got < n) {
      std::memset(p + got, 0, n - got);
      in.fvistream::clear(in.fvistream::rdstate() | readFailureBit(f));
    }
    return;
  }
  std::size_t i = 0;
  while (i < n && is.good()) {
    for (const std::size_t blockEnd = std::min(n, i + std::max<std::size_t>(checkEvery, 1)); i < blockEnd; ++i) {
      char c = 0;
      is >> c;
      p[i] = c;
    }
  }
  if (i < n) std::memset(p + i, 0, n - i);
}

}  // namespace tobrel
