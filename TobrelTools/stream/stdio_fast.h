// Internal: the C library's per-call transfers without the stream lock, where
// the C library offers them. A file stream is used by one thread at a time,
// so the lock buys nothing and costs as much as the copy itself.
#ifndef TOBRELTOOLS_STREAM_STDIO_FAST_H_
#define TOBRELTOOLS_STREAM_STDIO_FAST_H_

#include <cstdio>

namespace tobrel {

// A single byte goes through putc/getc, the C library's own one-byte
// transfer, which is a buffer store in the common case; wider values are one
// fwrite/fread of their width.
inline std::size_t writeOne(const void* p, std::size_t width, FILE* f) {
#if defined(__GLIBC__)
  if (width == 1) return putc_unlocked(*static_cast<const unsigned char*>(p), f) == EOF ? 0 : 1;
  return fwrite_unlocked(p, width, 1, f);
#else
  return std::fwrite(p, width, 1, f);
#endif
}

inline std::size_t readOne(void* p, std::size_t width, FILE* f) {
#if defined(__GLIBC__)
  if (width == 1) {
    int c = getc_unlocked(f);
    if (c == EOF) return 0;
    *static_cast<unsigned char*>(p) = static_cast<unsigned char>(c);
    return 1;
  }
  return fread_unlocked(p, width, 1, f);
#else
  return std::fread(p, width, 1, f);
#endif
}

}  // namespace tobrel

#endif  // TOBRELTOOLS_STREAM_STDIO_FAST_H_
