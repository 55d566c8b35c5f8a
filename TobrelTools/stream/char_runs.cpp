#include "TobrelTools/stream/char_runs.h"

#include <algorithm>
#include <cstring>
#include <typeinfo>

#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "TobrelTools/stream/stdio_fast.h"

static const char sccsid[] __attribute__((used)) = "@(#)char_runs.cpp:  Ver01.00  2026.12.05";

namespace tobrel {

// The streams' bases are virtual, so a stream known to be exactly of a file
// stream type is reached through its most derived object (the one load of
// dynamic_cast<void*>), not by a downcast.

void writeChars(vostream& os, const char* p, std::size_t n) {
  if (n == 0) return;
  if (typeid(os) == typeid(fvostream)) {
    // The members are called by their qualified names: no dispatch, and
    // exactly what fvostream's byte operator does for each byte.
    fvostream& out = *static_cast<fvostream*>(dynamic_cast<void*>(&os));
    FILE* f = out.fvostream::file();
    if (!f || writeBlock(p, n, f) != n) out.fvostream::clear(out.fvostream::rdstate() | writeFailureBit(f));
    return;
  }
  for (std::size_t i = 0; i < n; ++i) os << p[i];
}

void readChars(vistream& is, char* p, std::size_t n, std::size_t checkEvery) {
  if (n == 0) return;
  if (typeid(is) == typeid(fvistream)) {
    // A short transfer means the file has nothing more to give: each
    // further byte read would fail the same way and store nothing.
    fvistream& in = *static_cast<fvistream*>(dynamic_cast<void*>(&is));
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
