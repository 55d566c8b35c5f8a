// Abstract interface of a stream that owns a C library FILE. It has no
// virtual destructor: file streams are destroyed through vios or their own
// type, never through an fio pointer.
#ifndef TOBRELTOOLS_STREAM_FIO_H_
#define TOBRELTOOLS_STREAM_FIO_H_

#include <cstdio>

#include "TobrelTools/export.h"

class TOBREL_API fio {
 public:
  fio() {}
  fio(const fio&) {}
  fio& operator=(const fio&) { return *this; }

  virtual bool open(const char* filename) = 0;
  virtual void close() = 0;
  virtual FILE* file() = 0;

 protected:
  ~fio() {}
};

#endif  // TOBRELTOOLS_STREAM_FIO_H_
