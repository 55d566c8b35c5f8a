// Internal to the library: the candidate scan of the case-insensitive
// search, a strchr for up to three bytes at once.
#ifndef TOBRELTOOLS_STRING_INTERNAL_BYTE_SCAN_H_
#define TOBRELTOOLS_STRING_INTERNAL_BYTE_SCAN_H_

#include <cstdint>

#include "TobrelTools/string/internal/vector_path.h"

namespace tobrel {

// Up to three byte values in one word, byte k at bits 8k (unused places
// repeat the first).
struct ByteSet {
  std::uint32_t packed;
  unsigned char operator[](int k) const { return static_cast<unsigned char>(packed >> (8 * k)); }
};

using ScanFunction = const unsigned char* (*)(const unsigned char* p, const unsigned char* end, ByteSet set);

// A scan for one set of byte values, chosen once and run many times: the
// first byte in [p, end) that is 0 or one of the values; end when there is
// none. Reads nothing outside [p, end).
struct CandidateScan {
  ScanFunction run;
  ByteSet set;
  const unsigned char* operator()(const unsigned char* p, const unsigned char* end) const { return run(p, end, set); }
};

// The scan for the count values of set (count 0 to 3: none looks for the
// NUL alone; beyond three, only the first three are looked for), the
// fastest way the host has.
CandidateScan candidateScan(const unsigned char* set, int count);

// candidateScan the given way; a way the host lacks runs as kPlain.
CandidateScan candidateScanBy(VectorPath path, const unsigned char* set, int count);

}  // namespace tobrel

#endif  // TOBRELTOOLS_STRING_INTERNAL_BYTE_SCAN_H_
