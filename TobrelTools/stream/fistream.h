// fvistream: the input stream over a C library FILE; reads back what
// fvostream wrote. Each value is one C library transfer (getc for a single
// byte, one fread of the width otherwise) straight into the
// caller's variable (a `long` goes through a 32-bit word and is
// sign-extended). Nothing is skipped before a value and nothing is parsed.
// A failed read ORs eofbit when the file is at its end, failbit when the C
// library flagged an error, badbit otherwise; after a failure the variable's
// contents are not to be used.
//
// Decisions where the behaviour is ours to choose:
// - No open file: every read sets badbit and stores nothing, neither into the
//   variable nor into getline's buffer.
// - get(bool&) takes any non-zero byte as true.
// - open() on an open stream releases the old file first; copies share the
//   FILE and the last one to let go closes it (as fvostream does).
#ifndef TOBRELTOOLS_STREAM_FISTREAM_H_
#define TOBRELTOOLS_STREAM_FISTREAM_H_

#include <cstdio>
#include <string>

#include "TobrelTools/export.h"
#include "TobrelTools/stream/fio.h"
#include "TobrelTools/stream/file_handle.h"
#include "TobrelTools/stream/vistream.h"

class TOBREL_API fvistream : public virtual vistream, public virtual fio {
 public:
  // With a name, opens it for reading and throws
  // InternalException* "fvistream open error: filename=<name>" on failure.
  // Without one (or with null), a good stream with no file.
  fvistream(const char* filename = 0);
  fvistream(const fvistream& other);
  fvistream& operator=(const fvistream& other);
  ~fvistream() override;

  // Opens filename with mode "r"; true on success (state 0), false with
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

  vistream& get(__int64& v) override;
  vistream& get(unsigned long& v) override;
  vistream& get(unsigned int& v) override;
  vistream& get(unsigned short& v) override;
  vistream& get(unsigned char& v) override;
  vistream& get(bool& v) override;
  vistream& get(short& v) override;
  vistream& get(long& v) override;
  vistream& get(int& v) override;
  vistream& get(float& v) override;
  vistream& get(double& v) override;
  vistream& get(char& v) override;

  // fgets semantics: at most size - 1 bytes and a NUL, the line feed kept.
  // size 1 stores only the NUL and succeeds; size 0 reads nothing and fails
  // (classified like a failed read).
  vistream& getline(char* buffer, unsigned int size) override;

  vistream& operator>>(__int64& v) override;
  vistream& operator>>(unsigned long& v) override;
  vistream& operator>>(unsigned int& v) override;
  vistream& operator>>(unsigned short& v) override;
  vistream& operator>>(unsigned char& v) override;
  vistream& operator>>(bool& v) override;
  vistream& operator>>(short& v) override;
  vistream& operator>>(long& v) override;
  vistream& operator>>(int& v) override;
  vistream& operator>>(float& v) override;
  vistream& operator>>(double& v) override;
  vistream& operator>>(char& v) override;

  // The name last given to open (kept even when the open failed).
  const std::string& fileName() const { return fileName_; }

 private:
  // One fread of width bytes into p; on failure the state is updated.
  bool read(void* p, std::size_t width);
  void failFrom(FILE* f);

  int state_;
  std::string fileName_;
  tobrel::FileHandle file_;
};

#endif  // TOBRELTOOLS_STREAM_FISTREAM_H_
