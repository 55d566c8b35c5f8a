#include "TobrelTools/platform/mbstring.h"

#include <unicode/uchar.h>

#include <cstring>

#include "TobrelTools/platform/cp932_tables.h"
#include "TobrelTools/platform/mbcase_tables.h"

static const char sccsid[] __attribute__((used)) = "@(#)mbstring_posix.cpp:  Ver01.00  2026.12.05";

namespace {

using tobrel::cp932::kLead;

inline bool isLead(unsigned char b) { return kLead[b] != 0; }

// The character at p and its length; a lead byte before the NUL ends the
// text (value 0, length 0).
inline unsigned int charAt(const unsigned char* p, int* len) {
  if (isLead(p[0])) {
    if (p[1] == 0) {
      *len = 0;
      return 0;
    }
    *len = 2;
    return static_cast<unsigned>(p[0]) << 8 | p[1];
  }
  *len = p[0] ? 1 : 0;
  return p[0];
}

inline unsigned int mapCase(unsigned int c, const unsigned short* const* table) {
  if (c < 0x100) {
    if (table == tobrel::mbcase::kUpper) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
    return c >= 'A' && c <= 'Z' ? c + 0x20 : c;
  }
  if (c > 0xFFFF) return c;
  const unsigned short* lead = table[c >> 8];
  unsigned short partner = lead ? lead[c & 0xFF] : 0;
  return partner ? partner : c;
}

}  // namespace

extern "C" {

unsigned char* _mbsstr(const unsigned char* str, const unsigned char* search) {
  if (!str || !search) return nullptr;
  std::size_t needleLen = std::strlen(reinterpret_cast<const char*>(search));
  if (needleLen == 0) return const_cast<unsigned char*>(str);
  std::size_t hayLen = std::strlen(reinterpret_cast<const char*>(str));
  // Byte search for candidates, then a check that the candidate starts a
  // character; the character walk only moves forward, so the whole search
  // stays linear.
  const unsigned char* boundary = str;
  const unsigned char* from = str;
  const unsigned char* end = str + hayLen;
  while (static_cast<std::size_t>(end - from) >= needleLen) {
    const void* hit = memmem(from, static_cast<std::size_t>(end - from), search, needleLen);
    if (!hit) return nullptr;
    const unsigned char* cand = static_cast<const unsigned char*>(hit);
    while (boundary < cand) boundary += isLead(*boundary) && boundary[1] ? 2 : 1;
    if (boundary == cand) {
      // A lead byte right before the NUL is not a character.
      if (isLead(*cand) && cand + 1 == end) return nullptr;
      return const_cast<unsigned char*>(cand);
    }
    from = cand + 1;
  }
  return nullptr;
}

unsigned char* _mbschr(const unsigned char* str, unsigned int c) {
  if (!str) return nullptr;
  if (c < 0x80 && c != 0) {
    // An ASCII byte is never a lead byte: find it, then check its position.
    const unsigned char* boundary = str;
    const unsigned char* from = str;
    for (;;) {
      const unsigned char* hit = reinterpret_cast<const unsigned char*>(
          std::strchr(reinterpret_cast<const char*>(from), static_cast<int>(c)));
      if (!hit) return nullptr;
      while (boundary < hit) {
        if (isLead(*boundary) && boundary[1] == 0) return nullptr;  // text ends there
        boundary += isLead(*boundary) ? 2 : 1;
      }
      if (boundary == hit) return const_cast<unsigned char*>(hit);
      from = hit + 1;
    }
  }
  const unsigned char* p = str;
  for (;;) {
    int len;
    unsigned int ch = charAt(p, &len);
    if (len == 0) return c == 0 ? const_cast<unsigned char*>(p + std::strlen(reinterpret_cast<const char*>(p))) : nullptr;
    if (ch == c) return const_cast<unsigned char*>(p);
    p += len;
  }
}

unsigned char* _mbsrchr(const unsigned char* str, unsigned int c) {
  if (!str) return nullptr;
  const unsigned char* last = nullptr;
  const unsigned char* p = str;
  for (;;) {
    int len;
    unsigned int ch = charAt(p, &len);
    if (len == 0) {
      if (c == 0) return const_cast<unsigned char*>(p + std::strlen(reinterpret_cast<const char*>(p)));
      return const_cast<unsigned char*>(last);
    }
    if (ch == c) last = p;
    p += len;
  }
}

int _mbsicmp(const unsigned char* a, const unsigned char* b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  for (;;) {
    int la, lb;
    unsigned int ca = mapCase(charAt(a, &la), tobrel::mbcase::kLower);
    unsigned int cb = mapCase(charAt(b, &lb), tobrel::mbcase::kLower);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (la == 0) return 0;  // both ended
    a += la;
    b += lb;
  }
}

unsigned int _mbctolower(unsigned int c) {
  return mapCase(c, tobrel::mbcase::kLower);
}

unsigned int _mbctoupper(unsigned int c) {
  return mapCase(c, tobrel::mbcase::kUpper);
}

int isleadbyte(int c) {
  return c >= 0 && c <= 0xFF && isLead(static_cast<unsigned char>(c));
}

int _wcsicmp(const unsigned short* a, const unsigned short* b) {
  if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
  for (;; ++a, ++b) {
    unsigned int ca = static_cast<unsigned int>(u_tolower(*a));
    unsigned int cb = static_cast<unsigned int>(u_tolower(*b));
    if (ca != cb) return ca < cb ? -1 : 1;
    if (*a == 0) return 0;
  }
}

}  // extern "C"
