#include "cli/dump/text_encode.h"

#include <gtest/gtest.h>

#include "cli/text_escape.h"

namespace tobrel {
namespace cli {
namespace {

TEST(TextEncode, Cp932TextComesBackAsTheSameBytes) {
  // ASCII with controls, single-byte katakana, double-byte kana and kanji,
  // the one real U+30FB.
  const std::string bytes("a\0\x1f\x7f\xb1\x82\xa0\x88\x9f\x81\x45", 11);
  bool exact = true;
  std::string utf8 = cp932ToUtf8(bytes.data(), bytes.size(), &exact);
  ASSERT_TRUE(exact);
  std::string back, error;
  ASSERT_TRUE(utf8ToCp932(utf8, back, error)) << error;
  EXPECT_EQ(back, bytes);
}

TEST(TextEncode, RefusesWhatWouldNotReadBackAsGiven) {
  struct Case {
    std::string utf8;
    const char* reason;
  } cases[] = {
      {"\xef\xbf\xbd", "U+FFFD has no code page 932 code"},  // what the tool shows for a stray byte
      {"\xc2\xa5", "U+00A5 has no code page 932 code"},      // best fit to '\', not the yen sign
      {"\xf0\x9f\x98\x80", "U+1F600 has no code page 932 code"},
      {"ab\xe3\x81", "malformed UTF-8 at byte 2"},
      {"\xc0\x80", "malformed UTF-8 at byte 0"},            // overlong NUL
      {"\xed\xa0\x80", "malformed UTF-8 at byte 0"},        // a surrogate
  };
  for (const Case& c : cases) {
    std::string out, error;
    EXPECT_FALSE(utf8ToCp932(c.utf8, out, error)) << c.reason;
    EXPECT_NE(error.find(c.reason), std::string::npos) << error;
  }
}

TEST(TextEncode, Utf16TakesSurrogatePairsAndRefusesMalformedText) {
  std::u16string units;
  std::string error;
  ASSERT_TRUE(utf8ToUtf16("A\xf0\x9f\x98\x80\xe3\x81\x82", units, error));
  EXPECT_EQ(units, (std::u16string{u'A', 0xD83D, 0xDE00, 0x3042}));
  EXPECT_FALSE(utf8ToUtf16("\xff", units, error));
}

TEST(TextEncode, HexPairs) {
  std::string out;
  EXPECT_TRUE(parseHexBytes("00aBFf", out));
  EXPECT_EQ(out, std::string("\x00\xab\xff", 3));
  EXPECT_FALSE(parseHexBytes("abc", out));
  EXPECT_FALSE(parseHexBytes("0g", out));
  EXPECT_TRUE(parseHexBytes("", out));
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace cli
}  // namespace tobrel
