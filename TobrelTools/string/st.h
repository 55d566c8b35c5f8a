// StringTokenizer: splits one narrow line into tokens at delimiter bytes.
//
// The split happens once, at construction, in a private copy of the line:
// every delimiter byte is replaced by a NUL, and a token is a maximal run of
// non-NUL bytes, so there are never empty tokens. The trail byte of a
// double-byte character (code page 932 on Linux, the system's ANSI code page
// on Windows) is never taken for a delimiter. With the double-quote rule on,
// and the double quote among the delimiters, text between a pair of quotes is
// one token even when it holds delimiters, and the quotes are dropped.
//
// The class stands apart from the rest of the library: it uses neither
// tstring nor the library's allocator. A tokenizer is used by one thread at a
// time.
#ifndef TOBRELTOOLS_STRING_ST_H_
#define TOBRELTOOLS_STRING_ST_H_

#include "TobrelTools/export.h"

class TOBREL_API StringTokenizer {
 public:
  // Default delimiters (carriage return, line feed, double quote); a null
  // line gives a tokenizer without tokens.
  StringTokenizer(const char* line, bool dquoteIsMessage);
  // The given delimiters instead of the defaults; a null delim gives no
  // delimiters at all, so a non-empty line is one token.
  StringTokenizer(const char* line, const char* delim, bool dquoteIsMessage);
  // Copy construction is provided (it is not forbidden): it makes the same
  // independent deep copy as operator=, split state and position included, so
  // that a tokenizer can be passed and stored by value without two objects
  // releasing the same buffers.
  StringTokenizer(const StringTokenizer& other);
  ~StringTokenizer();

  // Makes this tokenizer an independent copy of other: its delimiters, its
  // line in its split state, its position and its rule. Self-assignment is a
  // no-op.
  StringTokenizer& operator=(const StringTokenizer& other);

  // The next token, zero-terminated inside the tokenizer's own line copy and
  // valid until the tokenizer is destroyed, assigned to or given a new line;
  // null when there is none (and from then on).
  const char* nextToken();
  // Whether a token follows the one returned last (before the first
  // nextToken: whether the line has any token).
  bool hasMoreTokens();
  // The number of tokens of the whole line, wherever the walk stands.
  int tokenNum();
  // The rule applies at the split, which the constructors do: changing it
  // afterwards does not change the tokens.
  void setDquoteIsMessage(bool on);
  bool isDquoteIsMessage();

 protected:
  // No line, default delimiters, before the first token, rule on; no split.
  StringTokenizer();
  // Replaces the line by a copy (null: no line); does not split, keeps pos.
  void setLine(const char* line);
  // Replaces the delimiters by a copy (null: no delimiters).
  void setDelim(const char* delim);
  // Splits the line in place; nothing without a line or without delimiters.
  void doInit();
  // The number of tokens that start after offset from (a negative from counts
  // them all; an offset inside a token skips the rest of that token).
  int hasMoreTokenNum(int from);
  // Resets the members as the protected constructor sets them, without
  // releasing what they held.
  void initial();

 private:
  void copyFrom(const StringTokenizer& other);

  char* delim;
  char* line;
  int pos;
  int lineLen;
  bool dquoteIsMessage;
};

#endif  // TOBRELTOOLS_STRING_ST_H_
