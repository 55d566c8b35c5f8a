#include "cli/text_escape.h"

#include <gtest/gtest.h>

namespace tobrel {
namespace cli {
namespace {

TEST(QuoteText, EscapesControlBytesQuotesAndUndecodableBytes) {
  EXPECT_EQ(quoteText(std::string("a\"b\\c\n\r\t\0\x1f\x7f", 11)), "\"a\\\"b\\\\c\\n\\r\\t\\0\\x1F\\x7F\"");
  // a lead byte at the end, a lead byte before a byte that cannot trail it,
  // and bytes that start no character (80, A0, FD-FF)
  EXPECT_EQ(quoteText("\x81"), "\"\\x81\"");
  EXPECT_EQ(quoteText("\x81" " " "\x81\x7f"), "\"\\x81 \\x81\\x7F\"");
  EXPECT_EQ(quoteText("\x80\xa0\xfd\xfe\xff"), "\"\\x80\\xA0\\xFD\\xFE\\xFF\"");
  EXPECT_EQ(quoteText("\xa1\xdf"), "\"\xef\xbd\xa1\xef\xbe\x9f\"");  // half-width katakana
  // double-byte characters: hiragana A, the middle dot (which the converter
  // also stands in for bytes that form no character), a pair the code page
  // leaves empty, and a user-defined code (private use: shown as bytes)
  EXPECT_EQ(quoteText("\x82\xa0"), "\"\xe3\x81\x82\"");
  EXPECT_EQ(quoteText("\x81\x45"), "\"\xe3\x83\xbb\"");
  EXPECT_EQ(quoteText("\x85\x40"), "\"\\x85@\"");
  EXPECT_EQ(quoteText("\xf0\x40"), "\"\\xF0@\"");
  EXPECT_EQ(quoteText(""), "\"\"");
}

TEST(DisplayText, ConvertsCharactersAndKeepsLinesWhileShowingOtherBytes) {
  // Full-width A, Greek omega, a kanji with a 0x5C trail byte, half-width
  // katakana; line feeds, tabs and backslashes as they are.
  EXPECT_EQ(displayText("\x82\x60 \x83\xD6\t\x95\x5C\\\xB1\n"),
            "\xef\xbc\xa1 \xcf\x89\t\xe8\xa1\xa8\\\xef\xbd\xb1\n");
  // A CR, a NUL, a lone lead byte, a pair with no character: their bytes.
  EXPECT_EQ(displayText(std::string("a\r\0\x81 \x85\x40", 7)), "a\\x0D\\x00\\x81 \\x85@");
}

TEST(Utf8Text, ReplacesOnlyBytesOutsideACharacterAndSaysSo) {
  bool exact = true;
  EXPECT_EQ(cp932ToUtf8("a\"\n\x01\x82\xa0", 6, &exact), "a\"\n\x01\xe3\x81\x82");
  EXPECT_TRUE(exact);
  EXPECT_EQ(cp932ToUtf8("x\x80", 2, &exact), "x\xef\xbf\xbd");
  EXPECT_FALSE(exact);
}

TEST(WideText, DecodesSurrogatePairsAndEscapesLoneHalves) {
  std::u16string units = {u'A', 0xD83D, 0xDE00, 0xD800, u'"', 0};
  EXPECT_EQ(quoteWide(units), "\"A\xf0\x9f\x98\x80\\uD800\\\"\\0\"");
  bool exact = true;
  EXPECT_EQ(utf16ToUtf8(units, &exact), std::string("A\xf0\x9f\x98\x80\xef\xbf\xbd\"\0", 10));
  EXPECT_FALSE(exact);
}

TEST(HexBytes, UpperCasePairs) {
  EXPECT_EQ(hexBytes("\x00\x0f\xf0", 3, ' '), "00 0F F0");
  EXPECT_EQ(hexBytes("\xab\xcd", 2, 0), "ABCD");
  EXPECT_EQ(hexBytes("", 0, ' '), "");
}

}  // namespace
}  // namespace cli
}  // namespace tobrel
