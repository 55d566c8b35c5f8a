// A buffered text writer over a C FILE, for output that can run to millions
// of lines: text is collected in a large buffer of its own and handed to the
// C library in big blocks, never flushed per line. Write errors (a full disk,
// a closed pipe) are remembered and reported by flush().
#ifndef TOBREL_CLI_WRITER_H_
#define TOBREL_CLI_WRITER_H_

#include <cstdio>
#include <string>

namespace tobrel {
namespace cli {

class Writer {
 public:
  explicit Writer(FILE* file, std::size_t capacity = 1 << 16);
  ~Writer();  // flushes; errors are then lost, so call flush() first
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  Writer& put(char c) {
    buffer_.push_back(c);
    if (buffer_.size() >= capacity_) drain();
    return *this;
  }
  Writer& put(const std::string& text) { return put(text.data(), text.size()); }
  Writer& put(const char* text);
  Writer& put(const char* data, std::size_t size);
  // printf-style; for short pieces (numbers, fixed-width fields).
  Writer& format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

  // Writes out everything buffered and flushes the FILE. False when any write
  // so far failed.
  bool flush();

 private:
  void drain();

  FILE* file_;
  std::size_t capacity_;
  std::string buffer_;
  bool failed_;
};

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_WRITER_H_
