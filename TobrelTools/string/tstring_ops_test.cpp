// tstring operations: comparison, searches, case, the exact hash values,
// formatting (also past the usual buffer), string resources and pieces.
#include "TobrelTools/string/tstring.h"

#include <gtest/gtest.h>
#include "tests/wine_util.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <stdexcept>
#include <string>

#include "TobrelTools/string/testdata/ops_ids.h"

#if defined(_WIN32)
#include <ctype.h>
#include <mbstring.h>
#endif

namespace {

using std::tstring;
const unsigned int kNpos = 0xFFFFFFFFu;

tstring withNul(const char* s, std::size_t n) { return tstring(tstring::base_type(s, n)); }

TEST(TstringCompareTest, BytesCompareUnsignedAndNulsCount) {
  const tstring abc("abc"), nul = withNul("a\0b", 3);
  EXPECT_TRUE(abc == "abc" && !(abc != "abc") && abc < tstring("abd") && abc > "ab");
  EXPECT_TRUE(tstring("\x80") > tstring("a") && tstring("\x80") > "a");
  EXPECT_TRUE(nul != tstring("a") && nul > tstring("a") && !(nul == "a"));
  tstring mutableText("abc"), other("abd");
  EXPECT_TRUE(mutableText != other && !(mutableText != mutableText));  // the non-const overload
}

// The narrow forms are checked against _mbsicmp below; here the null and
// wide forms (the wide text is converted first: Σ is σ's capital).
TEST(TstringCompareTest, CompareNoCaseNullAndWide) {
  const tstring abc("abc");
  EXPECT_EQ(abc.compareNoCase(static_cast<const char*>(nullptr)), -1);
  EXPECT_EQ(abc.compareNoCase(static_cast<const unsigned short*>(nullptr)), -1);
  const unsigned short wide[] = {'A', 'B', 'C', 0}, sigma[] = {0x03A3, 0};
  EXPECT_EQ(abc.compareNoCase(wide), 0);
  EXPECT_EQ(tstring("\x83\xD0").compareNoCase(sigma), 0);
}

TEST(TstringCompareTest, CompareNoCaseOnLongTextsMatchesTheCharacterComparison) {
  // Long shared prefixes (skipped eight bytes at a time) and long runs that
  // differ only in case (passed over a run at a time) that end anywhere:
  // inside a double-byte character, in runs of lead-range bytes, at a NUL.
  static const char* const pieces[] = {"Abc", "aBC", "x", " ", "\x88\x9F", "\x9F\x88", "\x82\x60", "\x82\x81",
                                       "\x83\x9F", "\x83\xBF", "\xB1", "\x81", "\xE0\x40", "Z", "\x84\x40"};
  const std::size_t kinds = sizeof pieces / sizeof pieces[0];
  auto sign = [](int v) { return (v > 0) - (v < 0); };
  std::mt19937 rng(4711);
  for (int round = 0; round < 8000; ++round) {
    std::string a;
    for (std::size_t len = rng() % (round % 4 ? 120 : 1500); a.size() < len;) a += pieces[rng() % kinds];
    std::string b = a;
    switch (rng() % 5) {
      case 0: if (!b.empty()) b[rng() % b.size()] = static_cast<char>(rng() % 256); break;
      case 1: b.resize(b.empty() ? 0 : rng() % b.size()); break;
      case 2: b += pieces[rng() % kinds]; break;
      case 3: for (char& c : b) if (std::isalpha(static_cast<unsigned char>(c)) && rng() % 2) c ^= 0x20; break;
      default: if (!b.empty()) b.insert(rng() % b.size(), pieces[rng() % kinds]); break;
    }
    if (rng() % 40 == 0 && !a.empty()) a[rng() % a.size()] = '\0';
    if (rng() % 40 == 0 && !b.empty()) b[rng() % b.size()] = '\0';
    if (rng() % 20 == 0 && a.size() > 2 && b.size() > a.size()) {  // the same NUL, different texts after it
      const std::size_t at = rng() % (a.size() - 1);
      a[at] = b[at] = '\0';
      b[a.size() - 1] = 'Q';
    }
    tstring ta(tstring::base_type(a.data(), a.size())), tb(tstring::base_type(b.data(), b.size()));
    const int expected = sign(_mbsicmp(reinterpret_cast<const unsigned char*>(ta.c_str()),
                                       reinterpret_cast<const unsigned char*>(tb.c_str())));
    ASSERT_EQ(sign(ta.compareNoCase(tb)), expected) << testing::PrintToString(a) << " / " << testing::PrintToString(b);
    ASSERT_EQ(sign(ta.compareNoCase(tb.c_str())), expected) << testing::PrintToString(a) << " / " << testing::PrintToString(b);
  }
}

TEST(TstringSearchTest, DoubleByteAwareFind) {
  EXPECT_EQ(tstring()._tfind(tstring("a")), kNpos);
  EXPECT_EQ(tstring("abc")._tfind(tstring()), kNpos);
  EXPECT_EQ(tstring("abcbc")._tfind(tstring("bc")), 1u);
  // Known to differ under Wine, whose _mbsstr also matches at a trail byte.
  if (!tobrel::test::runningUnderWine()) {
    EXPECT_EQ(tstring("\x82\x41")._tfind(tstring("A")), kNpos);   // only a trail byte
  }
  EXPECT_EQ(tstring("\x82\x41")._tfind('A'), kNpos);
  EXPECT_EQ(tstring("\x82\x41" "A")._tfind('A'), 2u);
  EXPECT_EQ(tstring("a\xB1")._tfind(static_cast<char>(0xB1)), kNpos);  // signed byte: nothing
  EXPECT_EQ(tstring("a\xB1")._trfind(static_cast<char>(0xB1)), kNpos);
  EXPECT_EQ(tstring("a\xB1")._tfind(tstring("\xB1")), 1u);
  EXPECT_EQ(tstring("abcabc")._trfind('b'), 4u);
  EXPECT_EQ(tstring("abc")._trfind('x'), kNpos);
  EXPECT_EQ(tstring()._tfind('a'), kNpos);
  EXPECT_EQ(withNul("ab\0cd", 5)._tfind(tstring("cd")), kNpos);  // the walk ends at the NUL
}

// ifind by its definition: find of the lowered needle in the lowered text.
unsigned int ifindByDefinition(const tstring& text, const tstring& needle) {
  tstring t(text), n(needle);
  t.toLower();
  n.toLower();
  std::size_t pos = static_cast<const tstring::base_type&>(t).find(n.data(), 0, n.size());
  return pos == tstring::base_type::npos ? kNpos : static_cast<unsigned int>(pos);
}

// Short texts over the bytes that make the cases (lead bytes, letter trail
// bytes, both halves of every family of case pairs, NUL, katakana) and
// texts long enough for the vector scan, whose needles are often taken from
// the text (case changed, often right at its end) or end at a NUL.
TEST(TstringSearchTest, CaseInsensitiveFindMatchesItsDefinition) {
  static const char* const pieces[] = {"Needle", "nEEDLE", "needl", "x", " ", "N", "n", "\x82\x6D", "\x82\x8E",
                                       "\x83\x4E", "\x8C\x6E", "\xB1", "\x82", "\x84\x4E", "abc", "ABC", "e", "E",
                                       "\x82\x60", "\x81", "\x83\x9F", "\xBF", "\x84\x70", "\x87\x54", "\xFA\x4A",
                                       "@", "`", "{", "[", "p", "P"};
  std::mt19937 rng(3212);
  auto piece = [&] { return pieces[rng() % (sizeof pieces / sizeof pieces[0])]; };
  for (int round = 0; round < 30000; ++round) {
    const bool isLong = round % 4 == 0;
    std::string s, n;
    for (std::size_t len = rng() % (isLong ? 200 : 20); s.size() < len;) s += piece();
    if (isLong && !s.empty() && rng() % 2) {
      n = rng() % 2 ? s.substr(rng() % s.size(), 1 + rng() % 20)
                    : s.substr(s.size() - std::min<std::size_t>(s.size(), 1 + rng() % 20));
      for (char& c : n) {
        if (rng() % 3 == 0 && std::isalpha(static_cast<unsigned char>(c))) c = static_cast<char>(c ^ 0x20);
      }
    } else {
      for (std::size_t len = rng() % 5; n.size() < len;) n += piece();
    }
    if (rng() % 40 == 0 && !s.empty()) s[rng() % s.size()] = '\0';
    if (rng() % 30 == 0 && !n.empty()) n[rng() % n.size()] = '\0';  // the needle ends there
    tstring text(tstring::base_type(s.data(), s.size())), needle(tstring::base_type(n.data(), n.size()));
    ASSERT_EQ(text.ifind(needle), ifindByDefinition(text, needle))
        << testing::PrintToString(s) << " / " << testing::PrintToString(n);
  }
}

TEST(TstringSearchTest, ReverseSearchOverloads) {
  tstring t("abcabc");
  EXPECT_EQ(t.rfind(tstring("bc"), 10u), 4u);
  EXPECT_EQ(t.rfind(tstring("bc"), 3u), 1u);
  EXPECT_EQ(t.rfind(tstring("zz")), kNpos);
  EXPECT_EQ(t.rfind('a', 2u), 0u);
  EXPECT_EQ(t.find_last_of("xc", 4u), 2u);
  EXPECT_EQ(t.find_last_of("cb", kNpos, 1u), 5u);
  EXPECT_EQ(t.find_last_of('b'), 4u);
  EXPECT_EQ(t.find_last_of(tstring::base_type("ab"), 2u), 1u);
  EXPECT_EQ(t.find_last_of("xyz"), kNpos);
}

TEST(TstringCaseTest, CutsAtNul) {
  tstring nul = withNul("ab\0cd", 5);
  EXPECT_EQ(&nul.toUpper(), &nul);
  EXPECT_EQ(nul.size(), 2u);
  EXPECT_EQ(nul, "AB");
}

// The conversion by its definition: a zeroed work area filled character by
// character with the runtime's lead-byte test and case mapping, copied back
// up to its first zero byte.
std::string convertByDefinition(const std::string& text, bool upper) {
  std::string in(text.c_str());
  std::string work(in.size() + 1, '\0');
  bool pending = false;
  unsigned char lead = 0;
  for (std::size_t i = 0; i < in.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(in[i]);
    if (pending) {
      pending = false;
      unsigned int code = static_cast<unsigned int>(lead) << 8 | b;
      unsigned int mapped = upper ? _mbctoupper(code) : _mbctolower(code);
      work[i - 1] = static_cast<char>(mapped >> 8);
      work[i] = static_cast<char>(mapped & 0xFF);
    } else if (isleadbyte(b)) {
      pending = true;
      lead = b;
    } else {
      unsigned int c = static_cast<unsigned int>(static_cast<int>(static_cast<signed char>(b)));
      work[i] = static_cast<char>((upper ? _mbctoupper(c) : _mbctolower(c)) & 0xFF);
    }
  }
  return std::string(work.c_str());
}

TEST(TstringCaseTest, ConversionMatchesItsDefinitionOnLongMixedTexts) {
  // Long enough for the block-wise path, with runs of lead-range bytes of
  // every parity, letters as trail bytes, case pairs split across blocks.
  static const unsigned char alphabet[] = {0x82, 0x60, 0x81, 0x83, 0x9F, 0xBF, 0x84, 0x40, 0x70, 0x87,
                                           0x54, 0xFA, 0x4A, 0xEE, 0xEF, 'a', 'A', 'z', 'Z', '@',
                                           '[', '`', '{', 0xB1, ' ', 0xE0, 0xFC, 0x93};
  std::mt19937 rng(932);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    for (std::size_t len = rng() % 300; text.size() < len;) text += static_cast<char>(alphabet[rng() % sizeof alphabet]);
    for (bool upper : {true, false}) {
      tstring t(text.c_str());
      upper ? t.toUpper() : t.toLower();
      ASSERT_EQ(std::string(t.data(), t.size()), convertByDefinition(text, upper))
          << (upper ? "upper " : "lower ") << testing::PrintToString(text);
    }
  }
}

TEST(TstringHashTest, ExactValues) {
  EXPECT_EQ(tstring().hash(), 0u);
  EXPECT_EQ(tstring("a").hash(), 0x41u);
  EXPECT_EQ(tstring("ab").hash(), 0x6122u);
  EXPECT_EQ(tstring("abc").hash(), 0x616203u);
  EXPECT_EQ(tstring("abcd").hash(), 0x646362E1u);
  EXPECT_EQ(tstring("abcde").hash(), 0x8C6C5849u);
  EXPECT_EQ(tstring("\x80").hash(), 0xFFFFFFA0u);
  EXPECT_NE(withNul("a\0", 2).hash(), tstring("a").hash());  // NUL bytes count
}

TEST(TstringFormatTest, FormatsArgumentsBeforeReplacingTheText) {
  tstring t("old");
  EXPECT_EQ(&t.format("%d-%s", 7, "x"), &t);
  EXPECT_EQ(t, "7-x");
  t.format("%s!", t.c_str());
  EXPECT_EQ(t, "7-x!");
  t.format("%s", "");
  EXPECT_TRUE(t.empty());
  t = "keep";
  t.format(nullptr);
  EXPECT_TRUE(t.empty());
}

TEST(TstringFormatTest, LongOutputIsCompleteNotCut) {
  std::string big(5000, 'q');
  tstring t;
  t.format("<%s>", big.c_str());
  EXPECT_EQ(t.size(), 5002u);
  EXPECT_EQ(std::string(t.c_str()), "<" + big + ">");
  std::string edge(4095, 'e');  // exactly fills the usual buffer with its NUL
  t.format("%s", edge.c_str());
  EXPECT_EQ(t.size(), 4095u);
  t.format("%s!", edge.c_str());
  EXPECT_EQ(t.size(), 4096u);
  t.format("%s", t.c_str());  // long self-reference
  EXPECT_EQ(t.size(), 4096u);
}

TEST(TstringResourceTest, LoadsCutsAndReportsMissingStrings) {
  HMODULE exe = GetModuleHandleA(nullptr);
  tstring t("before");
  EXPECT_FALSE(t.loadString(IDS_OPS_GREETING, nullptr));
  EXPECT_EQ(t, "before");
  EXPECT_FALSE(t.loadString(999, exe));
  EXPECT_TRUE(t.empty());
  EXPECT_TRUE(t.loadString(IDS_OPS_GREETING, exe));
  EXPECT_EQ(t, "\x82\xB1\x82\xF1\x82\xC9\x82\xBF\x82\xCD");
  EXPECT_TRUE(t.loadString(IDS_OPS_LONG, exe));
  EXPECT_EQ(t.size(), 1023u);
  EXPECT_EQ(tstring(IDS_OPS_GREETING, exe).size(), 10u);
  EXPECT_TRUE(tstring(999u, exe).empty());
  EXPECT_TRUE(tstring(IDS_OPS_GREETING, static_cast<HINSTANCE>(nullptr)).empty());
}

TEST(TstringPiecesTest, SubstrAndElementAccess) {
  tstring t("abcd");
  EXPECT_EQ(t.substr(1, 2), "bc");
  EXPECT_EQ(t.substr(4, 2), "");
  EXPECT_THROW(t.substr(5, 1), std::out_of_range);
  const tstring c("abcd");
  EXPECT_EQ(c.substr(2), "cd");
  EXPECT_EQ(withNul("ab\0cd", 5).substr(1), "b");  // up to the first NUL
  EXPECT_THROW(withNul("ab\0cd", 5).substr(3), std::out_of_range);
  EXPECT_EQ(t[t.size()], '\0');
  t[0] = 'x';
  EXPECT_EQ(std::string({t[0], t[3u], c[1], c[2u]}), "xdbc");
}

}  // namespace
