// The candidate scan of the case-insensitive search: one pass for the NUL
// and up to three byte values, instead of a strchr pass per value.
#include "TobrelTools/string/internal/byte_scan.h"

#include <cstdint>

#include "TobrelTools/export.h"
#include "TobrelTools/string/internal/byte_scan_loop.h"

#if defined(TOBREL_VECTOR_SSE2)
#include <emmintrin.h>
#endif

TOBREL_MODULE_ID("byte_scan.cpp", "2026.12.05");

namespace tobrel {

namespace {

#if defined(TOBREL_VECTOR_SSE2)
struct Sse2 {
  using Vec = __m128i;
  static constexpr int kWidth = 16;
  static Vec load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static Vec splat(unsigned char b) { return _mm_set1_epi8(static_cast<char>(b)); }
  static Vec bitXor(Vec a, Vec b) { return _mm_xor_si128(a, b); }
  static Vec bitOr(Vec a, Vec b) { return _mm_or_si128(a, b); }
  static Vec minU8(Vec a, Vec b) { return _mm_min_epu8(a, b); }
  static std::uint32_t zeros(Vec v) {
    return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())));
  }
};
#endif

const Scans& scansOf(VectorPath path) {
  static const Scans plain = {scanBytes, scanBytes, scanBytes};
  if (!vectorPathAvailable(path)) return plain;
  switch (path) {
#if defined(TOBREL_VECTOR_AVX2)
    case VectorPath::kAvx2:
      return avx2Scans();
#endif
#if defined(TOBREL_VECTOR_SSE2)
    case VectorPath::kSse2: {
      static const Scans sse2 = vectorScans<Sse2>();
      return sse2;
    }
#endif
    default:
      return plain;
  }
}

CandidateScan scanWith(const Scans& scans, const unsigned char* set, int count) {
  // Unused places repeat the first value (or the NUL when there is none).
  const unsigned char first = count > 0 ? set[0] : 0;
  CandidateScan scan;
  const unsigned char second = count > 1 ? set[1] : first;
  const unsigned char third = count > 2 ? set[2] : first;
  // Packed by arithmetic: bytes stored one by one and read back as a word
  // would stall.
  scan.set.packed = first | static_cast<std::uint32_t>(second) << 8 | static_cast<std::uint32_t>(third) << 16;
  if (count <= 1) {
    scan.run = scans.one;
  } else if (count == 2 && (first ^ second) == 0x20) {
    scan.run = scans.fold;
  } else {
    scan.run = scans.three;
  }
  return scan;
}

}  // namespace

CandidateScan candidateScanBy(VectorPath path, const unsigned char* set, int count) {
  return scanWith(scansOf(path), set, count);
}

CandidateScan candidateScan(const unsigned char* set, int count) {
  static const Scans& fastest = scansOf(fastestVectorPath());
  return scanWith(fastest, set, count);
}

}  // namespace tobrel
