// The C runtime's multibyte string functions for code page 932, under their
// Windows names and signatures, for hosts that are not Windows (on Windows
// the runtime's own are used: <mbstring.h>, <ctype.h>, <wchar.h>).
//
// The multibyte code page here is always 932: a lead byte (0x81-0x9F,
// 0xE0-0xFC) followed by a non-NUL byte is one double-byte character, whose
// value is lead * 256 + trail; a lead byte right before the terminating NUL
// ends the text. Searches match only at the start of a character, never at a
// trail byte. A character value as an unsigned int: below 0x100 a single
// byte, else a double-byte value; a byte of 0x80 or above that reaches these
// functions as a negative char widened to int (0xFFFFFF80 and up) is no
// character and matches nothing.
//
// Case: the ASCII letters, and the double-byte characters whose Unicode
// simple case partner has a double-byte code of its own (the full-width Latin
// letters, the Greek and Cyrillic letters and the Roman numerals). Every
// other character, the half-width katakana included, has no case.
#ifndef TOBRELTOOLS_PLATFORM_MBSTRING_H_
#define TOBRELTOOLS_PLATFORM_MBSTRING_H_

#include "TobrelTools/export.h"

#if !defined(_WIN32)
extern "C" {

// The first occurrence of the bytes of search (up to its NUL) in str that
// starts at a character; str itself for an empty search; null when none.
TOBREL_API unsigned char* _mbsstr(const unsigned char* str, const unsigned char* search);

// The first (_mbschr) or last (_mbsrchr) character of str equal to c; for c
// 0 the terminating NUL; null when none.
TOBREL_API unsigned char* _mbschr(const unsigned char* str, unsigned int c);
TOBREL_API unsigned char* _mbsrchr(const unsigned char* str, unsigned int c);

// Compares character by character without regard to case: both characters
// are lowered, then compared as values (so the single byte 0xB1 is below the
// double-byte 0x8140). Below 0, 0 or above 0.
TOBREL_API int _mbsicmp(const unsigned char* a, const unsigned char* b);

// The case partner of the character c, or c itself when it has none.
TOBREL_API unsigned int _mbctolower(unsigned int c);
TOBREL_API unsigned int _mbctoupper(unsigned int c);

// Nonzero for the lead bytes of code page 932 (c from 0 to 255; anything
// else is no lead byte).
TOBREL_API int isleadbyte(int c);

// Compares 16-bit texts without regard to case, unit by unit after the
// Unicode simple lower-case mapping of each unit (as the runtime does in the
// locale "Japanese"). Below 0, 0 or above 0.
TOBREL_API int _wcsicmp(const unsigned short* a, const unsigned short* b);

}  // extern "C"
#endif  // !_WIN32

#endif  // TOBRELTOOLS_PLATFORM_MBSTRING_H_
