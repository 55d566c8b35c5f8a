// The case conversion of code page 932 text: the character walk, and on x86
// hosts other than Windows two block-wise vector forms of it (SSE2, and AVX2
// chosen at run time where the processor has it; AVX-512 processors run the
// AVX2 form, a 512-bit one having measured no faster).
#include "TobrelTools/string/internal/case_convert.h"

#include <cstdint>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/string/internal/mbchar.h"
#if defined(TOBREL_VECTOR_SSE2)
#include <emmintrin.h>
#endif
#if defined(TOBREL_VECTOR_AVX2)
#include <immintrin.h>
#endif

TOBREL_MODULE_ID("case_convert.cpp", "2026.12.05");

namespace tobrel {

namespace {

using mbchar::isLead;
using mbchar::mapPair;

// The character walk from i on, i being a character start. Returns the
// length of the result (see convertCase).
std::size_t walkFrom(char* p, std::size_t i, std::size_t n, bool upper) {
  const unsigned char lo = upper ? 'a' : 'A';
  while (i < n) {
    unsigned char b = static_cast<unsigned char>(p[i]);
    if (b < 0x80) {
      if (b == 0) return i;
      if (static_cast<unsigned char>(b - lo) < 26) p[i] = static_cast<char>(b ^ 0x20);
      ++i;
    } else if (!isLead(b)) {  // other single bytes have no case
      ++i;
    } else {
      if (i + 1 == n || p[i + 1] == 0) return i;
      mapPair(p + i, upper);
      i += 2;
    }
  }
  return n;
}

#if defined(TOBREL_VECTOR_SSE2)
// The vector forms test lead bytes as cp932IsLeadByte states them (the two
// ranges 0x81-0x9F and 0xE0-0xFC); they run only when the lead-byte test of
// the string loops (the C runtime's, on Windows) says the same.
bool leadRangesAsExpected() {
  for (unsigned b = 0; b < 256; ++b) {
    const unsigned char c = static_cast<unsigned char>(b);
    if (isLead(c) != cp932IsLeadByte(c)) return false;
  }
  return true;
}

// The trail bytes of a 64-byte block, given its lead-range bytes: a byte is
// a trail byte when an odd run of lead-range bytes precedes it (a byte
// outside that range always ends a character, and from there the lead bytes
// pair up). carry says that the block's first byte is a trail byte, and
// becomes the same for the next block. The same problem, and the same
// arithmetic, as finding escaped characters after runs of backslashes.
inline std::uint64_t trailBytes(std::uint64_t lead, std::uint64_t& carry) {
  const std::uint64_t even = 0x5555555555555555ULL;
  lead &= ~carry;
  std::uint64_t followsLead = lead << 1 | carry;
  std::uint64_t oddStarts = lead & ~even & ~followsLead;
  std::uint64_t evenStarts = oddStarts + lead;
  carry = evenStarts < oddStarts ? 1 : 0;  // the addition's carry out
  return (even ^ (evenStarts << 1)) & followsLead;
}

// What the vector part found in one 64-byte block starting at p + i (one bit
// per byte), after flipping every letter of the source case in place: puts
// the trail bytes right. Letters that are trail bytes flip back, and the
// double-byte characters whose bytes may form a case pair (pairs marks their
// trail bytes) are mapped one by one; the lead byte of such a pair may end
// the previous block, and is never changed before its pair is mapped here.
// Returns false when the text ends in a lead byte without its trail byte.
inline bool finishBlock(char* p, std::size_t i, std::size_t n, bool upper, std::uint64_t lead,
                        std::uint64_t letters, std::uint64_t pairs, std::uint64_t& carry) {
  if (lead == 0 && carry == 0) return true;  // all single bytes
  std::uint64_t trail = trailBytes(lead, carry);
  for (std::uint64_t m = letters & trail; m; m &= m - 1) p[i + __builtin_ctzll(m)] ^= 0x20;
  for (std::uint64_t m = pairs & trail; m; m &= m - 1) mapPair(p + i + __builtin_ctzll(m) - 1, upper);
  return !(i + 64 == n && ((lead & ~trail) >> 63));
}

// The end of a block-wise run at i (n: where the text ends, at the latest):
// when the first byte left is the trail byte of a pair that began in the
// last block, maps the pair and goes on from the next character.
std::size_t walkAfterBlocks(char* p, std::size_t i, std::size_t n, bool upper, std::uint64_t carry) {
  if (carry) {
    if (i >= n || p[i] == 0) return i - 1;  // the text ends after a lead byte
    mapPair(p + i - 1, upper);
    ++i;
  }
  return walkFrom(p, i, n, upper);
}

// Where the first NUL of a 64-byte block lies, or 64.
inline unsigned nulInBlock(const char* block) {
  for (unsigned k = 0; k < 64; ++k) {
    if (block[k] == 0) return k;
  }
  return 64;
}

// The case pairs of a block written in one go, given by their trail bytes
// (at most 32): mapped from the bytes as read before the block is stored,
// and written after it. The lead byte of the first may end the previous
// block; lead bytes never change before their pair is mapped.
inline void mapPairs(const char* block, std::uint64_t pairs, bool upper, unsigned short* mapped) {
  for (; pairs; pairs &= pairs - 1) {
    const char* q = block + __builtin_ctzll(pairs) - 1;
    const unsigned int code = static_cast<unsigned int>(static_cast<unsigned char>(q[0])) << 8 |
                              static_cast<unsigned char>(q[1]);
    *mapped++ = static_cast<unsigned short>(mbchar::mapChar(code, upper));
  }
}

inline void writePairs(char* block, std::uint64_t pairs, const unsigned short* mapped) {
  for (; pairs; pairs &= pairs - 1, ++mapped) {
    char* q = block + __builtin_ctzll(pairs) - 1;
    q[0] = static_cast<char>(*mapped >> 8);
    q[1] = static_cast<char>(*mapped & 0xFF);
  }
}

// Bytes of a 16-byte vector within [lo, lo + span] (unsigned).
inline __m128i inRange(__m128i v, unsigned char lo, unsigned char span) {
  __m128i t = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(lo)));
  return _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(static_cast<char>(span))), t);
}

// Blocks of 64 bytes with SSE2: each case span (a lead byte and a range of
// trail bytes) is tested on its own.
std::size_t convertSse2(char* p, std::size_t n, bool upper) {
  const unsigned char lo = upper ? 'a' : 'A';
  const mbcase::CaseSpan* spans = upper ? mbcase::kUpperSpans : mbcase::kLowerSpans;
  const int spanCount = upper ? mbcase::kUpperSpanCount : mbcase::kLowerSpanCount;
  const int kMaxSpans = 8;
  if (spanCount > kMaxSpans) return walkFrom(p, 0, n, upper);
  const __m128i flip = _mm_set1_epi8(0x20);
  // The spans as vectors, made once per call.
  __m128i spanLead[kMaxSpans], spanFirst[kMaxSpans], spanWidth[kMaxSpans];
  for (int sp = 0; sp < spanCount; ++sp) {
    spanLead[sp] = _mm_set1_epi8(static_cast<char>(spans[sp].lead));
    spanFirst[sp] = _mm_set1_epi8(static_cast<char>(spans[sp].firstTrail));
    spanWidth[sp] = _mm_set1_epi8(static_cast<char>(spans[sp].lastTrail - spans[sp].firstTrail));
  }
  std::uint64_t carry = 0;
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    __m128i least = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    for (int k = 1; k < 4; ++k) least = _mm_min_epu8(least, _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(least, _mm_setzero_si128()))) {  // the text ends in this block
      n = i + nulInBlock(p + i);
      break;
    }
    std::uint64_t lead = 0, letters = 0, pairs = 0;
    __m128i before = _mm_cvtsi32_si128(i ? static_cast<unsigned char>(p[i - 1]) : 0);
    for (int k = 0; k < 4; ++k) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k));
      // Each byte's predecessor: the lead byte of a pair whose trail byte it is.
      __m128i prev = _mm_or_si128(_mm_slli_si128(v, 1), before);
      before = _mm_srli_si128(v, 15);
      __m128i isLetter = inRange(v, lo, 25);
      __m128i isLeadByte = _mm_or_si128(inRange(v, 0x81, 0x1E), inRange(v, 0xE0, 0x1C));
      __m128i inSpan = _mm_setzero_si128();
      for (int sp = 0; sp < spanCount; ++sp) {
        __m128i t = _mm_sub_epi8(v, spanFirst[sp]);
        __m128i trailFits = _mm_cmpeq_epi8(_mm_min_epu8(t, spanWidth[sp]), t);
        inSpan = _mm_or_si128(inSpan, _mm_and_si128(_mm_cmpeq_epi8(prev, spanLead[sp]), trailFits));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 16 * k), _mm_xor_si128(v, _mm_and_si128(isLetter, flip)));
      letters |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(isLetter))) << (16 * k);
      lead |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(isLeadByte))) << (16 * k);
      pairs |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(inSpan))) << (16 * k);
    }
    if (!finishBlock(p, i, n, upper, lead, letters, pairs, carry)) return n - 1;
  }
  return walkAfterBlocks(p, i, n, upper, carry);
}
#endif  // TOBREL_VECTOR_SSE2

#if defined(TOBREL_VECTOR_AVX2)
// The case spans of one direction as 16-byte lookup tables indexed by the
// low four bits of a lead byte: the lead byte itself, and the range of its
// trail bytes as a bias and a limit (a trail byte t is in range when
// t + bias, as a signed byte, is below the limit). One lookup per byte
// replaces a test per span; it needs spans whose lead bytes differ in their
// low four bits, which is true of code page 932 (the tables are checked).
// Where every pair of a span keeps its lead byte and moves its trail byte by
// the same amount (the full-width Latin and the Greek letters), delta holds
// that amount and the pairs change inside the vector; the other spans are
// marked slow and their pairs are mapped one by one.
struct SpanNibbles {
  bool usable;
  alignas(16) unsigned char lead[16];
  alignas(16) unsigned char bias[16];
  alignas(16) unsigned char limit[16];
  alignas(16) unsigned char delta[16];
  alignas(16) unsigned char slow[16];
};

// The one trail-byte move of every pair of span, or -1.
int constantTrailMove(const mbcase::CaseSpan& span, const unsigned short* const* table) {
  const unsigned short* row = table[span.lead];
  if (!row) return -1;
  int move = -1;
  for (unsigned trail = span.firstTrail; trail <= span.lastTrail; ++trail) {
    const unsigned mapped = row[trail];
    if (mapped == 0 || (mapped >> 8) != span.lead) return -1;
    const int m = static_cast<int>((mapped - trail) & 0xFF);
    if (move >= 0 && m != move) return -1;
    move = m;
  }
  return move;
}

SpanNibbles makeSpanNibbles(const mbcase::CaseSpan* spans, int count, const unsigned short* const* table) {
  SpanNibbles t;
  t.usable = true;
  for (int k = 0; k < 16; ++k) {
    t.lead[k] = 0;
    t.bias[k] = 0;
    t.limit[k] = 0x80;  // -128: no byte is in range
    t.delta[k] = 0;
    t.slow[k] = 0;
  }
  bool used[16] = {};
  for (int sp = 0; sp < count; ++sp) {
    const unsigned nib = spans[sp].lead & 0x0Fu;
    const unsigned width = static_cast<unsigned>(spans[sp].lastTrail) - spans[sp].firstTrail;
    if (used[nib] || spans[sp].lastTrail < spans[sp].firstTrail || width >= 0xFF) {
      t.usable = false;
      return t;
    }
    used[nib] = true;
    t.lead[nib] = spans[sp].lead;
    t.bias[nib] = static_cast<unsigned char>(0x80u - spans[sp].firstTrail);
    t.limit[nib] = static_cast<unsigned char>(0x80u + width + 1);
    const int move = constantTrailMove(spans[sp], table);
    if (move >= 0) {
      t.delta[nib] = static_cast<unsigned char>(move);
    } else {
      t.slow[nib] = 0xFF;
    }
  }
  return t;
}

const SpanNibbles& spanNibbles(bool upper) {
  static const SpanNibbles lower = makeSpanNibbles(mbcase::kLowerSpans, mbcase::kLowerSpanCount, mbcase::kLower);
  static const SpanNibbles upperTables =
      makeSpanNibbles(mbcase::kUpperSpans, mbcase::kUpperSpanCount, mbcase::kUpper);
  return upper ? upperTables : lower;
}

// The constants of one conversion, as vectors.
struct Avx2Constants {
  __m256i letterBias, letterLimit, letterMove, leadBias, leadLimit, lowNibble, flip;
  __m256i spanLead, spanBias, spanLimit, spanDelta, spanSlow;
  __m256i byteOfBit, bitOfByte;
};

// What one 32-byte vector v holds (prev: each byte's predecessor): the
// change of its letters of the source case if they are no trail bytes, the
// change of the bytes that may be trail bytes of case pairs moved in the
// vector; as bits its lead-range bytes and the possible trail bytes of
// case pairs mapped one by one.
struct Avx2Found {
  __m256i letterChange, pairChange;
  std::uint32_t lead, slowPairs;
};

TOBREL_TARGET_AVX2 inline Avx2Found avx2Find(__m256i v, __m256i prev, const Avx2Constants& c) {
  Avx2Found f;
  // Ranges as one signed comparison each: the range is moved to start at -128.
  const __m256i isLetter = _mm256_cmpgt_epi8(c.letterLimit, _mm256_add_epi8(v, c.letterBias));
  f.letterChange = _mm256_and_si256(isLetter, c.letterMove);
  // 0x81-0x9F and 0xE0-0xFC become one range once bit 5 is flipped.
  const __m256i isLeadByte =
      _mm256_cmpgt_epi8(c.leadLimit, _mm256_add_epi8(_mm256_xor_si256(v, c.flip), c.leadBias));
  const __m256i nib = _mm256_and_si256(prev, c.lowNibble);
  const __m256i afterSpanLead = _mm256_cmpeq_epi8(prev, _mm256_shuffle_epi8(c.spanLead, nib));
  const __m256i trailFits = _mm256_cmpgt_epi8(_mm256_shuffle_epi8(c.spanLimit, nib),
                                              _mm256_add_epi8(v, _mm256_shuffle_epi8(c.spanBias, nib)));
  const __m256i inSpan = _mm256_and_si256(afterSpanLead, trailFits);
  f.pairChange = _mm256_and_si256(inSpan, _mm256_shuffle_epi8(c.spanDelta, nib));
  f.lead = static_cast<std::uint32_t>(_mm256_movemask_epi8(isLeadByte));
  f.slowPairs =
      static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(inSpan, _mm256_shuffle_epi8(c.spanSlow, nib))));
  return f;
}

// 0xFF in the bytes whose bit is set in m, 0 elsewhere.
TOBREL_TARGET_AVX2 inline __m256i bytesOfBits(std::uint32_t m, const Avx2Constants& c) {
  __m256i spread = _mm256_shuffle_epi8(_mm256_set1_epi32(static_cast<int>(m)), c.byteOfBit);
  return _mm256_cmpeq_epi8(_mm256_and_si256(spread, c.bitOfByte), c.bitOfByte);
}

// v with its changes: the letter change at bytes that are no trail bytes,
// the pair change at trail bytes.
TOBREL_TARGET_AVX2 inline __m256i changed(__m256i v, const Avx2Found& f, std::uint32_t trail, const Avx2Constants& c) {
  return _mm256_add_epi8(v, _mm256_blendv_epi8(f.letterChange, f.pairChange, bytesOfBits(trail, c)));
}

inline std::uint64_t join(std::uint32_t low, std::uint32_t high) {
  return static_cast<std::uint64_t>(high) << 32 | low;
}

// Blocks of 64 bytes with AVX2, the case spans by table lookup. Unlike the
// SSE2 form, a block is written once, after its trail bytes are known: a
// byte-wise fix right after a vector store stalls on store forwarding.
TOBREL_TARGET_AVX2 std::size_t convertAvx2(char* p, std::size_t n, bool upper) {
  const SpanNibbles& spans = spanNibbles(upper);
  if (!spans.usable) return convertSse2(p, n, upper);
  const unsigned char lo = upper ? 'a' : 'A';
  Avx2Constants c;
  c.letterBias = _mm256_set1_epi8(static_cast<char>(0x80 - lo));
  c.letterLimit = _mm256_set1_epi8(static_cast<char>(0x80 + 26));
  c.letterMove = _mm256_set1_epi8(static_cast<char>(upper ? -0x20 : 0x20));
  c.leadBias = _mm256_set1_epi8(static_cast<char>(0x80 - 0xA1));
  c.leadLimit = _mm256_set1_epi8(static_cast<char>(0x80 + 0xDC - 0xA1 + 1));
  c.lowNibble = _mm256_set1_epi8(0x0F);
  c.flip = _mm256_set1_epi8(0x20);
  auto table = [](const unsigned char* bytes) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
  };
  c.spanLead = _mm256_broadcastsi128_si256(table(spans.lead));
  c.spanBias = _mm256_broadcastsi128_si256(table(spans.bias));
  c.spanLimit = _mm256_broadcastsi128_si256(table(spans.limit));
  c.spanDelta = _mm256_broadcastsi128_si256(table(spans.delta));
  c.spanSlow = _mm256_broadcastsi128_si256(table(spans.slow));
  c.byteOfBit = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1,  //
                                 2, 2, 2, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3, 3, 3);
  c.bitOfByte = _mm256_set1_epi64x(static_cast<long long>(0x8040201008040201ULL));
  std::uint64_t carry = 0;
  __m256i last = _mm256_setzero_si256();  // the bytes before the block, as read
  std::size_t i = 0;
  for (; i + 64 <= n; i += 64) {
    char* block = p + i;
    __m256i v0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
    __m256i v1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + 32));
    __m256i nul = _mm256_cmpeq_epi8(_mm256_min_epu8(v0, v1), _mm256_setzero_si256());
    if (!_mm256_testz_si256(nul, nul)) {  // the text ends in this block
      n = i + nulInBlock(block);
      break;
    }
    // Each byte's predecessor: the vector shifted up by one byte across
    // its two halves, the last byte before it coming in at the bottom.
    __m256i prev0 = _mm256_alignr_epi8(v0, _mm256_permute2x128_si256(last, v0, 0x21), 15);
    __m256i prev1 = _mm256_alignr_epi8(v1, _mm256_permute2x128_si256(v0, v1, 0x21), 15);
    last = v1;
    const Avx2Found f0 = avx2Find(v0, prev0, c), f1 = avx2Find(v1, prev1, c);
    const std::uint64_t lead = join(f0.lead, f1.lead);
    if (lead == 0 && carry == 0) {  // all single bytes: every letter changes
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(block), _mm256_add_epi8(v0, f0.letterChange));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 32), _mm256_add_epi8(v1, f1.letterChange));
      continue;
    }
    const std::uint64_t trail = trailBytes(lead, carry);
    const std::uint64_t slowPairs = join(f0.slowPairs, f1.slowPairs) & trail;
    unsigned short mapped[32];
    if (slowPairs) mapPairs(block, slowPairs, upper, mapped);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(block), changed(v0, f0, static_cast<std::uint32_t>(trail), c));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 32),
                        changed(v1, f1, static_cast<std::uint32_t>(trail >> 32), c));
    if (slowPairs) writePairs(block, slowPairs, mapped);
    if (i + 64 == n && ((lead & ~trail) >> 63)) {  // a lead byte without its trail byte
      _mm256_zeroupper();
      return n - 1;
    }
  }
  // Clean upper register halves before plain code runs again: the compiler
  // does not always clear them before a tail call, and dirty halves slow
  // down every SSE instruction afterwards on some processors.
  _mm256_zeroupper();
  return walkAfterBlocks(p, i, n, upper, carry);
}
#endif  // TOBREL_VECTOR_AVX2


}  // namespace

std::size_t convertCaseBy(VectorPath path, char* p, std::size_t n, bool upper) {
  selectJapaneseLocale();
  if (!vectorPathAvailable(path)) path = VectorPath::kPlain;
#if defined(TOBREL_VECTOR_SSE2)
  static const bool leadRangesFit = leadRangesAsExpected();
  if (!leadRangesFit) path = VectorPath::kPlain;
#endif
  switch (path) {
#if defined(TOBREL_VECTOR_AVX2)
    case VectorPath::kAvx2:
      return convertAvx2(p, n, upper);
#endif
#if defined(TOBREL_VECTOR_SSE2)
    case VectorPath::kSse2:
      return convertSse2(p, n, upper);
#endif
    default:
      return walkFrom(p, 0, n, upper);
  }
}

std::size_t convertCase(char* p, std::size_t n, bool upper) {
  return convertCaseBy(n < 64 ? VectorPath::kPlain : fastestVectorPath(), p, n, upper);
}

}  // namespace tobrel
