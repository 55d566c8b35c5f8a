// Input stream: reading back exact bytes, end-of-file and failure
// classification, getline in pieces, and open failures.
#include "TobrelTools/stream/fistream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/stream/fostream.h"
#include "tests/memory_stream.h"
#include "tests/test_util.h"

namespace {

using tobrel::test::tempPath;
using tobrel::test::writeBytes;

TEST(FvistreamTest, ReadsTheThirteenByteExampleThenHitsEndOfFile) {
  std::string path = tempPath("ex.bin");
  writeBytes(path, {0x01, 0x00, 0x00, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F});
  fvistream is(path.c_str());
  int i = 0;
  char c = 0;
  double d = 0;
  is >> i >> c >> d;
  EXPECT_EQ(i, 1);
  EXPECT_EQ(c, 'A');
  EXPECT_EQ(d, 1.0);
  EXPECT_EQ(is.rdstate(), 0);
  is.get(c);
  EXPECT_EQ(is.rdstate(), vios::eofbit);
  EXPECT_TRUE(is.eof() && !is.fail() && !is.good());
  is.get(c);  // bits are ORed, not counted
  EXPECT_EQ(is.rdstate(), vios::eofbit);
  is.clear(0);  // changes the state, not the file's end indicator
  is >> c;
  EXPECT_EQ(is.rdstate(), vios::eofbit);
}

// Values of every width at every offset across many buffer boundaries of
// the C library: written values land byte for byte, read values come back
// whole, also when one straddles the end of a buffer; the end of the file
// cuts the last value short.
TEST(FvistreamTest, ValuesAcrossBufferBoundariesKeepTheirBytes) {
  std::string path = tempPath("across.bin");
  std::vector<unsigned char> expected;
  {
    fvostream os(path.c_str());
    for (int i = 0; i < 40000; ++i) {
      const unsigned char b = static_cast<unsigned char>(i * 7);
      switch (i % 5) {
        case 0: os << static_cast<char>(b); expected.push_back(b); break;
        case 1: os << static_cast<short>(b * 257); expected.insert(expected.end(), {b, b}); break;
        case 2: os << i; for (int k = 0; k < 4; ++k) expected.push_back(static_cast<unsigned char>(i >> (8 * k))); break;
        case 3: {
          std::int64_t v = static_cast<std::int64_t>(i) * 0x0101010101LL;
          os << static_cast<__int64>(v);
          for (int k = 0; k < 8; ++k) expected.push_back(static_cast<unsigned char>(v >> (8 * k)));
          break;
        }
        default: {
          char run[4] = {'x', static_cast<char>(b), 'y', 0};
          os.putline(run, 0);  // a zero b ends the text early
          expected.push_back('x');
          if (b != 0) expected.insert(expected.end(), {b, 'y'});
          break;
        }
      }
    }
    EXPECT_TRUE(os.good());
  }
  const std::vector<unsigned char> bytes = tobrel::test::bytesOf(path);
  ASSERT_EQ(bytes, expected);
  fvistream is(path.c_str());
  std::size_t at = 0;
  for (int k = 0; at + 8 <= expected.size(); ++k) {
    const int width = 1 << (k % 4);
    std::uint64_t want = 0, got = 0;
    std::memcpy(&want, &expected[at], static_cast<std::size_t>(width));
    if (width == 1) { char v = 0; is >> v; got = static_cast<unsigned char>(v); }
    if (width == 2) { unsigned short v = 0; is >> v; got = v; }
    if (width == 4) { unsigned int v = 0; is >> v; got = v; }
    if (width == 8) { __int64 v = 0; is >> v; got = static_cast<std::uint64_t>(v); }
    ASSERT_EQ(got, want) << "at " << at;
    at += static_cast<std::size_t>(width);
  }
  ASSERT_TRUE(is.good());
  while (at < expected.size()) { char c; is >> c; ++at; }
  __int64 past = 5;
  is >> past;
  EXPECT_EQ(past, 5);
  EXPECT_EQ(is.rdstate(), vios::eofbit);
}

TEST(FvistreamTest, EveryNonZeroByteIsTrueAndLongsWidenFromThirtyTwoBits) {
  std::string path = tempPath("bounds.bin");
  std::vector<unsigned char> bytes;
  for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<unsigned char>(b));
  const std::uint32_t words[] = {0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0x80000000u, 0xFFFFFFFFu};
  for (std::uint32_t w : words) {
    for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<unsigned char>(w >> (8 * k)));
  }
  writeBytes(path, bytes);
  fvistream is(path.c_str());
  for (int b = 0; b < 256; ++b) {
    bool v = b == 0;  // the opposite of what must be read
    if (b % 2) is >> v; else is.get(v);
    EXPECT_EQ(v, b != 0) << "byte " << b;
  }
  for (long expected : {2147483647L, -2147483647L - 1, -1L}) {
    long l = 0;
    is >> l;
    EXPECT_EQ(l, expected);
  }
  for (unsigned long expected : {2147483648UL, 4294967295UL}) {
    unsigned long ul = 0;
    is >> ul;
    EXPECT_EQ(ul, expected);
  }
  EXPECT_TRUE(is.good());
}

// getline keeps the line feed (and a carriage return before it), delivers
// long lines in pieces, stores just the NUL for size 1, fails for size 0,
// and ends with end of file after the last line.
TEST(FvistreamTest, GetlineInPieces) {
  std::string path = tempPath("lines.bin");
  writeBytes(path, {'a', 'b', 'c', 'd', 'e', 'f', 'g', '\n', 'x', '\r', '\n', 'q', '\n', 'z'});
  fvistream is(path.c_str());
  char buf[5] = {'X', 'X', 'X', 'X', 'Y'};
  for (const char* piece : {"abc", "def", "g\n", "x\r\n"}) {
    is.getline(buf, 4);
    EXPECT_STREQ(buf, piece);
  }
  is.getline(buf, 1);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(buf[1], '\r');
  EXPECT_EQ(is.rdstate(), 0);
  is.getline(buf, 0);
  EXPECT_FALSE(is.good());
  EXPECT_EQ(buf[1], '\r');
  is.clear(0);
  is.getline(buf, 5);
  EXPECT_STREQ(buf, "q\n");
  is.getline(buf, 5);
  EXPECT_STREQ(buf, "z");
  EXPECT_EQ(is.rdstate(), 0);
  is.getline(buf, 5);
  EXPECT_EQ(is.rdstate(), vios::eofbit);
}

TEST(FvistreamTest, ConstructorThrowsExactMessageForMissingFile) {
  std::string path = tempPath("missing.bin");
  try {
    fvistream is(path.c_str());
    FAIL() << "no exception";
  } catch (InternalException* e) {
    EXPECT_EQ(e->getMsg(), "fvistream open error: filename=" + path);
    EXPECT_EQ(e->getCode(), 0);
    delete e;
  }
}

TEST(FvistreamTest, StreamWithoutFileSetsBadbitAndTouchesNothing) {
  fvistream is;
  int v = 42;
  char buf[4] = {'k', 'e', 'e', 'p'};
  is >> v;
  is.getline(buf, sizeof buf);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(std::memcmp(buf, "keep", 4), 0);
  EXPECT_EQ(is.rdstate(), vios::badbit);
  EXPECT_FALSE(is.open(tempPath("absent.bin").c_str()));
  EXPECT_EQ(is.rdstate(), vios::badbit | vios::failbit);
}

TEST(FvistreamTest, CopiesShareTheFileAndCloseItOnce) {
  std::string path = tempPath("share.bin");
  writeBytes(path, {1, 2, 3});
  fvistream is(path.c_str());
  char a, b, c;
  {
    fvistream copy(is);
    copy >> a;
  }
  is >> b;
  fvistream other;
  other = is;
  other >> c;
  is.close();
  is.close();
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(c, 3);
  EXPECT_TRUE(is.good());
}

// Values of every type written with both output forms come back through
// the operator forms; each operator form reaches its named form, every
// change of state goes through the stream's own clear, and close() of an
// open file makes the stream good again.
class LoggingIn : public fvistream {
 public:
  using fvistream::fvistream;
  std::string log;
#define LOGGED_GET(T) \
  vistream& get(T& v) override { log += #T ", "; return fvistream::get(v); }
  TOBREL_TEST_STREAM_TYPES(LOGGED_GET)
#undef LOGGED_GET
  void clear(int state) override {
    log += "clear" + std::to_string(state) + " ";
    fvistream::clear(state);
  }
};

TEST(FvistreamTest, OperatorFormsCallTheNamedFormsAndStateChangesGoThroughClear) {
  const std::string path = tempPath("log.bin");
  {
    fvostream os(path.c_str());
    os.put(static_cast<__int64>(-1234567890123LL)).put(4000000000UL).put(3000000000u);
    os.put(static_cast<unsigned short>(65535)).put(static_cast<unsigned char>(200)).put(true);
    os << static_cast<short>(-30000) << -2000000000L << -7 << 2.5f << -0.125 << 'z';
  }
  LoggingIn is;
  ASSERT_TRUE(is.open(path.c_str()));
  EXPECT_EQ(is.log, "clear0 ");
  is.log.clear();
  __int64 i64; unsigned long ul; unsigned int ui; unsigned short us; unsigned char uc;
  bool b; short s; long l; int i; float f; double d; char c;
  is >> i64 >> ul >> ui >> us >> uc >> b >> s >> l >> i >> f >> d >> c;
  EXPECT_EQ(is.log, "__int64, unsigned long, unsigned int, unsigned short, unsigned char, bool, short, long, int, "
                    "float, double, char, ");
  EXPECT_TRUE(is.good());
  EXPECT_EQ(i64, -1234567890123LL);
  EXPECT_EQ(ul, 4000000000UL);
  EXPECT_EQ(ui, 3000000000u);
  EXPECT_EQ(us, 65535);
  EXPECT_EQ(uc, 200);
  EXPECT_TRUE(b);
  EXPECT_EQ(s, -30000);
  EXPECT_EQ(l, -2000000000L);  // sign-extended from 32 bits
  EXPECT_EQ(i, -7);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(d, -0.125);
  EXPECT_EQ(c, 'z');
  is.log.clear();
  is >> c;  // past the end: eofbit, through clear
  EXPECT_EQ(is.log, "char, clear1 ");
  is.log.clear();
  is.close();
  EXPECT_EQ(is.log, "clear0 ");
  EXPECT_TRUE(is.good());
  is.clear(vios::eofbit);
  is.close();  // no file: the state stays
  EXPECT_EQ(is.rdstate(), vios::eofbit);
}

}  // namespace
