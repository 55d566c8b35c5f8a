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

// The tokens of a line (none from empty, null or delimiter-only lines):
// the default delimiters (line breaks, not blanks),
// the double-quote rule on and off, trail bytes that are never delimiters,
// no delimiters at all.
TEST(StringTokenizerTest, Splitting) {
  struct Case {
    const char* line;
    const char* delims;  // nullptr: the constructor without delimiters
    bool quoteRule;
    Tokens tokens;
  };
  const Case cases[] = {
      {"", nullptr, true, {}},
      {"\r\n\r\n\"\"", nullptr, true, {}},
      {nullptr, nullptr, true, {}},
      {"one two\r\nthree\tfour\r\n", nullptr, true, {"one two", "three\tfour"}},
      {"abc \"d e\" f", " \"", true, {"abc", "d e", "f"}},
      {"abc \"d e\" f", " \"", false, {"abc", "d", "e", "f"}},
      {"ab\"c d\"e", " \"", true, {"ab", "c d", "e"}},
      {"a \"b c d", " \"", true, {"a", "b c d"}},  // an unmatched quote runs to the end
      {"a \"\" b", " \"", true, {"a", "b"}},
      {"\"a b\"", " ", true, {"\"a", "b\""}},      // the quote is no delimiter here: no rule
      // 95 5C and 83 7C are double-byte characters whose trail bytes are
      // the backslash and the bar.
      {"a\x95\x5C" "b\\c|\x83\x7C", "\\|", true, {"a\x95\x5C" "b", "c", "\x83\x7C"}},
      {"x y\x81", " ", true, {"x", "y\x81"}},      // a lead byte at the end stays in its token
      {"\xB1|\xB2", "|", true, {"\xB1", "\xB2"}},  // half-width katakana are single bytes
      {"abc", ",", true, {"abc"}},
      {"a b c", "", true, {"a b c"}},
  };
  for (const Case& c : cases) {
    StringTokenizer st = c.delims ? StringTokenizer(c.line, c.delims, c.quoteRule) : StringTokenizer(c.line, true);
    SCOPED_TRACE(c.line ? c.line : "(null)");
    EXPECT_EQ(st.tokenNum(), static_cast<int>(c.tokens.size()));
    EXPECT_EQ(st.hasMoreTokens(), !c.tokens.empty());
    EXPECT_EQ(tokensOf(st), c.tokens);
    EXPECT_EQ(st.nextToken(), nullptr);
  }
  StringTokenizer none("a b c", nullptr, true);
  EXPECT_EQ(tokensOf(none), (Tokens{"a b c"}));
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
