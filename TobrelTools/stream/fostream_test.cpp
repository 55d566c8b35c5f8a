// Output stream: exact bytes of every type, state rules and open failures.
#include "TobrelTools/stream/fostream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TobrelTools/persist/InternalException.h"
#include "tests/memory_stream.h"
#include "tests/test_util.h"

namespace {

using tobrel::test::bytesOf;
using tobrel::test::tempPath;

TEST(FvostreamTest, WritesLittleEndianImageOfEveryType) {
  std::string path = tempPath("types.bin");
  {
    fvostream os(path.c_str());
    os.put(static_cast<char>('A')).put(-2.0).put(1.0f).put(1).put(-2L).put(static_cast<short>(-2)).put(true);
    os.put(static_cast<unsigned char>(0xFE)).put(static_cast<unsigned short>(0x1234)).put(0xDEADBEEFu);
    os.put(258UL).put(static_cast<__int64>(-2));
    EXPECT_TRUE(os.good());
  }
  std::vector<unsigned char> expected = {
      0x41,                                            // char
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0,  // double -2.0
      0x00, 0x00, 0x80, 0x3F,                          // float 1.0, not widened
      0x01, 0x00, 0x00, 0x00,                          // int
      0xFE, 0xFF, 0xFF, 0xFF,                          // long: 32 bits on every host
      0xFE, 0xFF,                                      // short
      0x01,                                            // bool
      0xFE,                                            // unsigned char
      0x34, 0x12,                                      // unsigned short
      0xEF, 0xBE, 0xAD, 0xDE,                          // unsigned int
      0x02, 0x01, 0x00, 0x00,                          // unsigned long
      0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,  // __int64
  };
  EXPECT_EQ(bytesOf(path), expected);
}

TEST(FvostreamTest, OpeningTruncatesAnExistingFile) {
  std::string path = tempPath("trunc.bin");
  { fvostream os(path.c_str()); os << 12345; }
  ASSERT_EQ(bytesOf(path).size(), 4u);
  { fvostream os(path.c_str()); }
  EXPECT_TRUE(bytesOf(path).empty());
}

TEST(FvostreamTest, ConstructorThrowsExactMessageForUnopenableName) {
  std::string path = tempPath("no/such/dir/x.bin");
  try {
    fvostream os(path.c_str());
    FAIL() << "no exception";
  } catch (InternalException* e) {
    EXPECT_EQ(e->getMsg(), "fvostream open error: filename=" + path);
    EXPECT_EQ(e->getCode(), 0);
    delete e;
  }
}

TEST(FvostreamTest, StateBitsAccumulateAndClearReplaces) {
  fvostream os;
  EXPECT_TRUE(os.good());
  os.clear(5);
  EXPECT_TRUE(os.eof() && os.bad() && !os.fail() && !os.good());
  os.clear(0);
  EXPECT_TRUE(os.good());
}

TEST(FvostreamTest, CloseTwiceAndCopiesCloseTheFileOnce) {
  std::string path = tempPath("copies.bin");
  {
    fvostream os(path.c_str());
    os << 'a';
    {
      fvostream copy(os);
      EXPECT_EQ(copy.file(), os.file());
      copy << 'b';
      fvostream assigned;
      assigned = copy;
      assigned << 'c';
    }  // the copies let go; the original still holds the file
    os << 'd';
    os.close();
    os.close();
    EXPECT_EQ(os.file(), nullptr);
    EXPECT_TRUE(os.good());
  }
  EXPECT_EQ(bytesOf(path), (std::vector<unsigned char>{'a', 'b', 'c', 'd'}));
}

// A stream that logs which named form each operator form reached and every
// change of state; the file-backed stream must route both through its own
// virtual operations, so that a derived stream sees them.
class LoggingOut : public fvostream {
 public:
  using fvostream::fvostream;
  std::string log;
#define LOGGED_PUT(T) \
  vostream& put(T v) override { log += #T ", "; return fvostream::put(v); }
  TOBREL_TEST_STREAM_TYPES(LOGGED_PUT)
#undef LOGGED_PUT
  void clear(int state) override {
    log += "clear" + std::to_string(state) + " ";
    fvostream::clear(state);
  }
};

TEST(FvostreamTest, OperatorFormsCallTheNamedFormsAndStateChangesGoThroughClear) {
  const std::string path = tempPath("log.bin");
  LoggingOut os;
  os.clear(vios::eofbit);
  os.log.clear();
  ASSERT_TRUE(os.open(path.c_str()));
  EXPECT_EQ(os.log, "clear0 ");
  os.log.clear();
  os << static_cast<__int64>(1) << 2UL << 3u << static_cast<unsigned short>(4) << static_cast<unsigned char>(5)
     << true << static_cast<short>(7) << 8L << 9 << 10.0f << 11.0 << 'c';
  EXPECT_EQ(os.log, "__int64, unsigned long, unsigned int, unsigned short, unsigned char, bool, short, long, int, "
                    "float, double, char, ");
  os.log.clear();
  os.close();
  EXPECT_EQ(os.log, "clear0 ");
  os.log.clear();
  os << 'x';  // no file: badbit, through clear
  EXPECT_EQ(os.log, "char, clear4 ");
  os.close();  // no file: the state stays
  EXPECT_EQ(os.rdstate(), vios::badbit);
  os.log.clear();
  const std::string bad = tempPath("no/such/dir/f.bin");
  EXPECT_FALSE(os.open(bad.c_str()));  // adds failbit, keeps the name
  EXPECT_EQ(os.log, "clear6 ");
  EXPECT_EQ(os.fileName(), bad);
  EXPECT_EQ(os.file(), nullptr);
  EXPECT_EQ(bytesOf(path).size(), 8u + 4 + 4 + 2 + 1 + 1 + 2 + 4 + 4 + 4 + 8 + 1);
}

}  // namespace
