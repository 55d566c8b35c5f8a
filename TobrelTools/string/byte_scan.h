// Internal to the library (exported for its tests): the candidate scan of
// the case-insensitive search, a strchr for up to three bytes at once.
#ifndef TOBRELTOOLS_STRING_BYTE_SCAN_H_
#define TOBRELTOOLS_STRING_BYTE_SCAN_H_

#include "TobrelTools/export.h"
#include "TobrelTools/string/vector_path.h"

namespace tobrel {

// The first byte in [p, end) that is 0 or one of the count bytes of set
// (count 0 to 3: none looks for the NUL alone; beyond three, only the first
// three are looked for); end when there is none. Reads nothing outside
// [p, end). Runs the fastest way the host has. Library-internal (a direct
// call on the search's hot path).
const unsigned char* findAnyOrNul(const unsigned char* p, const unsigned char* end, const unsigned char set[3],
                                  int count);

// findAnyOrNul the given way; a way the host lacks runs as kPlain.
TOBREL_API const unsigned char* findAnyOrNulBy(VectorPath path, const unsigned char* p, const unsigned char* end,
                                               const unsigned char set[3], int count);

}  // namespace tobrel

#endif  // TOBRELTOOLS_STRING_BYTE_SCAN_H_
