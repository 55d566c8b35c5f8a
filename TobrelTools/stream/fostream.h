// fvostream: the output stream over a C library FILE. It defines the stream
// file encoding: every value is its little-endian image of fixed width
// (char, unsigned char, bool 1 byte; short, unsigned short 2; int,
// unsigned int, long, unsigned long, float 4; double, __int64 8), with no
// header, separator or padding. Each value is one transfer of the C library:
// putc for a single byte, one fwrite of the width for wider values.
//
// Decisions where the behaviour is ours to choose:
// - No open file (constructed without a name, closed, or after a failed
//   open): every write sets badbit and writes nothing.
// - open() on an open stream releases the old file first (closing it unless
//   a copy still shares it), then opens the new one.
// - Copies share the FILE: a copy-constructed or assigned stream refers to
//   the same open file, and the FILE is closed once, by the last stream that
//   lets go of it. Assignment lets go of the left-hand stream's own file.
//   Use such copies from one thread: transfers use the C library's unlocked
//   calls where it has them.
#ifndef TOBRELTOOLS_STREAM_FOSTREAM_H_
#define TOBRELTOOLS_STREAM_FOSTREAM_H_

#include <cstdio>
#include <string>

#include "TobrelTools/export.h"
#include "TobrelTools/stream/fio.h"
#include "TobrelTools/stream/file_handle.h"
#include "TobrelTools/stream/vostream.h"

class TOBREL_API fvostream : public virtual vostream, public virtual fio {
 public:
  // With a name, opens it for writing (truncating) and throws
  // InternalException* "fvostream open error: filename=<name>" on failure.
  // Without one (or with null), a good stream with no file.
  fvostream(const char* filename = 0);
  fvostream(const fvostream& other);
  fvostream& operator=(const fvostream& other);
  ~fvostream() override;

  // Opens filename with mode "w"; true on success (state 0), false with
  // failbit ORed into the state on failure. The name is kept either way.
  bool open(const char* filename) override;
  // Closes the file (if open) and sets the state to 0.
  void close() override;
  FILE* file() override;

  bool eof() override;
  bool fail() override;
  bool bad() override;
  bool good() override;
  int rdstate() override;
  void clear(int state) override;

  vostream& put(__int64 v) override;
  vostream& put(unsigned long v) override;
  vostream& put(unsigned int v) override;
  vostream& put(unsigned short v) override;
  vostream& put(unsigned char v) override;
  vostream& put(bool v) override;
  vostream& put(short v) override;
  vostream& put(long v) override;
  vostream& put(int v) override;
  vostream& put(float v) override;
  vostream& put(double v) override;
  vostream& put(char v) override;

  vostream& putline(char* text, unsigned int size) override;

  vostream& operator<<(__int64 v) override;
  vostream& operator<<(unsigned long v) override;
  vostream& operator<<(unsigned int v) override;
  vostream& operator<<(unsigned short v) override;
  vostream& operator<<(unsigned char v) override;
  vostream& operator<<(bool v) override;
  vostream& operator<<(short v) override;
  vostream& operator<<(long v) override;
  vostream& operator<<(int v) override;
  vostream& operator<<(float v) override;
  vostream& operator<<(double v) override;
  vostream& operator<<(char v) override;

  // The name last given to open (kept even when the open failed).
  const std::string& fileName() const { return fileName_; }

 private:
  vostream& write(const void* bytes, std::size_t width);

  int state_;
  std::string fileName_;
  tobrel::FileHandle file_;
};

#endif  // TOBRELTOOLS_STREAM_FOSTREAM_H_
