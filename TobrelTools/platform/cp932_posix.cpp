// Code page 932 conversions on hosts without a Windows C runtime: straight
// lookups in the generated tables. The loops read each source element once
// and keep no state between characters, which is what makes them several
// times faster than a general converter such as iconv.
#include "TobrelTools/platform/cp932.h"

#include <cstdint>
#include <cstring>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/internal/cp932_tables.h"

TOBREL_MODULE_ID("cp932_posix.cpp", "2026.12.05");

namespace tobrel {

using namespace cp932;

namespace {

typedef unsigned char byte;

#define TOBREL_LIKELY(x) __builtin_expect(!!(x), 1)

const std::uint64_t kHighBytes = 0x8080808080808080ull;      // bytes of 0x80 and up
const std::uint64_t kHighUnits = 0xFF80FF80FF80FF80ull;      // units of 0x80 and up

// The loops below work on [p, end) where *end is the terminating zero, so
// p[1] is readable whenever p < end, and a lead byte before the end reads
// the terminator as its (invalid) trail byte. They alternate between two
// modes: runs of units below 0x80 go a machine word at a time (when the
// table maps them to themselves), and runs of other characters go one
// character at a time with branches that stay predictable inside Japanese
// text, where a lead byte is nearly always followed by a trail byte.

// The number of characters in [p, end).
std::size_t countChars(const byte* p, const byte* end) {
  std::size_t pairs = 0;
  const byte* start = p;
  while (p < end) {
    if (*p < 0x80) {
      ++p;
      if (kAsciiSame) {
        while (end - p >= 8) {
          std::uint64_t w;
          std::memcpy(&w, p, 8);
          if (w & kHighBytes) break;
          p += 8;
        }
      }
      continue;
    }
    do {
      if (cp932IsLeadByte(*p) && TOBREL_LIKELY(cp932IsTrailByte(p[1]))) {
        ++pairs;
        p += 2;
      } else {
        ++p;
      }
    } while (*p >= 0x80);   // the terminator ends the run too
  }
  return static_cast<std::size_t>(end - start) - pairs;
}

// Decodes [p, end) into at most cap units; returns the units stored.
std::size_t decode(unsigned short* dst, std::size_t cap, const byte* p, const byte* end) {
  unsigned short* d = dst;
  unsigned short* const dend = dst + cap;
  while (p < end && d < dend) {
    if (*p < 0x80) {
      *d++ = kSingle[*p++];
      if (kAsciiSame) {
        while (end - p >= 8 && dend - d >= 8) {
          std::uint64_t w;
          std::memcpy(&w, p, 8);
          if (w & kHighBytes) break;
          for (int i = 0; i < 8; ++i) d[i] = p[i];
          p += 8;
          d += 8;
        }
      }
      continue;
    }
    do {
      unsigned b = *p;
      if (cp932IsLeadByte(static_cast<byte>(b)) && TOBREL_LIKELY(cp932IsTrailByte(p[1]))) {
        *d++ = kDouble[(b << 8 | p[1]) - 0x8000];
        p += 2;
      } else {
        *d++ = cp932IsLeadByte(static_cast<byte>(b)) ? kDefaultUnit : kSingle[b];
        ++p;
      }
    } while (*p >= 0x80 && d < dend);
  }
  return static_cast<std::size_t>(d - dst);
}

// The bytes that the units from s up to the zero unit encode to; *units
// gets the number of units.
std::size_t countBytes(const unsigned short* s, std::size_t* units) {
  std::size_t doubles = 0;
  const unsigned short* q = s;
  for (unsigned short u; (u = *q) != 0; ++q) doubles += kEncodeDouble[u];
  *units = static_cast<std::size_t>(q - s);
  return *units + doubles;
}

// Encodes the units [s, end) into at most cap bytes, whole characters only;
// returns the bytes stored and sets complete when every unit was encoded.
std::size_t encode(byte* out, std::size_t cap, const unsigned short* s, const unsigned short* end, bool& complete) {
  byte* o = out;
  byte* const oend = out + cap;
  while (s < end) {
    unsigned u = *s;
    if (kAsciiSame && u < 0x80) {
      if (o == oend) break;
      *o++ = static_cast<byte>(u);
      ++s;
      while (end - s >= 4 && oend - o >= 4) {
        std::uint64_t w;
        std::memcpy(&w, s, 8);
        if (w & kHighUnits) break;
        for (int i = 0; i < 4; ++i) o[i] = static_cast<byte>(s[i]);
        s += 4;
        o += 4;
      }
      continue;
    }
    unsigned short code = kEncode[u];
    if (TOBREL_LIKELY(code > 0xFF)) {
      if (oend - o < 2) break;
      o[0] = static_cast<byte>(code >> 8);
      o[1] = static_cast<byte>(code);
      o += 2;
    } else {
      if (o == oend) break;
      *o++ = code ? static_cast<byte>(code) : kDefaultByte;
    }
    ++s;
  }
  complete = s == end;
  return static_cast<std::size_t>(o - out);
}

}  // namespace

void selectJapaneseLocale() {}

std::size_t cp932ToWide(unsigned short* dst, const char* src, std::size_t n) {
  const byte* p = reinterpret_cast<const byte*>(src ? src : "");
  const byte* end = p + std::strlen(reinterpret_cast<const char*>(p));
  if (!dst) return countChars(p, end);
  std::size_t count = decode(dst, n, p, end);
  // The terminator only when the whole text was converted with room left.
  if (count < n) dst[count] = 0;
  return count;
}

std::size_t wideToCp932Measure(const unsigned short* src, std::size_t* units) {
  static const unsigned short kEmpty = 0;
  std::size_t ignored;
  return countBytes(src ? src : &kEmpty, units ? units : &ignored);
}

std::size_t wideToCp932Convert(char* dst, std::size_t n, const unsigned short* src, std::size_t units) {
  if (!src) units = 0;
  bool complete = false;
  byte* out = reinterpret_cast<byte*>(dst);
  std::size_t count = encode(out, n, src, src + units, complete);
  if (complete && count < n) out[count] = 0;
  return count;
}

std::size_t wideToCp932(char* dst, const unsigned short* src, std::size_t n) {
  std::size_t units;
  std::size_t bytes = wideToCp932Measure(src, &units);
  if (!dst) return bytes;
  return wideToCp932Convert(dst, n, src, units);
}

unsigned short cp932CodeToUnit(unsigned short code) {
  if (code < 0x100) return kSingle[code];
  if (code < 0x8000) return 0;
  unsigned idx = code - 0x8000u;
  return (kDoubleListed[idx / 8] >> (idx % 8)) & 1 ? kDouble[idx] : 0;
}

int cp932UnitToCode(unsigned short unit) {
  if (unit == 0) return 0;
  unsigned short code = kEncode[unit];
  return code ? code : -1;
}

std::size_t cp932DecodeChar(const char* p, std::size_t avail, unsigned short* unit) {
  if (avail == 0) return 0;
  const unsigned char* q = reinterpret_cast<const unsigned char*>(p);
  unsigned char b = q[0];
  if (!cp932IsLeadByte(b)) {
    *unit = kSingle[b];
    return 1;
  }
  if (avail < 2 || !cp932IsTrailByte(q[1])) {
    *unit = kDefaultUnit;
    return 1;
  }
  *unit = kDouble[(b << 8 | q[1]) - 0x8000];
  return 2;
}

}  // namespace tobrel

extern "C" BOOL IsDBCSLeadByte(BYTE TestChar) { return tobrel::cp932IsLeadByte(TestChar) ? TRUE : FALSE; }
