// Code page 932 conversions on hosts without a Windows C runtime: straight
// lookups in the generated tables. The loops read each source element once
// and keep no state between characters, which is what makes them several
// times faster than a general converter such as iconv.
#include "TobrelTools/platform/cp932.h"

#include "TobrelTools/platform/cp932_tables.h"

static const char sccsid[] __attribute__((used)) = "@(#)cp932_posix.cpp:  Ver01.00  2026.12.05";

namespace tobrel {

using namespace cp932;

namespace {

// The unit of the character starting at p (whose first byte b is a lead
// byte) and the bytes it takes. p[1] is always readable: at worst it is the
// terminating NUL, which is no trail byte.
inline unsigned short decodeLead(const unsigned char* p, unsigned char b, std::size_t& width) {
  unsigned char t = p[1];
  if (!kTrail[t]) {
    width = 1;
    return kDefaultUnit;
  }
  width = 2;
  unsigned short u = kDouble[(b << 8 | t) - 0x8000];
  return u ? u : kDefaultUnit;
}

}  // namespace

void selectJapaneseLocale() {}

std::size_t cp932ToWide(unsigned short* dst, const char* src, std::size_t n) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(src ? src : "");
  std::size_t count = 0;
  if (!dst) {
    for (unsigned char b; (b = *p) != 0; ++count)
      p += (kLead[b] && kTrail[p[1]]) ? 2 : 1;
    return count;
  }
  while (count < n) {
    unsigned char b = *p;
    if (b == 0) {
      dst[count] = 0;
      return count;
    }
    if (!kLead[b]) {
      dst[count++] = kSingle[b];
      ++p;
    } else {
      std::size_t width;
      dst[count++] = decodeLead(p, b, width);
      p += width;
    }
  }
  return count;
}

std::size_t wideToCp932(char* dst, const unsigned short* src, std::size_t n) {
  static const unsigned short kEmpty = 0;
  const unsigned short* s = src ? src : &kEmpty;
  std::size_t count = 0;
  if (!dst) {
    for (unsigned short u; (u = *s) != 0; ++s) count += kEncode[u] > 0xFF ? 2 : 1;
    return count;
  }
  unsigned char* out = reinterpret_cast<unsigned char*>(dst);
  for (;; ++s) {
    unsigned short u = *s;
    if (u == 0) {
      if (count < n) out[count] = 0;
      return count;
    }
    unsigned short code = kEncode[u];
    if (code > 0xFF) {
      if (n - count < 2) return count;
      out[count] = static_cast<unsigned char>(code >> 8);
      out[count + 1] = static_cast<unsigned char>(code);
      count += 2;
    } else {
      if (count == n) return count;
      out[count++] = code ? static_cast<unsigned char>(code) : kDefaultByte;
    }
  }
}

bool cp932IsLeadByte(unsigned char b) { return kLead[b] != 0; }

bool cp932IsTrailByte(unsigned char b) { return kTrail[b] != 0; }

unsigned short cp932CodeToUnit(unsigned short code) {
  if (code < 0x100) return kSingle[code];
  if (code < 0x8000 || !kLead[code >> 8]) return 0;
  return kDouble[code - 0x8000];
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
  if (!kLead[b]) {
    *unit = kSingle[b];
    return 1;
  }
  if (avail < 2 || !kTrail[q[1]]) {
    *unit = kDefaultUnit;
    return 1;
  }
  unsigned short u = kDouble[(b << 8 | q[1]) - 0x8000];
  *unit = u ? u : kDefaultUnit;
  return 2;
}

}  // namespace tobrel

extern "C" BOOL IsDBCSLeadByte(BYTE TestChar) { return tobrel::cp932IsLeadByte(TestChar) ? TRUE : FALSE; }
