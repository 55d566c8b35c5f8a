// Internal: the code page 932 tables, generated at build time from the
// code page's published table (see gen/cp932gen.cpp). Library code uses them
// through cp932.h; they are here for the few hot loops that index them
// directly. Not present on Windows, where the C runtime converts.
#ifndef TOBRELTOOLS_PLATFORM_INTERNAL_CP932_TABLES_H_
#define TOBRELTOOLS_PLATFORM_INTERNAL_CP932_TABLES_H_

#if !defined(_WIN32)

namespace tobrel {
namespace cp932 {

// The byte that stands for a unit with no code ('?').
extern const unsigned char kDefaultByte;
// The unit that stands for bytes that form no character (U+30FB).
extern const unsigned short kDefaultUnit;
// The unit of each single byte; 0 for lead bytes (which have none).
extern const unsigned short kSingle[256];
// True when the bytes 0x00-0x7F are the units U+0000-U+007F both ways.
extern const bool kAsciiSame;
// The unit of each double-byte code, indexed by (lead << 8 | trail) - 0x8000:
// for a lead byte and a trail byte that the table does not list as a pair,
// the default unit; 0 for other indices.
extern const unsigned short kDouble[0x8000];
// One bit per index of kDouble (bit i % 8 of byte i / 8): set for the pairs
// that the table lists.
extern const unsigned char kDoubleListed[0x1000];
// The code of each unit: below 0x100 a single byte, else lead << 8 | trail;
// 0 where the unit has no code (U+0000 is the byte 0 itself).
extern const unsigned short kEncode[0x10000];
// 1 where the code of the unit takes two bytes, else 0 (a denser form of
// kEncode[u] > 0xFF, for measuring).
extern const unsigned char kEncodeDouble[0x10000];

}  // namespace cp932
}  // namespace tobrel

#endif  // !_WIN32
#endif  // TOBRELTOOLS_PLATFORM_INTERNAL_CP932_TABLES_H_
