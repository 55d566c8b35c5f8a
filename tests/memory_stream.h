// In-memory streams for tests, fuzz targets and benchmarks: the byte layout
// of the file streams (fixed-width little-endian images, `long` as 32 bits)
// over a byte vector, without a file. A read past the end stores nothing and
// sets eofbit, as the file stream does at the end of its file.
#ifndef TOBRELTOOLS_TESTS_MEMORY_STREAM_H_
#define TOBRELTOOLS_TESTS_MEMORY_STREAM_H_

#include <cstdint>
#include <cstring>
#include <vector>

#include "TobrelTools/stream/vistream.h"
#include "TobrelTools/stream/vostream.h"

// The twelve primitive types of the streams, in their slot order: X(type)
// for each, for classes that override every operation of a family.
#define TOBREL_TEST_STREAM_TYPES(X)                                                                  \
  X(__int64) X(unsigned long) X(unsigned int) X(unsigned short) X(unsigned char) X(bool) X(short) \
  X(long) X(int) X(float) X(double) X(char)

namespace tobrel {
namespace test {

class MemoryState : public virtual vios {
 public:
  bool eof() override { return (state_ & eofbit) != 0; }
  bool fail() override { return (state_ & failbit) != 0; }
  bool bad() override { return (state_ & badbit) != 0; }
  bool good() override { return state_ == 0; }
  int rdstate() override { return state_; }
  void clear(int state) override { state_ = state; }

 protected:
  int state_ = 0;
};

class MemoryOStream : public virtual vostream, public MemoryState {
 public:
  const std::vector<unsigned char>& bytes() const { return bytes_; }
  void reserve(std::size_t n) { bytes_.reserve(n); }

  vostream& put(__int64 v) override { return raw(v); }
  vostream& put(unsigned long v) override { return raw(static_cast<std::uint32_t>(v)); }
  vostream& put(unsigned int v) override { return raw(v); }
  vostream& put(unsigned short v) override { return raw(v); }
  vostream& put(unsigned char v) override { return raw(v); }
  vostream& put(bool v) override { return raw(static_cast<unsigned char>(v ? 1 : 0)); }
  vostream& put(short v) override { return raw(v); }
  vostream& put(long v) override { return raw(static_cast<std::int32_t>(v)); }
  vostream& put(int v) override { return raw(v); }
  vostream& put(float v) override { return raw(v); }
  vostream& put(double v) override { return raw(v); }
  vostream& put(char v) override { return raw(v); }
  vostream& putline(char* text, unsigned int) override {
    bytes_.insert(bytes_.end(), text, text + std::strlen(text));
    return *this;
  }
#define TOBREL_TEST_FORWARD(T) \
  vostream& operator<<(T v) override { return put(v); }
  TOBREL_TEST_STREAM_TYPES(TOBREL_TEST_FORWARD)
#undef TOBREL_TEST_FORWARD

 private:
  // Hosts are little-endian (x86, ARM as configured by every target here).
  template <typename T>
  vostream& raw(T v) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(&v);
    bytes_.insert(bytes_.end(), p, p + sizeof v);
    return *this;
  }

  std::vector<unsigned char> bytes_;
};

class MemoryIStream : public virtual vistream, public MemoryState {
 public:
  MemoryIStream(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  // Reads the caller's bytes in place: they must outlive the stream.
  explicit MemoryIStream(const std::vector<unsigned char>& bytes) : MemoryIStream(bytes.data(), bytes.size()) {}
  explicit MemoryIStream(std::vector<unsigned char>&&) = delete;

  std::size_t position() const { return pos_; }

  vistream& get(__int64& v) override { return raw(v); }
  vistream& get(unsigned long& v) override {
    std::uint32_t w = 0;
    if (take(&w, sizeof w)) v = w;
    return *this;
  }
  vistream& get(unsigned int& v) override { return raw(v); }
  vistream& get(unsigned short& v) override { return raw(v); }
  vistream& get(unsigned char& v) override { return raw(v); }
  vistream& get(bool& v) override {
    unsigned char b = 0;
    if (take(&b, 1)) v = b != 0;
    return *this;
  }
  vistream& get(short& v) override { return raw(v); }
  vistream& get(long& v) override {
    std::int32_t w = 0;
    if (take(&w, sizeof w)) v = w;
    return *this;
  }
  vistream& get(int& v) override { return raw(v); }
  vistream& get(float& v) override { return raw(v); }
  vistream& get(double& v) override { return raw(v); }
  vistream& get(char& v) override { return raw(v); }
  vistream& getline(char* buffer, unsigned int size) override {
    if (size == 0 || pos_ >= size_) {
      state_ |= eofbit;
      return *this;
    }
    unsigned int n = 0;
    while (n + 1 < size && pos_ < size_) {
      buffer[n++] = static_cast<char>(data_[pos_]);
      if (data_[pos_++] == '\n') break;
    }
    buffer[n] = 0;
    return *this;
  }
#define TOBREL_TEST_FORWARD(T) \
  vistream& operator>>(T& v) override { return get(v); }
  TOBREL_TEST_STREAM_TYPES(TOBREL_TEST_FORWARD)
#undef TOBREL_TEST_FORWARD

 private:
  bool take(void* out, std::size_t width) {
    if (size_ - pos_ < width) {
      pos_ = size_;
      state_ |= eofbit;
      return false;
    }
    std::memcpy(out, data_ + pos_, width);
    pos_ += width;
    return true;
  }
  template <typename T>
  vistream& raw(T& v) {
    T w;
    if (take(&w, sizeof w)) v = w;
    return *this;
  }

  const unsigned char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_MEMORY_STREAM_H_
