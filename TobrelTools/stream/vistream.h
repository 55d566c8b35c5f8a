// Abstract input stream: reads the twelve primitive types and lines.
//
// The virtual operations are declared in a fixed slot order (each family runs
// through the types from __int64 down to char; named reads, then getline, then
// the operators) because compiled clients dispatch through these slots.
// `long` and `unsigned long` are 32-bit values in every stream, whatever the
// width of the host's own `long`.
#ifndef TOBRELTOOLS_STREAM_VISTREAM_H_
#define TOBRELTOOLS_STREAM_VISTREAM_H_

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"
#include "TobrelTools/stream/vios.h"

class TOBREL_API vistream : public virtual vios {
 public:
  vistream() {}
  vistream(const vistream& other) : vios(other) {}
  vistream& operator=(const vistream&) { return *this; }

  virtual vistream& get(__int64& v) = 0;
  virtual vistream& get(unsigned long& v) = 0;
  virtual vistream& get(unsigned int& v) = 0;
  virtual vistream& get(unsigned short& v) = 0;
  virtual vistream& get(unsigned char& v) = 0;
  virtual vistream& get(bool& v) = 0;
  virtual vistream& get(short& v) = 0;
  virtual vistream& get(long& v) = 0;
  virtual vistream& get(int& v) = 0;
  virtual vistream& get(float& v) = 0;
  virtual vistream& get(double& v) = 0;
  virtual vistream& get(char& v) = 0;

  // Reads one line into buffer (at most size - 1 bytes and a NUL), keeping
  // the line feed, as fgets does.
  virtual vistream& getline(char* buffer, unsigned int size) = 0;

  virtual vistream& operator>>(__int64& v) = 0;
  virtual vistream& operator>>(unsigned long& v) = 0;
  virtual vistream& operator>>(unsigned int& v) = 0;
  virtual vistream& operator>>(unsigned short& v) = 0;
  virtual vistream& operator>>(unsigned char& v) = 0;
  virtual vistream& operator>>(bool& v) = 0;
  virtual vistream& operator>>(short& v) = 0;
  virtual vistream& operator>>(long& v) = 0;
  virtual vistream& operator>>(int& v) = 0;
  virtual vistream& operator>>(float& v) = 0;
  virtual vistream& operator>>(double& v) = 0;
  virtual vistream& operator>>(char& v) = 0;
};

#endif  // TOBRELTOOLS_STREAM_VISTREAM_H_
