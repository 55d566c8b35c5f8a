// The state part shared by every stream: three bits, 0 means good.
//
//   eofbit  (1)  a read found the end of the file
//   failbit (2)  an open failed, or the C library flagged an error on the file
//   badbit  (4)  a transfer failed with neither end of file nor error flagged
//
// Each accessor tests exactly one bit: at the end of the file eof() is true
// and fail() stays false. Bits accumulate until clear() replaces them.
#ifndef TOBRELTOOLS_STREAM_VIOS_H_
#define TOBRELTOOLS_STREAM_VIOS_H_

#include "TobrelTools/export.h"

class TOBREL_API vios {
 public:
  enum { eofbit = 1, failbit = 2, badbit = 4 };

  vios() {}
  vios(const vios&) {}                              // the state belongs to the concrete stream
  vios& operator=(const vios&) { return *this; }
  virtual ~vios() {}

  virtual bool eof() = 0;
  virtual bool fail() = 0;
  virtual bool bad() = 0;
  virtual bool good() = 0;          // true exactly when the state is 0
  virtual int rdstate() = 0;
  virtual void clear(int state) = 0;  // replaces the whole state (no OR)
};

#endif  // TOBRELTOOLS_STREAM_VIOS_H_
