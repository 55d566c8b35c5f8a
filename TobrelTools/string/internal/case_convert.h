// Internal to the library: the in-place case conversion of code page 932
// text behind tstring::toUpper and toLower, with its interchangeable ways of
// running (see vector_path.h).
#ifndef TOBRELTOOLS_STRING_INTERNAL_CASE_CONVERT_H_
#define TOBRELTOOLS_STRING_INTERNAL_CASE_CONVERT_H_

#include <cstddef>

#include "TobrelTools/string/internal/vector_path.h"

namespace tobrel {

// Changes the case of the text at p in place, character by character
// (lengths never change): its first n bytes, or fewer when a NUL comes
// first. Returns the length of the result: the bytes before the NUL (or n),
// less one when the last of them is a lead byte without its trail byte,
// which is dropped. Letters of the other case, ASCII or double-byte, change; trail
// bytes never do on their own. Runs the fastest way this host has.
std::size_t convertCase(char* p, std::size_t n, bool upper);

// convertCase the given way: kPlain is the character walk, the vector forms
// convert blocks of 64 bytes. A way the host
// lacks runs as kPlain.
std::size_t convertCaseBy(VectorPath path, char* p, std::size_t n, bool upper);

}  // namespace tobrel

#endif  // TOBRELTOOLS_STRING_INTERNAL_CASE_CONVERT_H_
