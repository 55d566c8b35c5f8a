// Tokenizer: splitting, the double-quote rule, double-byte trail bytes,
// counting and walking, copies.
#include "TobrelTools/string/st.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> tokensOf(StringTokenizer& st) {
  std::vector<std::string> out;
  while (const char* t = st.nextToken()) out.push_back(t);
  return out;
}

using Tokens = std::vector<std::string>;

// Reaches the protected interface.
class OpenTokenizer : public StringTokenizer {
 public:
  using StringTokenizer::StringTokenizer;
  OpenTokenizer() = default;
  using StringTokenizer::doInit;
  using StringTokenizer::hasMoreTokenNum;
  using StringTokenizer::setDelim;
  using StringTokenizer::setLine;
};

TEST(StringTokenizerTest, NoTokensFromEmptyNullOrDelimiterOnlyLines) {
  for (const char* line : {"", "\r\n\r\n\"\"", static_cast<const char*>(nullptr)}) {
    StringTokenizer st(line, true);
    EXPECT_EQ(st.tokenNum(), 0);
    EXPECT_FALSE(st.hasMoreTokens());
    EXPECT_EQ(st.nextToken(), nullptr);
    EXPECT_EQ(st.nextToken(), nullptr);
  }
}

TEST(StringTokenizerTest, DefaultDelimitersSplitLinesButNotSpaces) {
  StringTokenizer st("one two\r\nthree\tfour\r\n", true);
  EXPECT_EQ(st.tokenNum(), 2);
  EXPECT_EQ(tokensOf(st), (Tokens{"one two", "three\tfour"}));
}

TEST(StringTokenizerTest, QuoteRuleKeepsQuotedTextTogether) {
  StringTokenizer on("abc \"d e\" f", " \"", true);
  EXPECT_EQ(tokensOf(on), (Tokens{"abc", "d e", "f"}));
  StringTokenizer off("abc \"d e\" f", " \"", false);
  EXPECT_EQ(tokensOf(off), (Tokens{"abc", "d", "e", "f"}));
  StringTokenizer glued("ab\"c d\"e", " \"", true);
  EXPECT_EQ(tokensOf(glued), (Tokens{"ab", "c d", "e"}));
}

TEST(StringTokenizerTest, QuoteEdgeCases) {
  StringTokenizer unmatched("a \"b c d", " \"", true);
  EXPECT_EQ(tokensOf(unmatched), (Tokens{"a", "b c d"}));
  StringTokenizer empty("a \"\" b", " \"", true);
  EXPECT_EQ(empty.tokenNum(), 2);
  EXPECT_EQ(tokensOf(empty), (Tokens{"a", "b"}));
  // The quote is not a delimiter here, so the rule does not apply to it.
  StringTokenizer ordinary("\"a b\"", " ", true);
  EXPECT_EQ(tokensOf(ordinary), (Tokens{"\"a", "b\""}));
}

TEST(StringTokenizerTest, TrailBytesAreNeverDelimiters) {
  // 0x95 0x5C and 0x83 0x7C are double-byte characters whose trail bytes are
  // the backslash and the bar.
  StringTokenizer st("a\x95\x5C" "b\\c|\x83\x7C", "\\|", true);
  EXPECT_EQ(tokensOf(st), (Tokens{"a\x95\x5C" "b", "c", "\x83\x7C"}));
  // A lead byte as the last byte of the line stays in its token.
  StringTokenizer trailing("x y\x81", " ", true);
  EXPECT_EQ(tokensOf(trailing), (Tokens{"x", "y\x81"}));
  // Half-width katakana (0xA1-0xDF) are single bytes: the next byte is looked at.
  StringTokenizer kana("\xB1|\xB2", "|", true);
  EXPECT_EQ(tokensOf(kana), (Tokens{"\xB1", "\xB2"}));
}

TEST(StringTokenizerTest, LineWithoutDelimitersIsOneToken) {
  StringTokenizer none("a b c", nullptr, true);
  EXPECT_EQ(tokensOf(none), (Tokens{"a b c"}));
  StringTokenizer emptyDelims("a b c", "", true);
  EXPECT_EQ(tokensOf(emptyDelims), (Tokens{"a b c"}));
  StringTokenizer absent("abc", ",", true);
  EXPECT_EQ(tokensOf(absent), (Tokens{"abc"}));
}

TEST(StringTokenizerTest, CountsAndLookaheadFollowTheWalk) {
  StringTokenizer st(",a,,bb,c,", ",", true);
  EXPECT_TRUE(st.hasMoreTokens());
  EXPECT_EQ(st.tokenNum(), 3);
  EXPECT_STREQ(st.nextToken(), "a");
  EXPECT_TRUE(st.hasMoreTokens());
  EXPECT_STREQ(st.nextToken(), "bb");
  EXPECT_EQ(st.tokenNum(), 3);
  EXPECT_STREQ(st.nextToken(), "c");
  EXPECT_FALSE(st.hasMoreTokens());
  EXPECT_EQ(st.nextToken(), nullptr);
  EXPECT_EQ(st.tokenNum(), 3);
}

TEST(StringTokenizerTest, RuleChangeAfterSplitChangesNothing) {
  StringTokenizer st("\"a b\"", " \"", true);
  st.setDquoteIsMessage(false);
  EXPECT_FALSE(st.isDquoteIsMessage());
  EXPECT_EQ(tokensOf(st), (Tokens{"a b"}));
}

TEST(StringTokenizerTest, CopiesAreIndependentAndKeepThePosition) {
  auto* source = new StringTokenizer("a,b,c", ",", true);
  EXPECT_STREQ(source->nextToken(), "a");
  StringTokenizer assigned("x", true);
  assigned = *source;
  StringTokenizer constructed(*source);
  EXPECT_STREQ(source->nextToken(), "b");
  delete source;  // the copies own their own buffers
  EXPECT_EQ(tokensOf(assigned), (Tokens{"b", "c"}));
  EXPECT_EQ(tokensOf(constructed), (Tokens{"b", "c"}));
  StringTokenizer& self = assigned;
  assigned = self;
  EXPECT_EQ(assigned.tokenNum(), 3);
}

TEST(StringTokenizerTest, ProtectedInterface) {
  OpenTokenizer st;
  EXPECT_EQ(st.tokenNum(), 0);
  EXPECT_EQ(st.nextToken(), nullptr);
  st.setLine("k=v;w");
  st.setDelim("=;");
  st.doInit();
  EXPECT_EQ(st.hasMoreTokenNum(-5), 3);
  EXPECT_EQ(st.hasMoreTokenNum(0), 2);  // after the token at 0
  EXPECT_EQ(st.hasMoreTokenNum(2), 1);
  EXPECT_EQ(st.hasMoreTokenNum(3), 1);  // inside a token: skips its rest
  EXPECT_EQ(st.hasMoreTokenNum(5), 0);
  st.setLine(nullptr);
  EXPECT_EQ(st.tokenNum(), 0);
  EXPECT_FALSE(st.hasMoreTokens());
}

}  // namespace
