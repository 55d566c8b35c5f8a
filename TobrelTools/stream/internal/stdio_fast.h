// Internal: the C library's per-call transfers without the stream lock, where
// the C library offers them. A file stream is used by one thread at a time,
// so the lock buys nothing and costs as much as the copy itself.
#ifndef TOBRELTOOLS_STREAM_INTERNAL_STDIO_FAST_H_
#define TOBRELTOOLS_STREAM_INTERNAL_STDIO_FAST_H_

#include <cstddef>
#include <cstdio>
#include <cstring>

#include "TobrelTools/stream/vios.h"

namespace tobrel {

// The state bit of a failed write: failbit when the C library flagged an
// error on the file, badbit otherwise (and for no file at all).
inline int writeFailureBit(FILE* f) { return f && std::ferror(f) ? vios::failbit : vios::badbit; }

// The state bit of a failed read: eofbit at the end of the file, failbit
// when the C library flagged an error, badbit otherwise (and for no file).
inline int readFailureBit(FILE* f) {
  if (f && std::feof(f)) return vios::eofbit;
  if (f && std::ferror(f)) return vios::failbit;
  return vios::badbit;
}

// A run of bytes copied straight into (out of) the FILE's buffer when the
// buffer has room for (holds) all of them, exactly as as many putc (getc)
// would; false, with nothing done, otherwise. glibc keeps no room for putc
// in line-buffered and unbuffered files, so those always take the calls.
inline bool putInBuffer(const void* p, std::size_t n, FILE* f) {
#if defined(__GLIBC__)
  if (f->_IO_write_end - f->_IO_write_ptr < static_cast<std::ptrdiff_t>(n)) return false;
  std::memcpy(f->_IO_write_ptr, p, n);
  f->_IO_write_ptr += n;
  return true;
#else
  (void)p, (void)n, (void)f;
  return false;
#endif
}

// The next n bytes of the FILE's read buffer when it holds that many
// (without taking them), null otherwise; skipBuffered then takes k <= n of
// them, as k getc would.
inline const unsigned char* peekBuffer(FILE* f, std::size_t n) {
#if defined(__GLIBC__)
  if (f->_IO_read_end - f->_IO_read_ptr < static_cast<std::ptrdiff_t>(n)) return nullptr;
  return reinterpret_cast<const unsigned char*>(f->_IO_read_ptr);
#else
  (void)f, (void)n;
  return nullptr;
#endif
}
inline void skipBuffered(FILE* f, std::size_t k) {
#if defined(__GLIBC__)
  f->_IO_read_ptr += k;
#else
  (void)f, (void)k;
#endif
}

// The reading side of putInBuffer.
inline bool getFromBuffer(void* p, std::size_t n, FILE* f) {
  const unsigned char* held = peekBuffer(f, n);
  if (!held) return false;
  std::memcpy(p, held, n);
  skipBuffered(f, n);
  return true;
}

// A value of up to 8 bytes goes through putc/getc byte by byte: with glibc
// these are inline stores into and loads from the FILE's buffer, and a
// function call only when the buffer is full or empty, where one fwrite of
// the width would be a call through several layers for every value. Wider
// blocks are one fwrite/fread.
inline std::size_t writeOne(const void* p, std::size_t width, FILE* f) {
#if defined(__GLIBC__)
  if (width <= 8) {
    if (putInBuffer(p, width, f)) return 1;
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (std::size_t i = 0; i < width; ++i) {
      if (putc_unlocked(b[i], f) == EOF) return 0;
    }
    return 1;
  }
  return fwrite_unlocked(p, width, 1, f);
#else
  return std::fwrite(p, width, 1, f);
#endif
}

inline std::size_t readOne(void* p, std::size_t width, FILE* f) {
#if defined(__GLIBC__)
  if (width <= 8) {
    if (getFromBuffer(p, width, f)) return 1;
    unsigned char* b = static_cast<unsigned char*>(p);
    for (std::size_t i = 0; i < width; ++i) {
      int c = getc_unlocked(f);
      if (c == EOF) return 0;
      b[i] = static_cast<unsigned char>(c);
    }
    return 1;
  }
  return fread_unlocked(p, width, 1, f);
#else
  return std::fread(p, width, 1, f);
#endif
}

// Up to n bytes in one transfer; returns the bytes moved.
inline std::size_t writeBlock(const void* p, std::size_t n, FILE* f) {
#if defined(__GLIBC__)
  if (putInBuffer(p, n, f)) return n;
  return fwrite_unlocked(p, 1, n, f);
#else
  return std::fwrite(p, 1, n, f);
#endif
}

inline std::size_t readBlock(void* p, std::size_t n, FILE* f) {
#if defined(__GLIBC__)
  if (getFromBuffer(p, n, f)) return n;
  return fread_unlocked(p, 1, n, f);
#else
  return std::fread(p, 1, n, f);
#endif
}

}  // namespace tobrel

#endif  // TOBRELTOOLS_STREAM_INTERNAL_STDIO_FAST_H_
