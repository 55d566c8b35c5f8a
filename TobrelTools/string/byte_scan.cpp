// The candidate scan of the case-insensitive search: one pass for the NUL
// and up to three byte values, instead of a strchr pass per value.
#include "TobrelTools/string/byte_scan.h"

#include <cstddef>
#include <cstdint>

#if defined(TOBREL_VECTOR_SSE2)
#include <emmintrin.h>
#endif
#if defined(TOBREL_VECTOR_AVX2)
#include <immintrin.h>
#endif

static const char sccsid[] __attribute__((used)) = "@(#)byte_scan.cpp:  Ver01.00  2026.12.05";

namespace tobrel {

namespace {

// s holds three values, unused places repeating the first one.
inline bool wanted(unsigned char b, ByteSet s) { return b == 0 || b == s[0] || b == s[1] || b == s[2]; }

const unsigned char* scanPlain(const unsigned char* p, const unsigned char* end, ByteSet s) {
  for (; p != end; ++p) {
    if (wanted(*p, s)) return p;
  }
  return end;
}

// Each vector form turns a vector of text into one that is zero exactly at
// the wanted bytes: v ^ x is zero where v is x, and the unsigned minimum
// with v itself adds the NUL. Minima of such vectors stay zero where any
// of them is, so one test covers several vectors.

#if defined(TOBREL_VECTOR_SSE2)
struct OneSse2 {  // a single value
  __m128i a;
  explicit OneSse2(ByteSet s) : a(_mm_set1_epi8(static_cast<char>(s[0]))) {}
  __m128i operator()(__m128i v) const { return _mm_min_epu8(_mm_xor_si128(v, a), v); }
};

struct FoldSse2 {  // two values that differ in bit 5 only (a letter in both cases)
  __m128i bit, a;
  explicit FoldSse2(ByteSet s)
      : bit(_mm_set1_epi8(0x20)), a(_mm_set1_epi8(static_cast<char>(s[0] | 0x20))) {}
  __m128i operator()(__m128i v) const { return _mm_min_epu8(_mm_xor_si128(_mm_or_si128(v, bit), a), v); }
};

struct ThreeSse2 {  // up to three values
  __m128i a, b, c;
  explicit ThreeSse2(ByteSet s)
      : a(_mm_set1_epi8(static_cast<char>(s[0]))),
        b(_mm_set1_epi8(static_cast<char>(s[1]))),
        c(_mm_set1_epi8(static_cast<char>(s[2]))) {}
  __m128i operator()(__m128i v) const {
    return _mm_min_epu8(_mm_min_epu8(_mm_xor_si128(v, a), _mm_xor_si128(v, b)), _mm_min_epu8(_mm_xor_si128(v, c), v));
  }
};

inline std::uint32_t zerosSse2(__m128i z) {
  return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(z, _mm_setzero_si128())));
}

inline __m128i load16(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

template <class Zero>
const unsigned char* scanSse2(const unsigned char* p, const unsigned char* end, ByteSet s) {
  const Zero zero(s);
  const unsigned char* const begin = p;
  for (; end - p >= 64; p += 64) {
    __m128i z0 = zero(load16(p)), z1 = zero(load16(p + 16)), z2 = zero(load16(p + 32)), z3 = zero(load16(p + 48));
    if (zerosSse2(_mm_min_epu8(_mm_min_epu8(z0, z1), _mm_min_epu8(z2, z3)))) {
      std::uint64_t m = static_cast<std::uint64_t>(zerosSse2(z0)) | static_cast<std::uint64_t>(zerosSse2(z1)) << 16 |
                        static_cast<std::uint64_t>(zerosSse2(z2)) << 32 | static_cast<std::uint64_t>(zerosSse2(z3)) << 48;
      return p + __builtin_ctzll(m);
    }
  }
  for (; end - p >= 16; p += 16) {
    if (std::uint32_t m = zerosSse2(zero(load16(p)))) return p + __builtin_ctz(m);
  }
  if (p == end || end - begin < 16) return scanPlain(p, end, s);
  // The last few bytes: the last whole vector of the range, less the bytes
  // already looked at.
  std::uint32_t m = zerosSse2(zero(load16(end - 16))) >> (16 - (end - p));
  return m ? p + __builtin_ctz(m) : end;
}
#endif  // TOBREL_VECTOR_SSE2

#if defined(TOBREL_VECTOR_AVX2)
struct OneAvx2 {
  __m256i a;
  TOBREL_TARGET_AVX2 explicit OneAvx2(ByteSet s) : a(_mm256_set1_epi8(static_cast<char>(s[0]))) {}
  TOBREL_TARGET_AVX2 __m256i operator()(__m256i v) const { return _mm256_min_epu8(_mm256_xor_si256(v, a), v); }
};

struct FoldAvx2 {
  __m256i bit, a;
  TOBREL_TARGET_AVX2 explicit FoldAvx2(ByteSet s)
      : bit(_mm256_set1_epi8(0x20)), a(_mm256_set1_epi8(static_cast<char>(s[0] | 0x20))) {}
  TOBREL_TARGET_AVX2 __m256i operator()(__m256i v) const {
    return _mm256_min_epu8(_mm256_xor_si256(_mm256_or_si256(v, bit), a), v);
  }
};

struct ThreeAvx2 {
  __m256i a, b, c;
  TOBREL_TARGET_AVX2 explicit ThreeAvx2(ByteSet s)
      : a(_mm256_set1_epi8(static_cast<char>(s[0]))),
        b(_mm256_set1_epi8(static_cast<char>(s[1]))),
        c(_mm256_set1_epi8(static_cast<char>(s[2]))) {}
  TOBREL_TARGET_AVX2 __m256i operator()(__m256i v) const {
    return _mm256_min_epu8(_mm256_min_epu8(_mm256_xor_si256(v, a), _mm256_xor_si256(v, b)),
                           _mm256_min_epu8(_mm256_xor_si256(v, c), v));
  }
};

TOBREL_TARGET_AVX2 inline std::uint32_t zerosAvx2(__m256i z) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(z, _mm256_setzero_si256())));
}

TOBREL_TARGET_AVX2 inline __m256i load32(const unsigned char* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

template <class Zero>
TOBREL_TARGET_AVX2 const unsigned char* scanAvx2(const unsigned char* p, const unsigned char* end,
                                                 ByteSet s) {
  const Zero zero(s);
  const unsigned char* const begin = p;
  for (; end - p >= 128; p += 128) {
    __m256i z0 = zero(load32(p)), z1 = zero(load32(p + 32)), z2 = zero(load32(p + 64)), z3 = zero(load32(p + 96));
    if (zerosAvx2(_mm256_min_epu8(_mm256_min_epu8(z0, z1), _mm256_min_epu8(z2, z3)))) {
      std::uint64_t m = static_cast<std::uint64_t>(zerosAvx2(z1)) << 32 | zerosAvx2(z0);
      if (m) return p + __builtin_ctzll(m);
      m = static_cast<std::uint64_t>(zerosAvx2(z3)) << 32 | zerosAvx2(z2);
      return p + 64 + __builtin_ctzll(m);
    }
  }
  for (; end - p >= 32; p += 32) {
    if (std::uint32_t m = zerosAvx2(zero(load32(p)))) return p + __builtin_ctz(m);
  }
  if (p == end || end - begin < 32) return scanPlain(p, end, s);
  std::uint32_t m = zerosAvx2(zero(load32(end - 32))) >> (32 - (end - p));
  return m ? p + __builtin_ctz(m) : end;
}
#endif  // TOBREL_VECTOR_AVX2

#if defined(TOBREL_VECTOR_AVX512)
struct OneAvx512 {
  __m512i a;
  TOBREL_TARGET_AVX512 explicit OneAvx512(ByteSet s) : a(_mm512_set1_epi8(static_cast<char>(s[0]))) {}
  TOBREL_TARGET_AVX512 __m512i operator()(__m512i v) const { return _mm512_min_epu8(_mm512_xor_si512(v, a), v); }
};

struct FoldAvx512 {
  __m512i bit, a;
  TOBREL_TARGET_AVX512 explicit FoldAvx512(ByteSet s)
      : bit(_mm512_set1_epi8(0x20)), a(_mm512_set1_epi8(static_cast<char>(s[0] | 0x20))) {}
  TOBREL_TARGET_AVX512 __m512i operator()(__m512i v) const {
    return _mm512_min_epu8(_mm512_ternarylogic_epi32(v, bit, a, 0x56), v);  // (v | bit) ^ a
  }
};

struct ThreeAvx512 {
  __m512i a, b, c;
  TOBREL_TARGET_AVX512 explicit ThreeAvx512(ByteSet s)
      : a(_mm512_set1_epi8(static_cast<char>(s[0]))),
        b(_mm512_set1_epi8(static_cast<char>(s[1]))),
        c(_mm512_set1_epi8(static_cast<char>(s[2]))) {}
  TOBREL_TARGET_AVX512 __m512i operator()(__m512i v) const {
    return _mm512_min_epu8(_mm512_min_epu8(_mm512_xor_si512(v, a), _mm512_xor_si512(v, b)),
                           _mm512_min_epu8(_mm512_xor_si512(v, c), v));
  }
};

TOBREL_TARGET_AVX512 inline std::uint64_t zerosAvx512(__m512i z) { return _mm512_testn_epi8_mask(z, z); }

template <class Zero>
TOBREL_TARGET_AVX512 const unsigned char* scanAvx512Run(const unsigned char* p, const unsigned char* end,
                                                        ByteSet s) {
  const Zero zero(s);
  for (; end - p >= 128; p += 128) {
    __m512i z0 = zero(_mm512_loadu_si512(p)), z1 = zero(_mm512_loadu_si512(p + 64));
    if (zerosAvx512(_mm512_min_epu8(z0, z1))) {
      if (std::uint64_t m = zerosAvx512(z0)) return p + __builtin_ctzll(m);
      return p + 64 + __builtin_ctzll(zerosAvx512(z1));
    }
  }
  // The last bytes by masked loads, which touch only the bytes of the range.
  for (; p < end; p += 64) {
    const std::ptrdiff_t left = end - p;
    const std::uint64_t range = left >= 64 ? ~0ULL : (1ULL << left) - 1;
    if (std::uint64_t m = zerosAvx512(zero(_mm512_maskz_loadu_epi8(range, p))) & range) {
      return p + __builtin_ctzll(m);
    }
  }
  return end;
}

template <class Zero>
TOBREL_TARGET_AVX512 const unsigned char* scanAvx512(const unsigned char* p, const unsigned char* end,
                                                     ByteSet s) {
  const unsigned char* found = scanAvx512Run<Zero>(p, end, s);
  _mm256_zeroupper();  // clean upper halves for the plain code that follows
  return found;
}
#endif  // TOBREL_VECTOR_AVX512

// The scans of one path: for one value, for a letter in both cases, and
// for up to three values.
struct Scans {
  ScanFunction one, fold, three;
};

const Scans& scansOf(VectorPath path) {
  static const Scans plain = {scanPlain, scanPlain, scanPlain};
#if defined(TOBREL_VECTOR_SSE2)
  static const Scans sse2 = {scanSse2<OneSse2>, scanSse2<FoldSse2>, scanSse2<ThreeSse2>};
#endif
#if defined(TOBREL_VECTOR_AVX2)
  static const Scans avx2 = {scanAvx2<OneAvx2>, scanAvx2<FoldAvx2>, scanAvx2<ThreeAvx2>};
#endif
#if defined(TOBREL_VECTOR_AVX512)
  static const Scans avx512 = {scanAvx512<OneAvx512>, scanAvx512<FoldAvx512>, scanAvx512<ThreeAvx512>};
#endif
  if (!vectorPathAvailable(path)) return plain;
  switch (path) {
#if defined(TOBREL_VECTOR_AVX512)
    case VectorPath::kAvx512:
      return avx512;
#endif
#if defined(TOBREL_VECTOR_AVX2)
    case VectorPath::kAvx2:
      return avx2;
#endif
#if defined(TOBREL_VECTOR_SSE2)
    case VectorPath::kSse2:
      return sse2;
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
