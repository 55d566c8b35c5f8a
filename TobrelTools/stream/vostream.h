// Abstract output stream: writes the twelve primitive types and lines.
//
// Slot order as in vistream: named writes from __int64 down to char, then
// putline, then the operators in the same order. `long` and `unsigned long`
// are written as 32-bit values on every host.
#ifndef TOBRELTOOLS_STREAM_VOSTREAM_H_
#define TOBRELTOOLS_STREAM_VOSTREAM_H_

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"
#include "TobrelTools/stream/vios.h"

class TOBREL_API vostream : public virtual vios {
 public:
  vostream() {}
  vostream(const vostream& other) : vios(other) {}
  vostream& operator=(const vostream&) { return *this; }

  virtual vostream& put(__int64 v) = 0;
  virtual vostream& put(unsigned long v) = 0;
  virtual vostream& put(unsigned int v) = 0;
  virtual vostream& put(unsigned short v) = 0;
  virtual vostream& put(unsigned char v) = 0;
  virtual vostream& put(bool v) = 0;
  virtual vostream& put(short v) = 0;
  virtual vostream& put(long v) = 0;
  virtual vostream& put(int v) = 0;
  virtual vostream& put(float v) = 0;
  virtual vostream& put(double v) = 0;
  virtual vostream& put(char v) = 0;

  // Writes the NUL-terminated text without its NUL; size is not used.
  virtual vostream& putline(char* text, unsigned int size) = 0;

  virtual vostream& operator<<(__int64 v) = 0;
  virtual vostream& operator<<(unsigned long v) = 0;
  virtual vostream& operator<<(unsigned int v) = 0;
  virtual vostream& operator<<(unsigned short v) = 0;
  virtual vostream& operator<<(unsigned char v) = 0;
  virtual vostream& operator<<(bool v) = 0;
  virtual vostream& operator<<(short v) = 0;
  virtual vostream& operator<<(long v) = 0;
  virtual vostream& operator<<(int v) = 0;
  virtual vostream& operator<<(float v) = 0;
  virtual vostream& operator<<(double v) = 0;
  virtual vostream& operator<<(char v) = 0;
};

#endif  // TOBRELTOOLS_STREAM_VOSTREAM_H_
