// Code page 932 (Japanese) conversions between narrow text and 16-bit units.
//
// On both hosts the library converts through the functions of namespace
// tobrel below, which behave like the C runtime's mbstowcs and wcstombs in
// the locale "Japanese": called with a null destination they measure, called
// with one they convert into it. On Windows they are the C runtime's own
// conversions; elsewhere they are the library's, built from tables generated
// at build time from Microsoft's published table of the code page, so that
// both hosts give the same results for every character the table lists.
//
// Text that is not valid code page 932, and units that have no code, never
// stop a conversion and never make it write outside its buffer; the rest of
// the text is converted:
// - a lead byte with a trail byte (0x40-0x7E, 0x80-0xFC) that together form
//   no character: U+30FB for the two bytes;
// - a lead byte followed by a byte that cannot be a trail byte (including the
//   terminating NUL): U+30FB for the lead byte alone; the next byte is then
//   converted on its own;
// - a unit with no code (for example U+301C, or any surrogate): the byte '?'.
// (On Windows such text goes to the system's converter for the code page,
// which makes the same substitutions in the cases that matter in practice.)
// Units with a "best fit" entry in the table are encoded to it (U+00A5 to
// 0x5C, for instance), as Windows does by default.
#ifndef TOBRELTOOLS_PLATFORM_CP932_H_
#define TOBRELTOOLS_PLATFORM_CP932_H_

#include <cstddef>

#include "TobrelTools/export.h"
#if !defined(_WIN32)
#include "TobrelTools/platform/win32_types.h"
#endif

namespace tobrel {

// Makes the C runtime's conversions those of code page 932: setlocale with
// LC_ALL and "Japanese" on Windows (left selected afterwards, for the whole
// process). Elsewhere the library's conversions are always code page 932 and
// the process locale is not changed, so this does nothing.
TOBREL_API void selectJapaneseLocale();

// mbstowcs for code page 932. src is zero-terminated text (null counts as
// empty). With a null dst: the number of units the whole text converts to
// (n is not used). Otherwise converts at most n units into dst, followed by
// a zero unit when the whole text fitted with room to spare, and returns the
// number of units stored, the zero unit not counted. Every character gives
// exactly one unit.
TOBREL_API std::size_t cp932ToWide(unsigned short* dst, const char* src, std::size_t n);

// wcstombs for code page 932. src is zero-terminated (null counts as empty).
// With a null dst: the number of bytes the whole text converts to. Otherwise
// stores whole characters while they fit into n bytes (a double-byte
// character that does not fit ends the conversion), then a NUL when the
// whole text fitted with room to spare, and returns the number of bytes
// stored, the NUL not counted.
TOBREL_API std::size_t wideToCp932(char* dst, const unsigned short* src, std::size_t n);

// wideToCp932 in its two steps, for callers that measure and then convert:
// the measuring step also gives the length of src in units, which the
// converting step takes instead of looking for the zero unit again. Measure
// returns what wideToCp932(nullptr, src, 0) returns (units may be null);
// Convert with the units so measured does what wideToCp932(dst, src, n)
// does.
TOBREL_API std::size_t wideToCp932Measure(const unsigned short* src, std::size_t* units);
TOBREL_API std::size_t wideToCp932Convert(char* dst, std::size_t n, const unsigned short* src, std::size_t units);

// The two byte classes of code page 932, on every host; the one statement
// of them that every part of the project uses. A lead byte (0x81-0x9F,
// 0xE0-0xFC) followed by a trail byte (0x40-0x7E, 0x80-0xFC) is one
// double-byte character. Trail bytes include '\\' (0x5C), '"', '[' and the
// ASCII letters, so code that looks for syntax or folds ASCII case in such
// text must step over them. (The generator of the tables checks that the
// code page's published table has exactly these lead bytes.)
constexpr bool cp932IsLeadByte(unsigned char b) {
  // Flipping bit 5 makes the two ranges one: 0xA1-0xBF and 0xC0-0xDC.
  return static_cast<unsigned char>((b ^ 0x20) - 0xA1) < 0x3C;
}
constexpr bool cp932IsTrailByte(unsigned char b) {
  return static_cast<unsigned char>(b - 0x40) <= 0xFC - 0x40 && b != 0x7F;
}

#if !defined(_WIN32)
// The table itself, for the multibyte string functions built on it. These
// exist only on hosts where the library brings its own code page 932.

// The unit of a code as the table lists it: a code below 0x100 is a single
// byte, any other is lead << 8 | trail. 0 when the table has no character
// for the code (a lead byte alone, a pair it does not list); note that the
// table itself lists a few placeholder pairs as U+30FB.
TOBREL_API unsigned short cp932CodeToUnit(unsigned short code);

// The code of a unit (single byte below 0x100, else lead << 8 | trail), or
// -1 when it has none. A character with two codes (the NEC and IBM
// extensions) gets the one the table gives: U+2170 is FA40, U+2160 is 8754.
TOBREL_API int cp932UnitToCode(unsigned short unit);

// Decodes the character at p, of which avail bytes may be read, into *unit
// (with the rules for invalid text above; a lead byte with avail 1 is a lead
// byte alone). Returns the bytes it takes, 1 or 2; 0 when avail is 0.
TOBREL_API std::size_t cp932DecodeChar(const char* p, std::size_t avail, unsigned short* unit);
#endif

}  // namespace tobrel

#if !defined(_WIN32)
extern "C" {
// IsDBCSLeadByte of the system's ANSI code page, which is 932 here.
TOBREL_API BOOL IsDBCSLeadByte(BYTE TestChar);
}
#endif

#endif  // TOBRELTOOLS_PLATFORM_CP932_H_
