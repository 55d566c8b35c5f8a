// Internal to the library: the per-byte character rules of code page 932 as
// inline functions for the string loops (the lead-byte test and the case
// mapping of one character). On Windows they are the C runtime's; elsewhere
// the lead-byte rule of cp932.h and the generated case tables, read
// directly, since these run once per byte.
// Not for clients: the tables behind them are not exported.
#ifndef TOBRELTOOLS_STRING_INTERNAL_MBCHAR_H_
#define TOBRELTOOLS_STRING_INTERNAL_MBCHAR_H_

#if defined(_WIN32)
#include <ctype.h>
#include <mbstring.h>
#else
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/internal/mbcase_tables.h"
#endif

namespace tobrel {
namespace mbchar {

#if defined(_WIN32)
inline bool isLead(unsigned char b) { return isleadbyte(b) != 0; }
inline unsigned int mapChar(unsigned int c, bool upper) { return upper ? _mbctoupper(c) : _mbctolower(c); }
#else
// The same rules as isleadbyte and _mbctoupper/_mbctolower.
inline bool isLead(unsigned char b) { return cp932IsLeadByte(b); }
inline unsigned int mapChar(unsigned int c, bool upper) {
  if (c < 0x80) {
    if (upper) return c - 'a' < 26u ? c - 0x20 : c;
    return c - 'A' < 26u ? c + 0x20 : c;
  }
  if (c < 0x100 || c > 0xFFFF) return c;
  const unsigned short* const* table = mbcase::kLower;
  if (upper) table = mbcase::kUpper;
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

}  // namespace mbchar
}  // namespace tobrel

#endif  // TOBRELTOOLS_STRING_INTERNAL_MBCHAR_H_
