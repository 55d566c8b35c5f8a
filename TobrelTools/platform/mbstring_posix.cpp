#include "TobrelTools/platform/mbstring.h"

#include <unicode/uchar.h>

#include <cstring>
#include <string_view>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/internal/mbcase_tables.h"

TOBREL_MODULE_ID("mbstring_posix.cpp", "2026.12.05");

namespace {

inline bool isLead(unsigned char b) { return tobrel::cp932IsLeadByte(b); }

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

// ASCII lower-case mapping as a table.
struct AsciiLower {
  unsigned char map[128];
  constexpr AsciiLower() : map() {
    for (int c = 0; c < 128; ++c) map[c] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
  }
  constexpr unsigned char operator[](unsigned int c) const { return map[c]; }
};
constexpr AsciiLower kAsciiLower;

// Whether pos starts a character, given that known (at or before pos) does.
// Only lead-range bytes right before pos are looked at: any other byte ends
// a character (it is a single byte or a trail byte), and from there the lead
// bytes pair up.
inline bool startsChar(const unsigned char* known, const unsigned char* pos) {
  const unsigned char* p = pos;
  while (p > known && isLead(p[-1])) --p;
  return ((pos - p) & 1) == 0;
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
  std::string_view needle(reinterpret_cast<const char*>(search));
  if (needle.empty()) return const_cast<unsigned char*>(str);
  std::string_view text(reinterpret_cast<const char*>(str));
  // The standard byte search finds candidates; each is then checked to
  // start a character. The checks only move forward, so the whole search
  // stays as linear as the byte search itself.
  const unsigned char* known = str;
  for (std::size_t from = 0;;) {
    std::size_t pos = text.find(needle, from);
    if (pos == std::string_view::npos) return nullptr;
    const unsigned char* cand = str + pos;
    if (startsChar(known, cand)) {
      // A lead byte right before the NUL is not a character.
      if (isLead(*cand) && pos + 1 == text.size()) return nullptr;
      return const_cast<unsigned char*>(cand);
    }
    known = cand + 1;  // cand is a trail byte: the next byte starts a character
    from = pos + 1;
  }
}

unsigned char* _mbschr(const unsigned char* str, unsigned int c) {
  if (!str) return nullptr;
  if (c < 0x80 && c != 0) {
    // An ASCII byte is never a lead byte: find it, then check its position.
    const unsigned char* known = str;
    for (const unsigned char* from = str;;) {
      const unsigned char* hit = reinterpret_cast<const unsigned char*>(
          std::strchr(reinterpret_cast<const char*>(from), static_cast<int>(c)));
      if (!hit) return nullptr;
      if (startsChar(known, hit)) return const_cast<unsigned char*>(hit);
      known = hit + 1;
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
    unsigned int ca = *a, cb = *b;
    if ((ca | cb) < 0x80) {  // both ASCII: the common case, without branches on letters
      ca = kAsciiLower[ca];
      cb = kAsciiLower[cb];
      if (ca != cb) return ca < cb ? -1 : 1;
      if (ca == 0) return 0;
      ++a;
      ++b;
      continue;
    }
    int la, lb;
    ca = mapCase(charAt(a, &la), tobrel::mbcase::kLower);
    cb = mapCase(charAt(b, &lb), tobrel::mbcase::kLower);
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
