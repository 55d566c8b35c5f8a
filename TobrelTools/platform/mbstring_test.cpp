// Multibyte string functions of code page 932: searches that respect
// character boundaries, case-insensitive comparison, and the exact set of
// double-byte case pairs.
#include "TobrelTools/platform/platform.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

const unsigned char* u(const char* s) { return reinterpret_cast<const unsigned char*>(s); }

long offsetOf(const unsigned char* hit, const char* base) {
  return hit ? static_cast<long>(hit - u(base)) : -1;
}

// The character starts of a text, by a plain walk from its first byte.
std::vector<bool> characterStarts(const std::string& s) {
  std::vector<bool> starts(s.size() + 1, false);
  for (std::size_t i = 0; i < s.size();) {
    starts[i] = true;
    bool lead = isleadbyte(static_cast<unsigned char>(s[i])) != 0;
    if (lead && i + 1 == s.size()) {
      starts[i] = false;  // a lead byte before the NUL ends the text
      break;
    }
    i += lead ? 2 : 1;
  }
  return starts;
}

// Texts made of the bytes that matter: lead bytes, trail bytes that are
// also ASCII, half-width katakana.
std::string randomText(std::mt19937& rng, std::size_t maxLen) {
  static const char alphabet[] = "\x81\x82\x83\x9F\xE0\xFC" "Aa\\|@\xB1\x40\x5C";
  std::size_t len = rng() % (maxLen + 1);
  std::string s;
  for (std::size_t i = 0; i < len; ++i) s += alphabet[rng() % (sizeof alphabet - 1)];
  return s;
}

TEST(MbStringTest, SearchesAgreeWithAPlainCharacterWalk) {
  std::mt19937 rng(932);
  for (int round = 0; round < 20000; ++round) {
    std::string text = randomText(rng, 24), needle = randomText(rng, 3);
    std::vector<bool> starts = characterStarts(text);
    long expected = needle.empty() ? 0 : -1;
    for (std::size_t i = 0; expected < 0 && i + needle.size() <= text.size(); ++i) {
      if (starts[i] && text.compare(i, needle.size(), needle) == 0) expected = static_cast<long>(i);
    }
    ASSERT_EQ(offsetOf(_mbsstr(u(text.c_str()), u(needle.c_str())), text.c_str()), expected)
        << "text " << testing::PrintToString(text) << " needle " << testing::PrintToString(needle);
    if (needle.size() == 1) {
      unsigned c = static_cast<unsigned char>(needle[0]);
      long first = -1, last = -1;
      for (std::size_t i = 0; i < text.size(); ++i) {
        bool lead = isleadbyte(static_cast<unsigned char>(text[i])) != 0;
        if (starts[i] && !lead && static_cast<unsigned char>(text[i]) == c) {
          if (first < 0) first = static_cast<long>(i);
          last = static_cast<long>(i);
        }
      }
      ASSERT_EQ(offsetOf(_mbschr(u(text.c_str()), c), text.c_str()), first) << testing::PrintToString(text);
      ASSERT_EQ(offsetOf(_mbsrchr(u(text.c_str()), c), text.c_str()), last) << testing::PrintToString(text);
    }
  }
}

// Single-byte characters are checked against the walk above; here the
// double-byte ones, the terminator, and a null text.
TEST(MbStringTest, CharacterSearches) {
  const char* text = "\x82\x41xA\x82\x41\xB1";
  EXPECT_EQ(offsetOf(_mbschr(u(text), 0x8241), text), 0);
  EXPECT_EQ(offsetOf(_mbsrchr(u(text), 0x8241), text), 4);
  EXPECT_EQ(offsetOf(_mbschr(u(text), 0), text), 7);
  EXPECT_EQ(offsetOf(_mbsrchr(u(text), 0), text), 7);
  EXPECT_EQ(_mbsstr(nullptr, u("a")), nullptr);
  // A byte of 0x80 or above handed over as a signed char matches nothing.
  EXPECT_EQ(_mbschr(u(text), static_cast<unsigned>(static_cast<int>(static_cast<char>(0xB1)))), nullptr);
  EXPECT_EQ(_mbsrchr(u(text), static_cast<unsigned>(static_cast<int>(static_cast<char>(0xB1)))), nullptr);
  EXPECT_EQ(_mbschr(u("a\x81"), 0x81), nullptr);
}

TEST(MbStringTest, CaseInsensitiveComparisonByCharacter) {
  EXPECT_EQ(_mbsicmp(u("abc"), u("ABC")), 0);
  EXPECT_EQ(_mbsicmp(u("\x82\x81\x83\x9F"), u("\x82\x60\x83\xBF")), 0);  // ａα / Ａα
  EXPECT_LT(_mbsicmp(u("abc"), u("ABD")), 0);
  EXPECT_LT(_mbsicmp(u("ab"), u("abc")), 0);
  EXPECT_GT(_mbsicmp(u("b"), u("A")), 0);
  EXPECT_LT(_mbsicmp(u("_"), u("A")), 0);                 // folded to lower case: '_' < 'a'
  EXPECT_LT(_mbsicmp(u("\xB1"), u("\x81\x40")), 0);        // 0xB1 < 0x8140
  EXPECT_GT(_mbsicmp(u("\x81\x40"), u("\xDF")), 0);
  EXPECT_EQ(_mbsicmp(u("x\x81"), u("x")), 0);             // a lone lead byte ends the text
  EXPECT_NE(_mbsicmp(u("\x82\xA0"), u("\x82\xA1")), 0);
}

TEST(MbStringTest, DoubleByteCasePairsAreExactlyTheFourFamilies) {
  std::set<unsigned> upperFrom, lowerFrom;
  for (unsigned c = 0x8140; c <= 0xFCFC; ++c) {
    if (_mbctoupper(c) != c) upperFrom.insert(c);
    if (_mbctolower(c) != c) lowerFrom.insert(c);
  }
  std::set<unsigned> expectUpper, expectLower;
  for (unsigned i = 0; i < 26; ++i) {  // full-width Latin
    expectUpper.insert(0x8281 + i);
    expectLower.insert(0x8260 + i);
    EXPECT_EQ(_mbctoupper(0x8281 + i), 0x8260 + i);
    EXPECT_EQ(_mbctolower(0x8260 + i), 0x8281 + i);
  }
  for (unsigned i = 0; i < 24; ++i) {  // Greek
    expectUpper.insert(0x83BF + i);
    expectLower.insert(0x839F + i);
    EXPECT_EQ(_mbctoupper(0x83BF + i), 0x839F + i);
  }
  const unsigned cyrLower[] = {0x8470, 0x8476, 0x847E, 0x8480, 0x8491};
  const unsigned cyrUpper[] = {0x8440, 0x8446, 0x844E, 0x844F, 0x8460};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(_mbctoupper(cyrLower[i]), cyrUpper[i]);
    EXPECT_EQ(_mbctolower(cyrUpper[i]), cyrLower[i]);
  }
  for (unsigned c = 0x8440; c <= 0x8460; ++c) expectLower.insert(c);
  for (unsigned c = 0x8470; c <= 0x8491; ++c) if (c != 0x847F) expectUpper.insert(c);
  for (unsigned i = 0; i < 10; ++i) {  // Roman numerals: small in two places, capitals in two
    EXPECT_EQ(_mbctoupper(0xFA40 + i), 0x8754 + i);
    EXPECT_EQ(_mbctoupper(0xEEEF + i), 0x8754 + i);
    EXPECT_EQ(_mbctolower(0x8754 + i), 0xFA40 + i);
    EXPECT_EQ(_mbctolower(0xFA4A + i), 0xFA40 + i);
    expectUpper.insert({0xFA40 + i, 0xEEEF + i});
    expectLower.insert({0x8754 + i, 0xFA4A + i});
  }
  EXPECT_EQ(upperFrom, expectUpper);
  EXPECT_EQ(lowerFrom, expectLower);
}

TEST(MbStringTest, SingleBytesAndOtherValues) {
  EXPECT_EQ(_mbctoupper('a'), static_cast<unsigned>('A'));
  EXPECT_EQ(_mbctolower('Z'), static_cast<unsigned>('z'));
  for (unsigned c = 0x80; c < 0x100; ++c) {
    EXPECT_EQ(_mbctoupper(c), c);
    EXPECT_EQ(_mbctolower(c), c);
  }
  EXPECT_EQ(_mbctoupper(0xFFFFFFE1u), 0xFFFFFFE1u);  // a negative char widened
  EXPECT_EQ(_mbctoupper(0x10000u + 0x8281), 0x10000u + 0x8281);
  for (int c = -128; c < 256; ++c) {
    EXPECT_EQ(isleadbyte(c) != 0, (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) << c;
  }
}

TEST(MbStringTest, WideCaseInsensitiveComparison) {
  const unsigned short abc[] = {'a', 'b', 'c', 0}, ABC[] = {'A', 'B', 'C', 0};
  const unsigned short sigma[] = {0x03C3, 0}, Sigma[] = {0x03A3, 0};
  const unsigned short ab[] = {'a', 'b', 0}, B[] = {'B', 0};
  EXPECT_EQ(_wcsicmp(abc, ABC), 0);
  EXPECT_EQ(_wcsicmp(sigma, Sigma), 0);
  EXPECT_LT(_wcsicmp(ab, abc), 0);
  EXPECT_LT(_wcsicmp(ab, B), 0);
  EXPECT_GT(_wcsicmp(B, abc), 0);
}

}  // namespace
