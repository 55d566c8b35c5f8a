// Internal: runs of single bytes through a stream, as the text of a string
// is written and read (one operator<< or operator>> of char per byte). On a
// stream whose dynamic type is exactly fvostream or fvistream, whose byte
// operators are known, the run is one transfer of the C library instead of
// one call per byte, with the same bytes and the same resulting state. Any
// other stream, a class derived from the file streams included, gets its
// operators called byte by byte as before.
#ifndef TOBRELTOOLS_STREAM_INTERNAL_CHAR_RUNS_H_
#define TOBRELTOOLS_STREAM_INTERNAL_CHAR_RUNS_H_

#include <cstddef>
#include <typeinfo>

#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "TobrelTools/stream/internal/stdio_fast.h"

namespace tobrel {

// The stream itself when its dynamic type is exactly fvostream (fvistream),
// null otherwise. The streams' bases are virtual, so such a stream is
// reached through its most derived object (the one load of
// dynamic_cast<void*>), not by a downcast.
inline fvostream* exactFileStream(vostream& os) {
  return typeid(os) == typeid(fvostream) ? static_cast<fvostream*>(dynamic_cast<void*>(&os)) : nullptr;
}
inline fvistream* exactFileStream(vistream& is) {
  return typeid(is) == typeid(fvistream) ? static_cast<fvistream*>(dynamic_cast<void*>(&is)) : nullptr;
}

// One value of width bytes (at most 8), as the exact file stream's own
// operator writes or reads a char, short, int or double: the same transfer
// and the same state afterwards, without the calls in between. f is the
// stream's file (from fvostream::file, null when it has none).
inline void putValue(fvostream& os, FILE* f, const void* p, std::size_t width) {
  if (!f || writeOne(p, width, f) != 1) os.fvostream::clear(os.fvostream::rdstate() | writeFailureBit(f));
}
// n bytes to the exact file stream in one transfer: the bytes and the state
// of as many single-byte writes.
inline void putBytes(fvostream& os, const void* p, std::size_t n) {
  FILE* f = os.fvostream::file();
  if (!f || writeBlock(p, n, f) != n) os.fvostream::clear(os.fvostream::rdstate() | writeFailureBit(f));
}
inline bool getValue(fvistream& is, FILE* f, void* p, std::size_t width) {
  if (f && readOne(p, width, f) == 1) return true;
  is.fvistream::clear(is.fvistream::rdstate() | readFailureBit(f));
  return false;
}

// Writes the n bytes at p as os << p[0] << ... << p[n - 1] would.
void writeChars(vostream& os, const char* p, std::size_t n);

// Reads n bytes into p as n reads of `char c = 0; is >> c;` would, storing
// 0 for every byte the stream did not deliver. Reading goes on after a
// failure only as far as the byte-by-byte reads would have gone; the state
// afterwards is theirs. Stops early (filling the rest with 0) when the
// stream is no longer good at a multiple of checkEvery bytes into the run,
// as a caller that looked at the state that often would.
void readChars(vistream& is, char* p, std::size_t n, std::size_t checkEvery);

}  // namespace tobrel

#endif  // TOBRELTOOLS_STREAM_INTERNAL_CHAR_RUNS_H_
