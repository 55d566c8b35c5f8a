#include "TobrelTools/stream/fostream.h"

#include <cstdint>
#include <cstring>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/stream/internal/stdio_fast.h"

TOBREL_MODULE_ID("fostream.cpp", "2026.12.05");

static_assert(sizeof(float) == 4 && sizeof(double) == 8, "IEEE 754 single and double expected");
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the stream encoding is the in-memory image of a little-endian machine"
#endif

fvostream::fvostream(const char* filename) : state_(0) {
  if (filename && !open(filename)) {
    throw new InternalException(std::string("fvostream open error: filename=") + filename);
  }
}

fvostream::fvostream(const fvostream& other)
    : vios(other), vostream(other), fio(other),
      state_(other.state_), fileName_(other.fileName_), file_(other.file_) {}

fvostream& fvostream::operator=(const fvostream& other) {
  state_ = other.state_;
  fileName_ = other.fileName_;
  file_ = other.file_;
  return *this;
}

fvostream::~fvostream() { close(); }

bool fvostream::open(const char* filename) {
  fileName_ = filename ? filename : "";
  file_.reset();
  if (filename) file_.open(filename, "w");
  if (!file_.get()) {
    clear(rdstate() | failbit);
    return false;
  }
  clear(0);
  return true;
}

void fvostream::close() {
  if (!file_.get()) return;
  file_.reset();
  clear(0);
}

FILE* fvostream::file() { return file_.get(); }

bool fvostream::eof() { return (state_ & eofbit) != 0; }
bool fvostream::fail() { return (state_ & failbit) != 0; }
bool fvostream::bad() { return (state_ & badbit) != 0; }
bool fvostream::good() { return state_ == 0; }
int fvostream::rdstate() { return state_; }
void fvostream::clear(int state) { state_ = state; }

vostream& fvostream::write(const void* bytes, std::size_t width) {
  FILE* f = file();
  if (!f || tobrel::writeOne(bytes, width, f) != 1) clear(rdstate() | tobrel::writeFailureBit(f));
  return *this;
}

vostream& fvostream::put(__int64 v) { return write(&v, 8); }
vostream& fvostream::put(unsigned long v) {
  std::uint32_t w = static_cast<std::uint32_t>(v);  // 32 bits on every host
  return write(&w, 4);
}
vostream& fvostream::put(unsigned int v) { return write(&v, 4); }
vostream& fvostream::put(unsigned short v) { return write(&v, 2); }
vostream& fvostream::put(unsigned char v) { return write(&v, 1); }
vostream& fvostream::put(bool v) {
  unsigned char b = v ? 1 : 0;
  return write(&b, 1);
}
vostream& fvostream::put(short v) { return write(&v, 2); }
vostream& fvostream::put(long v) {
  std::int32_t w = static_cast<std::int32_t>(v);
  return write(&w, 4);
}
vostream& fvostream::put(int v) { return write(&v, 4); }
vostream& fvostream::put(float v) { return write(&v, 4); }
vostream& fvostream::put(double v) { return write(&v, 8); }
vostream& fvostream::put(char v) { return write(&v, 1); }

vostream& fvostream::putline(char* text, unsigned int /*size*/) {
  FILE* f = file();
  if (!f || (text && std::fputs(text, f) == EOF)) clear(rdstate() | tobrel::writeFailureBit(f));
  return *this;
}

vostream& fvostream::operator<<(__int64 v) { return put(v); }
vostream& fvostream::operator<<(unsigned long v) { return put(v); }
vostream& fvostream::operator<<(unsigned int v) { return put(v); }
vostream& fvostream::operator<<(unsigned short v) { return put(v); }
vostream& fvostream::operator<<(unsigned char v) { return put(v); }
vostream& fvostream::operator<<(bool v) { return put(v); }
vostream& fvostream::operator<<(short v) { return put(v); }
vostream& fvostream::operator<<(long v) { return put(v); }
vostream& fvostream::operator<<(int v) { return put(v); }
vostream& fvostream::operator<<(float v) { return put(v); }
vostream& fvostream::operator<<(double v) { return put(v); }
vostream& fvostream::operator<<(char v) { return put(v); }
