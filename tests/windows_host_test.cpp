// The Windows host the tests run on: a Japanese desktop (ANSI and multibyte
// code page 932), and the C runtime facilities that the string and stream
// code take from it. A failure here means the test machine (or the Wine
// prefix) is set up wrong, and the string tests after it would mislead.
#include <mbctype.h>
#include <mbstring.h>

#include <clocale>
#include <cstdlib>
#include <cwchar>

#include <gtest/gtest.h>

#include "TobrelTools/platform/platform.h"

namespace {

TEST(WindowsHostTest, AnsiAndMultibyteCodePageAre932) {
  EXPECT_EQ(GetACP(), 932u) << "run the tests in a Japanese locale (Wine: LC_ALL=ja_JP.UTF-8)";
  EXPECT_EQ(_getmbcp(), 932);
  EXPECT_TRUE(IsDBCSLeadByte(0x82));
  EXPECT_TRUE(IsDBCSLeadByte(0xE0));
  EXPECT_FALSE(IsDBCSLeadByte(0x41));
  EXPECT_FALSE(IsDBCSLeadByte(0xA1));  // half-width katakana: one byte
}

TEST(WindowsHostTest, JapaneseLocaleConvertsCodePage932) {
  const char* previous = std::setlocale(LC_ALL, nullptr);
  std::string saved = previous ? previous : "C";
  ASSERT_NE(std::setlocale(LC_ALL, "Japanese"), nullptr);
  wchar_t wide[8] = {};
  // HIRAGANA LETTER A, HALFWIDTH KATAKANA LETTER A, 'A'
  EXPECT_EQ(std::mbstowcs(wide, "\x82\xA0\xB1" "A", 8), 3u);
  EXPECT_EQ(wide[0], L'\x3042');
  EXPECT_EQ(wide[1], L'\xFF71');
  EXPECT_EQ(wide[2], L'A');
  char narrow[8] = {};
  EXPECT_EQ(std::wcstombs(narrow, L"\x3042", sizeof narrow), 2u);
  EXPECT_STREQ(narrow, "\x82\xA0");
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(WindowsHostTest, MultibyteStringFunctionsSkipTrailBytes) {
  // 0x835C is KATAKANA LETTER SO: its trail byte is '\\' and must not be
  // found as one; 0x8261 is FULLWIDTH LATIN CAPITAL LETTER A.
  const unsigned char so[] = "\x83\x5C";
  EXPECT_EQ(_mbschr(so, '\\'), nullptr);
  const unsigned char upper[] = "\x82\x60", lower[] = "\x82\x81";
  EXPECT_EQ(_mbsicmp(upper, lower), 0);
  EXPECT_EQ(_mbctolower(0x8260), 0x8281u);
}

}  // namespace
