// Names and string data beyond ASCII, as Windows keeps them: its ANSI calls
// convert code page 932 to UTF-16 on the way in and back on the way out,
// names compare without regard to case over all of Unicode, and subkeys
// enumerate by their upper-cased UTF-16 names. The registry transcript
// (tests/regdiff) compares many more such names and texts with Wine's
// registry.
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

TEST_F(RegistryUnicodeTest, ALeadByteBeforeANulStandsAlone) {
  if (tobrel::test::runningUnderWine()) {
    GTEST_SKIP() << "Wine pairs a lead byte with whatever byte follows it, a NUL included";
  }
  // The library's code page 932 conversion: a lead byte that no trail byte
  // follows is U+30FB by itself, and the NUL after it stays.
  ASSERT_EQ(RegSetValueExA(base_, "lone", 0, REG_SZ, reinterpret_cast<const BYTE*>("a\x82"), 3), ERROR_SUCCESS);
  EXPECT_EQ(query(base_, "lone"), std::string("a\x81\x45\0", 4));
}

TEST_F(RegistryUnicodeTest, TextsWithoutTheirNulAsWindowsTreatsThem) {
  // Set without its NUL: stored as given, and read back with a NUL after it
  // where the buffer has room, not counted in the size.
  ASSERT_EQ(RegSetValueExA(base_, "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcX"), 3), ERROR_SUCCESS);
  char buf[8] = {'-', '-', '-', '-', '-', '-', '-', '-'};
  DWORD size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(base_, "bare", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(buf, 5), std::string("abc\0-", 5));
  EXPECT_EQ(size, 3u);
  char name[8];
  DWORD nameSize = sizeof name;
  size = 3;
  buf[3] = '-';
  ASSERT_EQ(RegEnumValueA(base_, 0, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(buf, 4), "abc-");   // no room: nothing after it
}

}  // namespace
