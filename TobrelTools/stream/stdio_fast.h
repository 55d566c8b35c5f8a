// Internal: the C library's per-call transfers without the stream lock, where
// the C library offers them. A file stream is used by one thread at a time,
// so the lock buys nothing and costs as much as the copy itself.
#ifndef TOBRELTOOLS_STREAM_STDIO_FAST_H_
#define TOBRELTOOLS_STREAM_STDIO_FAST_H_

#include <cstdio>

namespace tobrel {

inline std::size_t writeOne(const void* p, std::size_t width, FILE* f) {
#if defined(__GLIBC__)
  return fwrite_unlocked(p, width, 1, f);
#else
  return std::fwrite(p, width, 1, f);
#endif
}

inline std::size_t readOne(void* p, std::size_t width, FILE* f) {
#if defined(__GLIBC__)
  return fread_unlocked(p, width, 1, f);
#else
  return std::fread(p, width, 1, f);
#endif
}

}  // namespace tobrel

#endif  // TOBRELTOOLS_STREAM_STDIO_FAST_H_
