// std::tstring: comparison, double-byte-aware and case-insensitive search,
// case conversion, the hash, formatting, string resources and pieces.
#include "TobrelTools/string/tstring.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "TobrelTools/platform/cp932.h"
#if defined(_WIN32)
#include <ctype.h>
#include <mbstring.h>
#include <wchar.h>
#else
#include "TobrelTools/platform/cp932_tables.h"
#include "TobrelTools/platform/mbcase_tables.h"
#include "TobrelTools/platform/mbstring.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#endif

static const char sccsid[] __attribute__((used)) = "@(#)tstring_ops.cpp:  Ver01.00  2026.12.05";

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

#if defined(_WIN32)
inline bool isLead(unsigned char b) { return isleadbyte(b) != 0; }
inline unsigned int mapChar(unsigned int c, bool upper) { return upper ? _mbctoupper(c) : _mbctolower(c); }
#else
// The same rules as isleadbyte and _mbctoupper/_mbctolower, read straight
// from their tables: these run once per byte.
inline bool isLead(unsigned char b) { return tobrel::cp932::kLead[b] != 0; }
inline unsigned int mapChar(unsigned int c, bool upper) {
  if (c < 0x80) {
    if (upper) return c - 'a' < 26u ? c - 0x20 : c;
    return c - 'A' < 26u ? c + 0x20 : c;
  }
  if (c < 0x100 || c > 0xFFFF) return c;
  const unsigned short* const* table = tobrel::mbcase::kLower;
  if (upper) table = tobrel::mbcase::kUpper;
  const unsigned short* lead = table[c >> 8];
  return lead && lead[c & 0xFF] ? lead[c & 0xFF] : c;
}
#endif

// Maps the double-byte character at p (lead byte, trail byte) in place.
inline void mapPair(char* p, bool upper) {
  unsigned int code = static_cast<unsigned int>(static_cast<unsigned char>(p[0])) << 8 |
                      static_cast<unsigned char>(p[1]);
  unsigned int mapped = mapChar(code, upper);
  p[0] = static_cast<char>(mapped >> 8);
  p[1] = static_cast<char>(mapped & 0xFF);
}

// The character walk of the case conversion from i on, i being a character
// start. Returns the length of the result (see convertCase).
std::size_t convertCaseFrom(char* p, std::size_t i, std::size_t n, bool upper) {
  const unsigned char lo = upper ? 'a' : 'A';
  while (i < n) {
    unsigned char b = static_cast<unsigned char>(p[i]);
    if (b < 0x80) {
      if (static_cast<unsigned char>(b - lo) < 26) p[i] = static_cast<char>(b ^ 0x20);
      ++i;
    } else if (!isLead(b)) {  // other single bytes have no case
      ++i;
    } else {
      if (i + 1 == n) return i;
      mapPair(p + i, upper);
      i += 2;
    }
  }
  return n;
}

#if !defined(_WIN32) && defined(__SSE2__)
// Bytes of a 16-byte vector within [lo, lo + span] (unsigned).
inline __m128i inRange(__m128i v, unsigned char lo, unsigned char span) {
  __m128i t = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>(lo)));
  return _mm_cmpeq_epi8(_mm_min_epu8(t, _mm_set1_epi8(static_cast<char>(span))), t);
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
#endif

// Changes the case of the n bytes at p in place, character by character
// (lengths never change), and returns the length of the result: n, or n - 1
// when the last byte is a lead byte without its trail byte, which is
// dropped. On Linux, blocks of 64 bytes are converted with vector
// instructions: every letter of the source case is flipped, the letters that
// turn out to be trail bytes are flipped back, and only the double-byte
// characters whose bytes fall in a span of the case pairs are mapped one by
// one.
std::size_t convertCase(char* p, std::size_t n, bool upper) {
  tobrel::selectJapaneseLocale();
  std::size_t i = 0;
#if !defined(_WIN32) && defined(__SSE2__)
  const unsigned char lo = upper ? 'a' : 'A';
  const tobrel::mbcase::CaseSpan* spans = upper ? tobrel::mbcase::kUpperSpans : tobrel::mbcase::kLowerSpans;
  const int spanCount = upper ? tobrel::mbcase::kUpperSpanCount : tobrel::mbcase::kLowerSpanCount;
  const __m128i flip = _mm_set1_epi8(0x20);
  // The spans as vectors, made once per call.
  const int kMaxSpans = 8;
  __m128i spanLead[kMaxSpans], spanFirst[kMaxSpans], spanWidth[kMaxSpans];
  const int usedSpans = spanCount < kMaxSpans ? spanCount : kMaxSpans;
  for (int sp = 0; sp < usedSpans; ++sp) {
    spanLead[sp] = _mm_set1_epi8(static_cast<char>(spans[sp].lead));
    spanFirst[sp] = _mm_set1_epi8(static_cast<char>(spans[sp].firstTrail));
    spanWidth[sp] = _mm_set1_epi8(static_cast<char>(spans[sp].lastTrail - spans[sp].firstTrail));
  }
  std::uint64_t carry = 0;
  // (More spans than the vectors hold: the character walk does it all.)
  for (; spanCount <= kMaxSpans && i + 64 <= n; i += 64) {
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
      for (int sp = 0; sp < usedSpans; ++sp) {
        __m128i t = _mm_sub_epi8(v, spanFirst[sp]);
        __m128i trailFits = _mm_cmpeq_epi8(_mm_min_epu8(t, spanWidth[sp]), t);
        inSpan = _mm_or_si128(inSpan, _mm_and_si128(_mm_cmpeq_epi8(prev, spanLead[sp]), trailFits));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i + 16 * k), _mm_xor_si128(v, _mm_and_si128(isLetter, flip)));
      letters |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(isLetter))) << (16 * k);
      lead |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(isLeadByte))) << (16 * k);
      pairs |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(inSpan))) << (16 * k);
    }
    if (lead == 0 && carry == 0) continue;  // all single bytes
    std::uint64_t trail = trailBytes(lead, carry);
    for (std::uint64_t m = letters & trail; m; m &= m - 1) p[i + __builtin_ctzll(m)] ^= 0x20;
    // Case pairs, found at their trail bytes (the lead byte may end the
    // previous block; it is never changed before its pair is mapped here).
    for (std::uint64_t m = pairs & trail; m; m &= m - 1) mapPair(p + i + __builtin_ctzll(m) - 1, upper);
    if (i + 64 == n && ((lead & ~trail) >> 63)) return n - 1;  // a lead byte without its trail byte
  }
  if (carry) {
    // The first byte left is the trail byte of a pair that began in the last
    // block: map the pair here, then go on from the next character.
    if (i < n) mapPair(p + i - 1, upper);
    ++i;
  }
#endif
  return convertCaseFrom(p, i, n, upper);
}

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

// ifind without lowering a copy of the text: candidates are the positions
// whose byte can lower to the lowered needle's first byte; each is checked
// by lowering, character by character, just the bytes it covers. Gives the
// same result as finding the lowered needle in the lowered text. text must
// be zero-terminated; only the part before its first NUL takes part (the
// candidate scans stop there, and a NUL never matches a needle byte).
unsigned int lowerFind(const char* textChars, const char* loweredNeedle, std::size_t m) {
  static const LowerPreimages pre;
  const unsigned char* text = bytes(textChars);
  const unsigned char* needle = bytes(loweredNeedle);
  if (m == 0) return 0;

  const unsigned char first = needle[0];  // never 0: the lowered needle ends at its NUL
  const int kinds = pre.count[first];
  const unsigned char* wanted = pre.list[first];
  // With few kinds of candidate byte, one strchr stream per kind: each scan
  // also stops at the NUL, so the text's end costs no pass of its own.
  const unsigned char* next[3] = {nullptr, nullptr, nullptr};
  auto seek = [&](int k, const unsigned char* from) {
    next[k] = bytes(std::strchr(reinterpret_cast<const char*>(from), wanted[k]));
  };
  if (kinds <= 3) {
    for (int k = 0; k < kinds; ++k) seek(k, text);
  }

  const unsigned char* known = text;
  const unsigned char* at = text;
  for (;;) {
    if (kinds <= 3) {
      at = nullptr;
      for (int k = 0; k < kinds; ++k) {
        if (next[k] && (!at || next[k] < at)) at = next[k];
      }
      if (!at) return kNotFound;
      for (int k = 0; k < kinds; ++k) {
        if (next[k] == at) seek(k, at + 1);
      }
    } else {
      while (*at && !pre.has[first][*at]) ++at;
      if (!*at) return kNotFound;
    }
    bool atStart = startsChar(known, at);
    known = atStart ? at : at + 1;
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
    if (kinds > 3) ++at;
  }
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
  return _mbsicmp(bytes(c_str()), bytes(t.c_str()));
}

int tstring::compareNoCase(const char* s) const {
  if (!s) return -1;
  return _mbsicmp(bytes(c_str()), bytes(s));
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
  std::size_t m = char_traits<char>::length(t.c_str());
  char small[256];
  std::unique_ptr<char[]> large(m < sizeof small ? nullptr : new char[m + 1]);
  char* needle = large ? large.get() : small;
  std::memcpy(needle, t.c_str(), m);
  m = convertCase(needle, m, false);
  return lowerFind(c_str(), needle, m);
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
  std::size_t n = char_traits<char>::length(c_str());
  resize(convertCase(&(*this)[static_cast<std::size_t>(0)], n, false));
  return *this;
}

const tstring& tstring::toUpper() {
  std::size_t n = char_traits<char>::length(c_str());
  resize(convertCase(&(*this)[static_cast<std::size_t>(0)], n, true));
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
