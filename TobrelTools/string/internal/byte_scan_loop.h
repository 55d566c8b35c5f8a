// Internal to byte_scan.cpp and byte_scan_avx2.cpp: the vector form of the
// candidate scan, written once over a vector width. Each file that includes
// it instantiates it for the width its compiler options allow (the AVX2 file
// is compiled for AVX2), and everything here has internal linkage, so code
// built for one processor never stands in for another's.
#ifndef TOBRELTOOLS_STRING_INTERNAL_BYTE_SCAN_LOOP_H_
#define TOBRELTOOLS_STRING_INTERNAL_BYTE_SCAN_LOOP_H_

#include <cstdint>

#include "TobrelTools/string/internal/byte_scan.h"

namespace tobrel {

// The scans of one way of running: for one value, for a letter in both
// cases, and for up to three values.
struct Scans {
  ScanFunction one, fold, three;
};

#if defined(TOBREL_VECTOR_AVX2)
// The AVX2 scans (byte_scan_avx2.cpp); run them only where the processor
// has AVX2.
const Scans& avx2Scans();
#endif

namespace {

// Byte k of a set; ByteSet's own accessor is not used here, so that no
// inline function shared with the rest of the library is compiled for AVX2.
inline unsigned char setByte(ByteSet s, int k) { return static_cast<unsigned char>(s.packed >> (8 * k)); }

// A vector width V (see byte_scan.cpp and byte_scan_avx2.cpp) provides:
//   Vec, kWidth, load(p), splat(byte), bitXor, bitOr, minU8, and zeros(v): a
//   mask with bit k set where byte k of v is zero.
//
// Each Zero turns a vector of text into one that is zero exactly at the
// wanted bytes: v ^ x is zero where v is x, and the unsigned minimum with v
// itself adds the NUL. Minima of such vectors stay zero where any of them
// is, so one test covers several vectors.
template <class V>
struct OneValue {
  typename V::Vec a;
  explicit OneValue(ByteSet s) : a(V::splat(setByte(s, 0))) {}
  typename V::Vec operator()(typename V::Vec v) const { return V::minU8(V::bitXor(v, a), v); }
};

template <class V>
struct LetterInBothCases {  // two values that differ in bit 5 only
  typename V::Vec bit, a;
  explicit LetterInBothCases(ByteSet s) : bit(V::splat(0x20)), a(V::splat(setByte(s, 0) | 0x20)) {}
  typename V::Vec operator()(typename V::Vec v) const { return V::minU8(V::bitXor(V::bitOr(v, bit), a), v); }
};

template <class V>
struct ThreeValues {
  typename V::Vec a, b, c;
  explicit ThreeValues(ByteSet s)
      : a(V::splat(setByte(s, 0))), b(V::splat(setByte(s, 1))), c(V::splat(setByte(s, 2))) {}
  typename V::Vec operator()(typename V::Vec v) const {
    return V::minU8(V::minU8(V::bitXor(v, a), V::bitXor(v, b)), V::minU8(V::bitXor(v, c), v));
  }
};

inline const unsigned char* scanBytes(const unsigned char* p, const unsigned char* end, ByteSet s) {
  const unsigned char a = setByte(s, 0), b = setByte(s, 1), c = setByte(s, 2);
  for (; p != end; ++p) {
    if (*p == 0 || *p == a || *p == b || *p == c) return p;
  }
  return end;
}

template <class V, class Zero>
const unsigned char* scanVectors(const unsigned char* p, const unsigned char* end, ByteSet s) {
  constexpr int w = V::kWidth;
  const Zero zero(s);
  const unsigned char* const begin = p;
  // Four vectors a step, tested together.
  for (; end - p >= 4 * w; p += 4 * w) {
    typename V::Vec z[4] = {zero(V::load(p)), zero(V::load(p + w)), zero(V::load(p + 2 * w)),
                            zero(V::load(p + 3 * w))};
    if (V::zeros(V::minU8(V::minU8(z[0], z[1]), V::minU8(z[2], z[3])))) {
      for (int k = 0;; ++k) {
        if (std::uint64_t m = V::zeros(z[k])) return p + k * w + __builtin_ctzll(m);
      }
    }
  }
  for (; end - p >= w; p += w) {
    if (std::uint64_t m = V::zeros(zero(V::load(p)))) return p + __builtin_ctzll(m);
  }
  if (p == end || end - begin < w) return scanBytes(p, end, s);
  // The last few bytes: the last whole vector of the range, less the bytes
  // already looked at.
  std::uint64_t m = V::zeros(zero(V::load(end - w))) >> (w - (end - p));
  return m ? p + __builtin_ctzll(m) : end;
}

template <class V>
Scans vectorScans() {
  return {scanVectors<V, OneValue<V>>, scanVectors<V, LetterInBothCases<V>>, scanVectors<V, ThreeValues<V>>};
}

}  // namespace
}  // namespace tobrel

#endif  // TOBRELTOOLS_STRING_INTERNAL_BYTE_SCAN_LOOP_H_
