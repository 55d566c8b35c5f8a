#include "TobrelTools/stream/fistream.h"

#include <climits>
#include <cstdint>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/stream/internal/stdio_fast.h"

TOBREL_MODULE_ID("fistream.cpp", "2026.12.05");

fvistream::fvistream(const char* filename) : state_(0) {
  if (filename && !open(filename)) {
    throw new InternalException(std::string("fvistream open error: filename=") + filename);
  }
}

fvistream::fvistream(const fvistream& other)
    : vios(other), vistream(other), fio(other),
      state_(other.state_), fileName_(other.fileName_), file_(other.file_) {}

fvistream& fvistream::operator=(const fvistream& other) {
  state_ = other.state_;
  fileName_ = other.fileName_;
  file_ = other.file_;
  return *this;
}

fvistream::~fvistream() { close(); }

bool fvistream::open(const char* filename) {
  fileName_ = filename ? filename : "";
  file_.reset();
  if (filename) file_.open(filename, "r");
  if (!file_.get()) {
    clear(rdstate() | failbit);
    return false;
  }
  clear(0);
  return true;
}

void fvistream::close() {
  if (!file_.get()) return;
  file_.reset();
  clear(0);
}

FILE* fvistream::file() { return file_.get(); }

bool fvistream::eof() { return (state_ & eofbit) != 0; }
bool fvistream::fail() { return (state_ & failbit) != 0; }
bool fvistream::bad() { return (state_ & badbit) != 0; }
bool fvistream::good() { return state_ == 0; }
int fvistream::rdstate() { return state_; }
void fvistream::clear(int state) { state_ = state; }

void fvistream::failFrom(FILE* f) { clear(rdstate() | tobrel::readFailureBit(f)); }

bool fvistream::read(void* p, std::size_t width) {
  FILE* f = file();
  if (f && tobrel::readOne(p, width, f) == 1) return true;
  failFrom(f);
  return false;
}

vistream& fvistream::get(__int64& v) { read(&v, 8); return *this; }
vistream& fvistream::get(unsigned long& v) {
  std::uint32_t w;
  if (read(&w, 4)) v = w;
  return *this;
}
vistream& fvistream::get(unsigned int& v) { read(&v, 4); return *this; }
vistream& fvistream::get(unsigned short& v) { read(&v, 2); return *this; }
vistream& fvistream::get(unsigned char& v) { read(&v, 1); return *this; }
vistream& fvistream::get(bool& v) {
  unsigned char b;
  if (read(&b, 1)) v = (b != 0);
  return *this;
}
vistream& fvistream::get(short& v) { read(&v, 2); return *this; }
vistream& fvistream::get(long& v) {
  std::int32_t w;
  if (read(&w, 4)) v = w;  // sign-extended from 32 bits
  return *this;
}
vistream& fvistream::get(int& v) { read(&v, 4); return *this; }
vistream& fvistream::get(float& v) { read(&v, 4); return *this; }
vistream& fvistream::get(double& v) { read(&v, 8); return *this; }
vistream& fvistream::get(char& v) { read(&v, 1); return *this; }

vistream& fvistream::getline(char* buffer, unsigned int size) {
  FILE* f = file();
  if (!f || !buffer || size == 0) {
    failFrom(f);
    return *this;
  }
  if (size == 1) {
    buffer[0] = '\0';
    return *this;
  }
  int n = size > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(size);
  if (!std::fgets(buffer, n, f)) failFrom(f);
  return *this;
}

vistream& fvistream::operator>>(__int64& v) { return get(v); }
vistream& fvistream::operator>>(unsigned long& v) { return get(v); }
vistream& fvistream::operator>>(unsigned int& v) { return get(v); }
vistream& fvistream::operator>>(unsigned short& v) { return get(v); }
vistream& fvistream::operator>>(unsigned char& v) { return get(v); }
vistream& fvistream::operator>>(bool& v) { return get(v); }
vistream& fvistream::operator>>(short& v) { return get(v); }
vistream& fvistream::operator>>(long& v) { return get(v); }
vistream& fvistream::operator>>(int& v) { return get(v); }
vistream& fvistream::operator>>(float& v) { return get(v); }
vistream& fvistream::operator>>(double& v) { return get(v); }
vistream& fvistream::operator>>(char& v) { return get(v); }
