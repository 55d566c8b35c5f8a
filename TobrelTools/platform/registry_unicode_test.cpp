// Names and string data beyond ASCII, as Windows keeps them: its ANSI calls
// convert code page 932 to UTF-16 on the way in and back on the way out,
// names compare without regard to case over all of Unicode, and subkeys
// enumerate by their upper-cased UTF-16 names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/registry_test_util.h"
#include "tests/wine_util.h"

namespace {

using tobrel::test::RegistryFixture;

class RegistryUnicodeTest : public RegistryFixture {
 protected:
  // Sets `count` bytes of `data` (the caller's memory goes on after them).
  LONG set(HKEY key, const std::string& name, DWORD type, const std::string& data, DWORD count) {
    return RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data.data()), count);
  }
  std::string query(HKEY key, const std::string& name) {
    char buf[256];
    DWORD size = sizeof buf;
    LONG err = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
    return err == ERROR_SUCCESS ? std::string(buf, size) : "<" + std::to_string(err) + ">";
  }
};

TEST_F(RegistryUnicodeTest, CaseDoesNotMatterBeyondAscii) {
  // Full-width Ａ/ａ, Greek Ω/ω and Α/α, Cyrillic Ж/ж, Roman numerals Ⅰ/ⅰ.
  RegCloseKey(create("\x82\x60"));
  DWORD disposition = 0;
  RegCloseKey(create("\x82\x81", nullptr, &disposition));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  HKEY omega = create("\x83\xB6");
  HKEY same = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, "\x83\xD6", 0, KEY_ALL_ACCESS, &same), ERROR_SUCCESS);
  setString(omega, "\x83\x9F", "upper");
  setString(same, "\x83\xBF", "lower");
  setString(omega, "\x84\x47", "Zhe");
  EXPECT_EQ(query(omega, "\x84\x77"), std::string("Zhe", 4));
  EXPECT_EQ(valueNames(omega), (std::vector<std::string>{"\x83\x9F", "\x84\x47"}));
  EXPECT_EQ(query(omega, "\x83\x9F"), std::string("lower", 6));
  EXPECT_EQ(RegDeleteValueA(same, "\x83\x9F"), ERROR_SUCCESS);
  EXPECT_EQ(valueNames(omega), std::vector<std::string>{"\x84\x47"});
  RegCloseKey(same);
  RegCloseKey(omega);
  RegCloseKey(create("\x87\x54"));   // Ⅰ
  RegCloseKey(create("\xFA\x40", nullptr, &disposition));   // ⅰ
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(subkeys(base_), (std::vector<std::string>{"\x83\xB6", "\x87\x54", "\x82\x60"}));   // U+03A9 U+2160 U+FF21
}

TEST_F(RegistryUnicodeTest, SubkeysEnumerateByUpperCasedUtf16) {
  if (tobrel::test::runningUnderWine()) {
    GTEST_SKIP() << "Wine enumerates subkeys by their lower-cased names ('_' before the letters)";
  }
  // alpha, Zeta, _x, 一 (88EA), 亜 (889F), 漾 (E040), ｱ (B1), created in
  // another order: Windows gives ALPHA < ZETA < _X < U+4E00 < U+4E9C <
  // U+6F3E < U+FF71, where code page 932 byte order would differ.
  for (const char* n : {"\xB1", "\xE0\x40", "_x", "\x88\x9F", "Zeta", "\x88\xEA", "alpha"}) RegCloseKey(create(n));
  EXPECT_EQ(subkeys(base_),
            (std::vector<std::string>{"alpha", "Zeta", "_x", "\x88\xEA", "\x88\x9F", "\xE0\x40", "\xB1"}));
}

TEST_F(RegistryUnicodeTest, NamesComeBackAsTheConversionMakesThem) {
  // NEC ≒ (87 90) is the character of 81 E0, NEC-selected 纊 (ED 40) that of
  // FA 5C: the registry keeps the character and gives back the table's code.
  RegCloseKey(create("\x87\x90"));
  RegCloseKey(create("\xED\x40"));
  DWORD disposition = 0;
  RegCloseKey(create("\x81\xE0", nullptr, &disposition));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(subkeys(base_), (std::vector<std::string>{"\x81\xE0", "\xFA\x5C"}));
  setString(base_, "\xEE\xEF", "roman");   // NEC-selected ⅰ, which is FA 40
  EXPECT_EQ(valueNames(base_), std::vector<std::string>{"\xFA\x40"});
  EXPECT_EQ(query(base_, "\x87\x54"), std::string("roman", 6));   // and Ⅰ its upper case
}

TEST_F(RegistryUnicodeTest, StringDataComesBackAsTheConversionMakesIt) {
  // Codes the table lists twice, and pairs it gives no character (U+30FB).
  std::string data("\x87\x90|\x85\x40|x\xEF\x40y\0", 11);
  ASSERT_EQ(set(base_, "s", REG_SZ, data, 11), ERROR_SUCCESS);
  EXPECT_EQ(query(base_, "s"), std::string("\x81\xE0|\x81\x45|x\x81\x45y\0", 11));
  // Each text of a REG_MULTI_SZ, and REG_EXPAND_SZ alike; binary data of
  // other types is kept as it is.
  std::string multi("\xED\x40\0\x87\x90\0\0", 7);
  ASSERT_EQ(set(base_, "m", REG_MULTI_SZ, multi, 7), ERROR_SUCCESS);
  EXPECT_EQ(query(base_, "m"), std::string("\xFA\x5C\0\x81\xE0\0\0", 7));
  ASSERT_EQ(set(base_, "e", REG_EXPAND_SZ, data, 11), ERROR_SUCCESS);
  EXPECT_EQ(query(base_, "e"), query(base_, "s"));
  ASSERT_EQ(set(base_, "b", REG_BINARY, data, 11), ERROR_SUCCESS);
  EXPECT_EQ(query(base_, "b"), data);
  // The size before the data is read is that of the converted text.
  DWORD size = 0;
  ASSERT_EQ(RegQueryValueExA(base_, "m", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 7u);
}

TEST_F(RegistryUnicodeTest, ALeadByteBeforeANulStandsAlone) {
  if (tobrel::test::runningUnderWine()) {
    GTEST_SKIP() << "Wine pairs a lead byte with whatever byte follows it, a NUL included";
  }
  // The library's code page 932 conversion: a lead byte that no trail byte
  // follows is U+30FB by itself, and the NUL after it stays.
  ASSERT_EQ(set(base_, "lone", REG_SZ, std::string("a\x82\0", 3), 3), ERROR_SUCCESS);
  EXPECT_EQ(query(base_, "lone"), std::string("a\x81\x45\0", 4));
}

TEST_F(RegistryUnicodeTest, TextsWithoutTheirNulAsWindowsTreatsThem) {
  // Set without its NUL: stored as given...
  std::string text("abc\0", 4);
  ASSERT_EQ(set(base_, "bare", REG_SZ, "abcX", 3), ERROR_SUCCESS);
  ASSERT_EQ(set(base_, "binary", REG_BINARY, text, 3), ERROR_SUCCESS);
  EXPECT_EQ(query(base_, "binary"), "abc");
  // ...and read back with a NUL after it where the buffer has room, not
  // counted in the size.
  char buf[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
  DWORD size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(base_, "bare", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(buf, 5), std::string("abc\0-", 5));
  EXPECT_EQ(size, 3u);
  char name[8];
  DWORD nameSize = sizeof name;
  size = 3;
  buf[3] = '-';
  ASSERT_EQ(RegEnumValueA(base_, 1, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(buf, 4), "abc-");   // no room: nothing after it
}

}  // namespace
