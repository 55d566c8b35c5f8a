// Runs of bytes through the streams: the one-transfer path of the exact file
// streams must give the bytes and the state that byte-by-byte operators
// give, and streams of other classes must still see every byte.
#include "TobrelTools/stream/internal/char_runs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "tests/memory_stream.h"
#include "tests/test_util.h"

namespace {

using tobrel::readChars;
using tobrel::writeChars;
using tobrel::test::bytesOf;
using tobrel::test::MemoryIStream;
using tobrel::test::tempPath;
using tobrel::test::writeBytes;
typedef std::vector<unsigned char> Bytes;

const char kText[] = "ab\0\x81\x40\xFF z";  // a NUL and high bytes among them
const std::size_t kTextSize = sizeof kText - 1;

// File streams of derived classes that count the byte operators called.
class CountingOut : public fvostream {
 public:
  using fvostream::fvostream;
  vostream& operator<<(char v) override {
    ++calls;
    return fvostream::operator<<(v);
  }
  int calls = 0;
};

class CountingIn : public fvistream {
 public:
  using fvistream::fvistream;
  vistream& operator>>(char& v) override {
    ++calls;
    return fvistream::operator>>(v);
  }
  int calls = 0;
};

TEST(CharRunsTest, WritesTheBytesOnceWhateverTheStreamClass) {
  const std::string exact = tempPath("exact.bin"), derived = tempPath("derived.bin");
  {
    fvostream os(exact.c_str());
    os << 'A';
    writeChars(os, kText, kTextSize);
    writeChars(os, kText, 0);
    os << 'Z';
    EXPECT_EQ(os.rdstate(), 0);
    CountingOut counting(derived.c_str());
    counting << 'A';
    writeChars(counting, kText, kTextSize);
    counting << 'Z';
    EXPECT_EQ(counting.calls, static_cast<int>(kTextSize) + 2);
  }
  const std::string text = 'A' + std::string(kText, kTextSize) + 'Z';
  const Bytes expected(text.begin(), text.end());
  EXPECT_EQ(bytesOf(exact), expected);
  EXPECT_EQ(bytesOf(derived), expected);

  fvostream closed;
  closed.clear(vios::eofbit);
  writeChars(closed, kText, kTextSize);
  EXPECT_EQ(closed.rdstate(), vios::eofbit | vios::badbit);
}

// A run longer than the file: the bytes there, zeros for the rest, and the
// state that reading byte by byte leaves (end of file only).
TEST(CharRunsTest, ReadsWhatIsThereAndZerosThatEndTheRun) {
  const std::string path = tempPath("short.bin");
  writeBytes(path, Bytes(kText, kText + kTextSize));
  for (int derived = 0; derived < 2; ++derived) {
    std::vector<char> run(kTextSize + 5, 'x');
    int state = 0;
    if (derived) {
      CountingIn is(path.c_str());
      readChars(is, run.data(), run.size(), 512);
      EXPECT_EQ(is.calls, static_cast<int>(run.size()));
      state = is.rdstate();
    } else {
      fvistream is(path.c_str());
      readChars(is, run.data(), 3, 512);
      readChars(is, run.data() + 3, run.size() - 3, 512);
      state = is.rdstate();
    }
    EXPECT_EQ(std::string(run.data(), kTextSize), std::string(kText, kTextSize)) << derived;
    EXPECT_EQ(std::string(run.data() + kTextSize, 5), std::string(5, '\0')) << derived;
    EXPECT_EQ(state, vios::eofbit) << derived;
  }

  fvistream closed;
  std::vector<char> run(4, 'x');
  readChars(closed, run.data(), run.size(), 512);
  EXPECT_EQ(std::string(run.data(), 4), std::string(4, '\0'));
  EXPECT_EQ(closed.rdstate(), vios::badbit);
}

// Other streams are read byte by byte, and no further than the next check
// of the state after they fail.
TEST(CharRunsTest, OtherStreamsStopAtTheCheckAfterTheirEnd) {
  const Bytes bytes(10, 'q');
  MemoryIStream is(bytes);
  std::vector<char> run(100, 'x');
  readChars(is, run.data(), run.size(), 4);
  EXPECT_EQ(std::string(run.data(), 10), std::string(10, 'q'));
  EXPECT_EQ(std::string(run.data() + 10, 90), std::string(90, '\0'));
  EXPECT_EQ(is.rdstate(), vios::eofbit);
  EXPECT_EQ(is.position(), 10u);
}

}  // namespace
