// Builds stream file bytes record by record, for tests that need files the
// library would not write (damaged ones, unusual but readable ones).
#ifndef TOBRELTOOLS_TESTS_STREAM_BYTES_H_
#define TOBRELTOOLS_TESTS_STREAM_BYTES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace tobrel {
namespace test {

// Little-endian, as the library writes.
struct Bytes {
  std::vector<unsigned char> b;
  Bytes& u8(unsigned v) { b.push_back(static_cast<unsigned char>(v)); return *this; }
  Bytes& u16(unsigned v) { return u8(v & 0xFF).u8(v >> 8 & 0xFF); }
  Bytes& i32(std::int64_t v) {
    auto u = static_cast<std::uint32_t>(v);
    return u16(u & 0xFFFF).u16(u >> 16);
  }
  Bytes& raw(const std::string& s) { b.insert(b.end(), s.begin(), s.end()); return *this; }
  Bytes& add(const Bytes& o) { b.insert(b.end(), o.b.begin(), o.b.end()); return *this; }
  Bytes& open(unsigned id) { return u8(':').u16(id).u8('{'); }
  Bytes& close() { return u8('}'); }
  Bytes& text(const std::string& s) { return open(0x0070).i32(0).i32(static_cast<std::int64_t>(s.size())).raw(s).close(); }
  Bytes& ref(int index) { return u8('@').i32(index); }
};

inline Bytes value(const std::string& name, unsigned type, const std::string& data) {
  Bytes v;
  v.open(0xF035).i32(1).text(name).i32(type).i32(static_cast<std::int64_t>(data.size())).raw(data).close();
  return v;
}

inline Bytes key(const std::string& name, std::uint32_t low, std::uint32_t high, const std::vector<Bytes>& elements) {
  Bytes k;
  k.open(0xF033).i32(1).text("").text(name).i32(low).i32(high).i32(static_cast<std::int64_t>(elements.size()));
  for (const Bytes& e : elements) k.add(e);
  return k.close();
}

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_STREAM_BYTES_H_
