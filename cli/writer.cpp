#include "cli/writer.h"

#include <cstdarg>
#include <cstring>

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("writer.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

Writer::Writer(FILE* file, std::size_t capacity)
    : file_(file), capacity_(capacity), failed_(false) {
  buffer_.reserve(capacity_ + 256);
}

Writer::~Writer() { flush(); }

Writer& Writer::put(const char* text) { return put(text, std::strlen(text)); }

Writer& Writer::put(const char* data, std::size_t size) {
  buffer_.append(data, size);
  if (buffer_.size() >= capacity_) drain();
  return *this;
}

Writer& Writer::format(const char* fmt, ...) {
  char small[256];
  va_list args;
  va_start(args, fmt);
  int n = std::vsnprintf(small, sizeof small, fmt, args);
  va_end(args);
  if (n < 0) return *this;
  if (static_cast<std::size_t>(n) < sizeof small) return put(small, static_cast<std::size_t>(n));
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  va_start(args, fmt);
  std::vsnprintf(&big[0], big.size(), fmt, args);
  va_end(args);
  big.resize(static_cast<std::size_t>(n));
  return put(big);
}

void Writer::drain() {
  if (buffer_.empty()) return;
  if (!failed_ && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
    failed_ = true;
  }
  buffer_.clear();
}

bool Writer::flush() {
  drain();
  if (std::fflush(file_) != 0) failed_ = true;
  return !failed_;
}

}  // namespace cli
}  // namespace tobrel
