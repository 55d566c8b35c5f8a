// std::tstring: comparison, double-byte-aware and case-insensitive search,
// case conversion, the hash, formatting, string resources and pieces.
#include "TobrelTools/string/tstring.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/string/internal/byte_scan.h"
#include "TobrelTools/string/internal/case_convert.h"
#include "TobrelTools/string/internal/mbchar.h"
#if defined(_WIN32)
#include <ctype.h>
#include <mbstring.h>
#include <wchar.h>
#else
#include "TobrelTools/platform/mbstring.h"
#endif
#if defined(TOBREL_VECTOR_SSE2)
#include <emmintrin.h>
#endif

TOBREL_MODULE_ID("tstring_ops.cpp", "2026.12.05");

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "hash reads groups of four bytes as little-endian values"
#endif

namespace std {

namespace {

const unsigned int kNotFound = 0xFFFFFFFFu;

inline const unsigned char* bytes(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

inline unsigned int offsetOr(const unsigned char* hit, const char* base) {
  return hit ? static_cast<unsigned int>(hit - bytes(base)) : kNotFound;
}

inline unsigned int narrow(std::size_t pos) {
  return pos == tstring::base_type::npos ? kNotFound : static_cast<unsigned int>(pos);
}

inline unsigned int rotl5(unsigned int h) { return (h << 5) | (h >> 27); }

using tobrel::convertCase;
using tobrel::mbchar::isLead;
using tobrel::mbchar::mapChar;

#if !defined(_WIN32)
// Whether pos starts a character, given that known (at or before pos) does:
// any byte outside the lead range ends a character, and from there the lead
// bytes pair up.
inline bool startsChar(const unsigned char* known, const unsigned char* pos) {
  const unsigned char* p = pos;
  while (p > known && isLead(p[-1])) --p;
  return ((pos - p) & 1) == 0;
}

// For each byte value x, the bytes that lowering can turn into x in some
// position (x itself, an upper-case ASCII letter, a lead or trail byte of a
// double-byte character whose lower-case partner has x there).
struct LowerPreimages {
  bool has[256][256];
  unsigned char list[256][256];
  int count[256];
  LowerPreimages() : has(), list(), count() {
    for (unsigned b = 0; b < 256; ++b) add(b, b);
    for (unsigned b = 'A'; b <= 'Z'; ++b) add(b + 0x20, b);
    for (unsigned code = 0x8100; code <= 0xFCFF; ++code) {
      unsigned lowered = mapChar(code, false);
      if (lowered == code) continue;
      add(lowered >> 8, code >> 8);
      add(lowered & 0xFF, code & 0xFF);
    }
  }
  void add(unsigned to, unsigned from) {
    if (!has[to][from]) {
      has[to][from] = true;
      list[to][count[to]++] = static_cast<unsigned char>(from);
    }
  }
};

// The first 16 bytes of a lowered needle as two little-endian words, kept
// in registers while the needle is made: a wide load of bytes just stored
// one by one would stall.
struct NeedleWords {
  std::uint64_t lo = 0, hi = 0;
  void put(std::size_t k, unsigned char b) {
    if (k < 8) {
      lo |= static_cast<std::uint64_t>(b) << (8 * k);
    } else if (k < 16) {
      hi |= static_cast<std::uint64_t>(b) << (8 * (k - 8));
    }
  }
};

// Lowers a needle of 1 to 16 bytes without a byte loop when it is all ASCII
// and has no NUL (else returns false and leaves the work to the loop): the
// bytes are read as words, overlapping rather than past the end, and the
// upper-case letters are found eight at a time.
bool lowerShortAsciiNeedle(const char* s, std::size_t n, NeedleWords& words) {
  std::uint64_t lo = 0, hi = 0;
  if (n >= 8) {
    std::uint64_t last;
    std::memcpy(&lo, s, 8);
    std::memcpy(&last, s + n - 8, 8);
    hi = n > 8 ? last >> (8 * (16 - n)) : 0;
  } else if (n >= 4) {
    std::uint32_t first, last;
    std::memcpy(&first, s, 4);
    std::memcpy(&last, s + n - 4, 4);
    lo = first | static_cast<std::uint64_t>(last) << (8 * (n - 4));
  } else {
    for (std::size_t k = 0; k < n; ++k) lo |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[k])) << (8 * k);
  }
  const std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
  if ((lo | hi) & highs) return false;  // not ASCII
  // A NUL among the n bytes (the bytes past them are set so as not to count).
  const std::uint64_t loPast = n >= 8 ? 0 : ~0ULL << (8 * n);
  const std::uint64_t hiPast = n >= 16 ? 0 : n > 8 ? ~0ULL << (8 * (n - 8)) : ~0ULL;
  for (std::uint64_t x : {lo | loPast, hi | hiPast}) {
    if ((x - ones) & ~x & highs) return false;
  }
  // Bytes of 0x41-0x5A: bit 7 of x + 0x3F set and of x + 0x25 clear (no
  // carries between bytes below 0x80); bit 5 lowers them.
  for (std::uint64_t* x : {&lo, &hi}) {
    const std::uint64_t upper = (*x + 0x3F * ones) & ~(*x + 0x25 * ones) & highs;
    *x |= upper >> 2;
  }
  words.lo = lo;
  words.hi = hi;
  return true;
}

#if defined(TOBREL_VECTOR_SSE2)
// A lowered needle of up to 16 bytes as vectors for the quick check of
// candidates: at the start of 16 bytes (front) and at their end (back),
// with the bits of the bytes that count.
struct ShortNeedle {
  __m128i front, back;
  unsigned frontWindow, backWindow;
  ShortNeedle(const NeedleWords& words, std::size_t m) {  // 1 <= m <= 16
    const std::uint64_t lo = words.lo, hi = words.hi;
    front = _mm_set_epi64x(static_cast<long long>(hi), static_cast<long long>(lo));
    const unsigned bits = 8 * static_cast<unsigned>(16 - m);  // below 128
    std::uint64_t backLo = lo, backHi = hi;
    if (bits >= 64) {
      backHi = lo << (bits - 64);
      backLo = 0;
    } else if (bits > 0) {
      backHi = hi << bits | lo >> (64 - bits);
      backLo = lo << bits;
    }
    back = _mm_set_epi64x(static_cast<long long>(backHi), static_cast<long long>(backLo));
    frontWindow = (1u << m) - 1;
    backWindow = frontWindow << (16 - m);
  }
};

// The quick check of a candidate, on the 16 bytes at text of which window
// marks those to compare with needle (bit k for byte k): 1 when those text
// bytes, all ASCII and lowered as such, equal the needle's; 0 when they
// differ; -1 when one of them is 0x80 or above and the character rules must
// decide.
inline int asciiWindowCompare(const unsigned char* text, __m128i needle, unsigned window) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  if (static_cast<unsigned>(_mm_movemask_epi8(v)) & window) return -1;
  const __m128i isUpper = _mm_cmplt_epi8(_mm_add_epi8(v, _mm_set1_epi8(static_cast<char>(0x80 - 'A'))),
                                         _mm_set1_epi8(static_cast<char>(0x80 + 26)));
  const __m128i lowered = _mm_add_epi8(v, _mm_and_si128(isUpper, _mm_set1_epi8(0x20)));
  const unsigned same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(lowered, needle)));
  return (same & window) == window ? 1 : 0;
}
#endif

// ifind without lowering a copy of the text: candidates are the positions
// whose byte can lower to the lowered needle's first byte; each is checked
// by lowering, character by character, just the bytes it covers. Gives the
// same result as finding the lowered needle in the lowered text. text[size]
// must be 0; only the part before the first NUL takes part (the candidate
// scans stop there, and a NUL never matches a needle byte).
unsigned int lowerFind(const char* textChars, std::size_t size, const char* loweredNeedle, std::size_t m,
                       const NeedleWords& words) {
  static const LowerPreimages pre;
  const unsigned char* text = bytes(textChars);
  const unsigned char* const end = text + size;
  const unsigned char* needle = bytes(loweredNeedle);
  if (m == 0) return 0;

  const unsigned char first = needle[0];  // never 0: the lowered needle ends at its NUL
  const int kinds = pre.count[first];
  const unsigned char* wanted = pre.list[first];

#if defined(TOBREL_VECTOR_SSE2)
  const ShortNeedle quick(words, m <= 16 ? m : 1);
#else
  (void)words;
#endif
  const tobrel::CandidateScan scan = tobrel::candidateScan(wanted, kinds);

  const unsigned char* known = text;
  const unsigned char* at = text;
  for (;; ++at) {
    if (kinds <= 3) {
      // Few kinds of candidate byte: one vector scan for all of them and the NUL.
      at = scan(at, end);
      if (at == end || !*at) return kNotFound;
    } else {
      while (*at && !pre.has[first][*at]) ++at;
      if (!*at) return kNotFound;
    }
    if (static_cast<std::size_t>(end - at) < m) return kNotFound;  // too close to the end, as are all later ones
    bool atStart = startsChar(known, at);
    known = atStart ? at : at + 1;
#if defined(TOBREL_VECTOR_SSE2)
    // Short needles over ASCII text are checked as a whole: the 16 bytes
    // from at, or else the 16 that end with the candidate's last byte
    // (text[size] is readable, so the first may take it in).
    if (atStart && m <= 16 && (end + 1 - at >= 16 || at + m - text >= 16)) {
      const int verdict = end + 1 - at >= 16 ? asciiWindowCompare(at, quick.front, quick.frontWindow)
                                             : asciiWindowCompare(at + m - 16, quick.back, quick.backWindow);
      if (verdict >= 0) {
        if (verdict) return static_cast<unsigned int>(at - text);
        continue;
      }
    }
#endif
    // Lower the characters that cover at .. at + m - 1 and compare. The walk
    // stops at the first difference, so it never passes the NUL.
    const std::size_t p = static_cast<std::size_t>(at - text);
    std::size_t i = atStart ? p : p - 1;
    bool same = true;
    while (same && i < p + m) {
      unsigned char b = text[i];
      if (isLead(b)) {
        if (text[i + 1] == 0) {  // a lead byte before the NUL: the lowered text ends before it
          same = false;
          break;
        }
        unsigned int lowered = mapChar(static_cast<unsigned int>(b) << 8 | text[i + 1], false);
        if (i >= p) same = needle[i - p] == static_cast<unsigned char>(lowered >> 8);
        if (same && i + 1 < p + m) same = needle[i + 1 - p] == static_cast<unsigned char>(lowered & 0xFF);
        i += 2;
      } else {
        same = needle[i - p] == static_cast<unsigned char>(b - 0x41u < 26u ? b + 0x20 : b);
        i += 1;
      }
    }
    if (same) return static_cast<unsigned int>(p);
  }
}
#endif

#if !defined(_WIN32)
// The last character start at or before `at`, given that `from` is one: a
// byte outside the lead range always ends a character, and from there
// lead-range bytes pair up.
std::size_t charStartAtOrBefore(const unsigned char* p, std::size_t from, std::size_t at) {
  std::size_t known = at;
  while (known > from && isLead(p[known - 1])) --known;
  return ((at - known) & 1) ? at - 1 : at;
}

// The length of a prefix that a and b share and that ends at a character
// start, found eight bytes at a time: identical bytes fold to identical
// characters. Reads stay within the first n bytes; stops at a NUL.
std::size_t sameCharacterPrefix(const unsigned char* a, const unsigned char* b, std::size_t n) {
  const std::uint64_t ones = 0x0101010101010101ULL, highs = 0x8080808080808080ULL;
  std::size_t same = 0;
  for (; same + 8 <= n; same += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + same, 8);
    std::memcpy(&y, b + same, 8);
    if (x != y || ((x - ones) & ~x & highs) != 0) break;  // a difference or a NUL
  }
  return charStartAtOrBefore(a, 0, same);
}

// _mbsicmp(a, b), reading no further than n bytes into either text ahead of
// the character walk (both have at least n bytes, NULs included). After the prefix they share byte for byte, runs of whole characters that
// lower to the same bytes are passed over (lowering is the comparison's own
// case folding, and the vector conversion is fast); the character walk
// decides from the first run that differs.
int compareNoCaseBounded(const unsigned char* a, const unsigned char* b, std::size_t n) {
  const std::size_t kRun = 1024, kShortest = 64;  // shorter runs are not worth the copies
  char lowA[kRun], lowB[kRun];
  std::size_t pos = sameCharacterPrefix(a, b, n);
  while (n - pos >= kShortest) {
    const std::size_t limit = pos + std::min(kRun, n - pos);
    const std::size_t end = charStartAtOrBefore(a, pos, limit);
    if (end == pos || charStartAtOrBefore(b, pos, limit) != end) break;
    const std::size_t len = end - pos;
    std::memcpy(lowA, a + pos, len);
    std::memcpy(lowB, b + pos, len);
    // A shorter result means a NUL: the walk ends the comparison there.
    if (convertCase(lowA, len, false) != len || convertCase(lowB, len, false) != len) break;
    if (std::memcmp(lowA, lowB, len) != 0) break;
    pos = end;
  }
  return _mbsicmp(a + pos, b + pos);
}
#endif

}  // namespace

// ---- Construction from a string resource

tstring::tstring(unsigned int id, HINSTANCE module) : wideStr(0), sysStr(0) {
  loadString(id, module);
}

// ---- Comparison

#define TOBREL_COMPARE_OPS(ARG, CMP)                                              \
  bool tstring::operator==(ARG) { return CMP == 0; }                             \
  bool tstring::operator==(ARG) const { return CMP == 0; }                       \
  bool tstring::operator!=(ARG) { return CMP != 0; }                             \
  bool tstring::operator!=(ARG) const { return CMP != 0; }                       \
  bool tstring::operator<(ARG) { return CMP < 0; }                               \
  bool tstring::operator<(ARG) const { return CMP < 0; }                         \
  bool tstring::operator>(ARG) { return CMP > 0; }                               \
  bool tstring::operator>(ARG) const { return CMP > 0; }

TOBREL_COMPARE_OPS(const tstring& t, base_type::compare(0, size(), t.data(), t.size()))
TOBREL_COMPARE_OPS(const char* s, base_type::compare(0, size(), s, char_traits<char>::length(s)))
#undef TOBREL_COMPARE_OPS

bool tstring::operator!=(tstring& t) {
  return base_type::compare(0, size(), t.data(), t.size()) != 0;
}

int tstring::compareNoCase(const tstring& t) const {
#if defined(_WIN32)
  return _mbsicmp(bytes(c_str()), bytes(t.c_str()));
#else
  return compareNoCaseBounded(bytes(c_str()), bytes(t.c_str()), std::min(size(), t.size()));
#endif
}

int tstring::compareNoCase(const char* s) const {
  if (!s) return -1;
#if defined(_WIN32)
  return _mbsicmp(bytes(c_str()), bytes(s));
#else
  return compareNoCaseBounded(bytes(c_str()), bytes(s), strnlen(s, size()));
#endif
}

int tstring::compareNoCase(const unsigned short* w) const {
  if (!w) return -1;
  const unsigned short* mine = const_cast<tstring*>(this)->xtr_ts(c_str());
#if defined(_WIN32)
  return _wcsicmp(reinterpret_cast<const wchar_t*>(mine), reinterpret_cast<const wchar_t*>(w));
#else
  return _wcsicmp(mine, w);
#endif
}

// ---- Search

unsigned int tstring::_tfind(const tstring& t) const {
  if (empty() || t.empty()) return kNotFound;
  return offsetOr(_mbsstr(bytes(c_str()), bytes(t.c_str())), c_str());
}

unsigned int tstring::_tfind(char c) const {
  if (empty()) return kNotFound;
  return offsetOr(_mbschr(bytes(c_str()), static_cast<unsigned int>(static_cast<int>(c))), c_str());
}

unsigned int tstring::_trfind(char c) const {
  if (empty()) return kNotFound;
  return offsetOr(_mbsrchr(bytes(c_str()), static_cast<unsigned int>(static_cast<int>(c))), c_str());
}

unsigned int tstring::ifind(const tstring& t) const {
#if defined(_WIN32)
  tstring text(*this), needle(t);
  text.toLower();
  needle.toLower();
  return narrow(text.base_type::find(needle.data(), 0, needle.size()));
#else
  // The same result without lowering a copy of the whole text; the needle
  // is lowered on the stack when it is short.
  const char* source = t.c_str();
  char small[256];
  std::unique_ptr<char[]> large(t.size() < sizeof small ? nullptr : new char[t.size() + 1]);
  char* needle = large ? large.get() : small;
  // An ASCII needle, the usual one, is lowered byte by byte right here (up
  // to its first NUL, where it ends); any other takes the character walk.
  unsigned char high = 0;
  std::size_t m = 0;
  NeedleWords words;
  if (t.size() >= 1 && t.size() <= 16 && lowerShortAsciiNeedle(source, t.size(), words)) {
    m = t.size();
    std::memcpy(needle, &words.lo, 8);
    std::memcpy(needle + 8, &words.hi, 8);
  }
  for (; m < t.size() && source[m]; ++m) {
    const unsigned char c = static_cast<unsigned char>(source[m]);
    high |= c;
    const unsigned char lowered = static_cast<unsigned char>(c - 'A') < 26 ? c + 0x20 : c;
    needle[m] = static_cast<char>(lowered);
    words.put(m, lowered);
  }
  if (high & 0x80) {
    std::memcpy(needle, source, m);
    m = convertCase(needle, m, false);
    words = NeedleWords();
    for (std::size_t k = 0; k < m && k < 16; ++k) words.put(k, static_cast<unsigned char>(needle[k]));
  }
  return lowerFind(c_str(), size(), needle, m, words);
#endif
}

unsigned int tstring::rfind(const tstring& t, unsigned int pos) const {
  return narrow(base_type::rfind(t.data(), pos, t.size()));
}

unsigned int tstring::rfind(char c, unsigned int pos) const {
  return narrow(base_type::rfind(c, pos));
}

unsigned int tstring::find_last_of(const char* s, unsigned int pos, unsigned int n) const {
  return narrow(base_type::find_last_of(s, pos, n));
}

unsigned int tstring::find_last_of(const char* s, unsigned int pos) const {
  return narrow(base_type::find_last_of(s, pos));
}

unsigned int tstring::find_last_of(char c, unsigned int pos) const {
  return narrow(base_type::rfind(c, pos));
}

unsigned int tstring::find_last_of(const base_type& s, unsigned int pos) const {
  return narrow(base_type::find_last_of(s.data(), pos, s.size()));
}

// ---- Case

const tstring& tstring::toLower() {
  // The text ends at its first NUL: the conversion stops there.
  resize(convertCase(&(*this)[static_cast<std::size_t>(0)], size(), false));
  return *this;
}

const tstring& tstring::toUpper() {
  // The text ends at its first NUL: the conversion stops there.
  resize(convertCase(&(*this)[static_cast<std::size_t>(0)], size(), true));
  return *this;
}

// ---- Hash

void tstring::mash(unsigned int& h, unsigned int w) const {
  h = rotl5(h) ^ w;
}

unsigned int tstring::hash() const {
  const unsigned char* p = bytes(data());
  const std::size_t len = size();
  unsigned int h = static_cast<unsigned int>(len);
  const unsigned char* end = p + (len & ~static_cast<std::size_t>(3));
  for (; p != end; p += 4) {
    // The four bytes with the first one least significant: the in-memory
    // image of a 32-bit value on the little-endian hosts the library runs on.
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    h = rotl5(h) ^ w;  // mash, inlined
  }
  if (len % 4) {
    unsigned int t = 0;
    for (std::size_t k = 0; k < len % 4; ++k) {
      t = (t << 8) | static_cast<unsigned int>(static_cast<int>(static_cast<signed char>(p[k])));
    }
    mash(h, t);
  }
  return h;
}

// ---- Formatting

const tstring& tstring::format(const char* fmt, ...) {
  char buffer[4096];
  buffer[0] = '\0';
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  int n = fmt ? std::vsnprintf(buffer, sizeof buffer, fmt, args) : 0;
  va_end(args);
  if (n < 0) {
    clear();  // the C library refused the format
  } else if (static_cast<std::size_t>(n) < sizeof buffer) {
    base_type::assign(buffer);
  } else {
    // Longer than the usual buffer: format again into one of its size.
    std::unique_ptr<char[]> big(new char[static_cast<std::size_t>(n) + 1]);
    std::vsnprintf(big.get(), static_cast<std::size_t>(n) + 1, fmt, again);
    base_type::assign(big.get());
  }
  va_end(again);
  return *this;
}

// ---- String resources

bool tstring::loadString(unsigned int id, HINSTANCE module) {
  if (!module) return false;
  clear();
  char buffer[1024];
  if (LoadStringA(module, id, buffer, static_cast<int>(sizeof buffer)) == 0) return false;
  base_type::append(buffer);
  return true;
}

// ---- Pieces and element access

tstring tstring::substr(unsigned int pos, unsigned int n) {
  return static_cast<const tstring&>(*this).substr(pos, n);
}

tstring tstring::substr(unsigned int pos, unsigned int n) const {
  std::string text(c_str());
  return tstring(text.substr(pos, n).c_str());
}

char& tstring::operator[](unsigned int i) { return base_type::operator[](i); }
char& tstring::operator[](int i) { return base_type::operator[](static_cast<std::size_t>(i)); }
const char& tstring::operator[](unsigned int i) const { return base_type::operator[](i); }
const char& tstring::operator[](int i) const { return base_type::operator[](static_cast<std::size_t>(i)); }
#if SIZE_MAX > UINT_MAX
char& tstring::operator[](std::size_t i) { return base_type::operator[](i); }
const char& tstring::operator[](std::size_t i) const { return base_type::operator[](i); }
#endif

}  // namespace std
