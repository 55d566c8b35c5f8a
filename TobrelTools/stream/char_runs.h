// Internal: runs of single bytes through a stream, as the text of a string
// is written and read (one operator<< or operator>> of char per byte). On a
// stream whose dynamic type is exactly fvostream or fvistream, whose byte
// operators are known, the run is one transfer of the C library instead of
// one call per byte, with the same bytes and the same resulting state. Any
// other stream, a class derived from the file streams included, gets its
// operators called byte by byte as before.
#ifndef TOBRELTOOLS_STREAM_CHAR_RUNS_H_
#define TOBRELTOOLS_STREAM_CHAR_RUNS_H_

#include <cstddef>

#include "TobrelTools/export.h"
#include "TobrelTools/stream/vistream.h"
#include "TobrelTools/stream/vostream.h"

namespace tobrel {

// Writes the n bytes at p as os << p[0] << ... << p[n - 1] would.
TOBREL_API void writeChars(vostream& os, const char* p, std::size_t n);

// Reads n bytes into p as n reads of `char c = 0; is >> c;` would, storing
// 0 for every byte the stream did not deliver. Reading goes on after a
// failure only as far as the byte-by-byte reads would have gone; the state
// afterwards is theirs. Stops early (filling the rest with 0) when the
// stream is no longer good at a multiple of checkEvery bytes into the run,
// as a caller that looked at the state that often would.
TOBREL_API void readChars(vistream& is, char* p, std::size_t n, std::size_t checkEvery);

}  // namespace tobrel

#endif  // TOBRELTOOLS_STREAM_CHAR_RUNS_H_
