// The candidate scan in 32-byte vectors. This file alone is compiled for
// AVX2 (see CMakeLists.txt); byte_scan.cpp runs it only where the processor
// has AVX2.
#include "TobrelTools/export.h"
#include "TobrelTools/string/internal/byte_scan_loop.h"

TOBREL_MODULE_ID("byte_scan_avx2.cpp", "2026.12.06");

#if defined(TOBREL_VECTOR_AVX2)
#if !defined(__AVX2__)
#error "byte_scan_avx2.cpp must be compiled with -mavx2"
#endif
#include <immintrin.h>

namespace tobrel {

namespace {

struct Avx2 {
  using Vec = __m256i;
  static constexpr int kWidth = 32;
  static Vec load(const unsigned char* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static Vec splat(unsigned char b) { return _mm256_set1_epi8(static_cast<char>(b)); }
  static Vec bitXor(Vec a, Vec b) { return _mm256_xor_si256(a, b); }
  static Vec bitOr(Vec a, Vec b) { return _mm256_or_si256(a, b); }
  static Vec minU8(Vec a, Vec b) { return _mm256_min_epu8(a, b); }
  static std::uint32_t zeros(Vec v) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, _mm256_setzero_si256())));
  }
};

}  // namespace

const Scans& avx2Scans() {
  // The compiler clears the upper register halves on the way out, so plain
  // SSE code after a scan runs at full speed.
  static const Scans scans = vectorScans<Avx2>();
  return scans;
}

}  // namespace tobrel
#endif  // TOBREL_VECTOR_AVX2
