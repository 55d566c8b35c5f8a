#include "tools/rc/rc_script.h"

#include <cstdint>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>

static const char sccsid[] __attribute__((used)) = "@(#)rc_script.cpp:  Ver01.00  2026.12.05";

namespace tobrel {
namespace rc {
namespace {

const int kMaxIncludeDepth = 32;
const int kMaxMacroDepth = 64;

struct Token {
  enum Kind { End, Ident, Number, String, Punct } kind = End;
  std::string text;          // identifier, punctuator, or string bytes
  long long value = 0;       // number
  std::string file;
  int line = 0;
};

bool isLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool isTrail(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
bool isIdentStart(unsigned char c) { return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isIdentChar(unsigned char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }
int hexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string dirOf(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// One file (or one line of directive text) being cut into tokens.
struct Source {
  std::string path;
  std::string data;
  std::size_t i = 0;
  int line = 1;
  bool lineStart = true;
  std::size_t condDepth = 0;  // conditional nesting when the file was entered

  bool atEnd() const { return i >= data.size(); }
  unsigned char peek(std::size_t ahead = 0) const {
    return i + ahead < data.size() ? static_cast<unsigned char>(data[i + ahead]) : 0;
  }
  [[noreturn]] void fail(const std::string& reason, int at = 0) const {
    throw ScriptError(path, at ? at : line, reason);
  }

  // Skips blanks and comments; stops before a newline when stopAtNewline.
  void skipSpace(bool stopAtNewline) {
    while (!atEnd()) {
      unsigned char c = peek();
      if (c == '\n') {
        if (stopAtNewline) return;
        ++line;
        lineStart = true;
        ++i;
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++i;
      } else if (c == '/' && peek(1) == '/') {
        while (!atEnd() && peek() != '\n') ++i;
      } else if (c == '/' && peek(1) == '*') {
        int start = line;
        i += 2;
        while (!(peek() == '*' && peek(1) == '/')) {
          if (atEnd()) fail("unterminated comment", start);
          if (peek() == '\n') ++line;
          ++i;
        }
        i += 2;
      } else if (c == '\\' && peek(1) == '\n') {  // line continuation
        i += 2;
        ++line;
      } else if (c == '\\' && peek(1) == '\r' && peek(2) == '\n') {
        i += 3;
        ++line;
      } else {
        return;
      }
    }
  }

  std::string lexString(bool wide) {
    int start = line;
    std::string out;
    for (;;) {
      if (atEnd() || peek() == '\n') fail("unterminated string", start);
      unsigned char c = peek();
      if (c == '"') {
        if (peek(1) == '"') {
          out += '"';
          i += 2;
          continue;
        }
        ++i;
        return out;
      }
      if (isLead(c) && isTrail(peek(1))) {  // a double-byte character is one unit
        out += data.substr(i, 2);
        i += 2;
        continue;
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        ++i;
        continue;
      }
      unsigned char e = peek(1);
      i += 2;
      switch (e) {
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'a': out += '\a'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'v': out += '\v'; break;
        case '\\': out += '\\'; break;
        case '"': out += '"'; break;
        case '\'': out += '\''; break;
        case '?': out += '?'; break;
        case '\n': ++line; break;  // continued on the next line
        case '\r':
          if (peek() == '\n') ++i, ++line;
          break;
        case 'x': case 'X': {
          unsigned value = 0;
          int digits = 0;
          int maxDigits = wide ? 4 : 2;
          while (digits < maxDigits && hexDigit(peek()) >= 0) {
            value = value * 16 + static_cast<unsigned>(hexDigit(peek()));
            ++i;
            ++digits;
          }
          if (digits == 0) fail("\\x escape without hexadecimal digits");
          if (value > 0xFF) fail("escape \\x" + std::to_string(value) + " does not fit in one byte");
          out += static_cast<char>(value);
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned value = e - '0';
            for (int d = 1; d < 3 && peek() >= '0' && peek() <= '7'; ++d) value = value * 8 + (peek() - '0'), ++i;
            if (value > 0xFF) fail("octal escape beyond one byte");
            out += static_cast<char>(value);
          } else if (e == 0 && i > data.size()) {
            fail("unterminated string", start);
          } else {
            // An unknown escape is kept as written, backslash included.
            out += '\\';
            --i;
          }
      }
    }
  }

  // The token at the current position; assumes skipSpace was called.
  Token lex() {
    Token t;
    t.file = path;
    t.line = line;
    if (atEnd()) return t;
    lineStart = false;
    unsigned char c = peek();
    if ((c == 'L' || c == 'l') && peek(1) == '"') {
      i += 2;
      t.kind = Token::String;
      t.text = lexString(true);
      return t;
    }
    if (c == '"') {
      ++i;
      t.kind = Token::String;
      t.text = lexString(false);
      return t;
    }
    if (isIdentStart(c)) {
      std::size_t b = i;
      while (!atEnd() && isIdentChar(peek())) ++i;
      t.kind = Token::Ident;
      t.text = data.substr(b, i - b);
      return t;
    }
    if (c >= '0' && c <= '9') {
      std::size_t b = i;
      while (!atEnd() && isIdentChar(peek())) ++i;
      std::string digits = data.substr(b, i - b);
      std::string body = digits;
      while (!body.empty() && (body.back() == 'L' || body.back() == 'l' || body.back() == 'U' || body.back() == 'u')) body.pop_back();
      unsigned long long v = 0;
      bool ok = !body.empty();
      if (body.size() > 2 && body[0] == '0' && (body[1] == 'x' || body[1] == 'X')) {
        for (std::size_t k = 2; k < body.size() && ok; ++k) {
          int d = hexDigit(static_cast<unsigned char>(body[k]));
          ok = d >= 0 && v < (1ULL << 40);
          v = v * 16 + static_cast<unsigned>(d < 0 ? 0 : d);
        }
      } else {
        for (std::size_t k = 0; k < body.size() && ok; ++k) {
          ok = body[k] >= '0' && body[k] <= '9' && v < (1ULL << 40);
          v = v * 10 + static_cast<unsigned>(body[k] - '0');
        }
      }
      if (!ok) fail("bad number '" + digits + "'");
      t.kind = Token::Number;
      t.value = static_cast<long long>(v);
      t.text = digits;
      return t;
    }
    static const char* const kTwo[] = {"<<", ">>", "<=", ">=", "==", "!=", "&&", "||"};
    for (const char* op : kTwo) {
      if (c == static_cast<unsigned char>(op[0]) && peek(1) == static_cast<unsigned char>(op[1])) {
        i += 2;
        t.kind = Token::Punct;
        t.text = op;
        return t;
      }
    }
    if (std::string("{}(),+-*/%|&^~!<>?:").find(static_cast<char>(c)) != std::string::npos) {
      ++i;
      t.kind = Token::Punct;
      t.text = std::string(1, static_cast<char>(c));
      return t;
    }
    char shown[8];
    std::snprintf(shown, sizeof shown, c >= 0x21 && c < 0x7F ? "'%c'" : "0x%02X", c);
    fail(std::string("unexpected character ") + shown);
  }
};

std::vector<Token> lexText(const std::string& text, const std::string& file, int line) {
  Source s;
  s.path = file;
  s.data = text;
  s.line = line;
  std::vector<Token> out;
  for (;;) {
    s.skipSpace(false);
    s.line = line;  // directive text is one logical line
    Token t = s.lex();
    if (t.kind == Token::End) return out;
    out.push_back(t);
  }
}

struct Macro {
  std::string body;
  bool function = false;
  std::string file;
  int line = 0;
};

// C integer expressions over tokens; names are #define'd macros.
class Expression {
 public:
  // undefinedIsZero: #if semantics; otherwise an unknown name is an error.
  // cache keeps the values of macros already evaluated in this mode, so a
  // chain of definitions that each use the previous one twice costs linear
  // time, not exponential; the reader empties it when a definition changes.
  Expression(const std::map<std::string, Macro>& macros, bool undefinedIsZero,
             std::map<std::string, long long>& cache)
      : macros_(macros), undefinedIsZero_(undefinedIsZero), cache_(cache) {}

  // Parses one expression from toks at pos; fetch supplies more tokens when
  // the vector runs out (the statement stream), or is null (a finished line).
  long long parse(std::function<const Token&(std::size_t)> at, std::size_t& pos, int depth = 0) {
    at_ = at;
    pos_ = &pos;
    depth_ = depth;
    return conditional();
  }

 private:
  const Token& cur() { return at_(*pos_); }
  bool isOp(const char* op) { return cur().kind == Token::Punct && cur().text == op; }
  [[noreturn]] void fail(const std::string& reason) {
    const Token& t = cur();
    throw ScriptError(t.file, t.line, reason);
  }

  long long conditional() {
    long long c = binary(0);
    if (!isOp("?")) return c;
    ++*pos_;
    long long a = conditional();
    if (!isOp(":")) fail("expected ':' in conditional expression");
    ++*pos_;
    long long b = conditional();
    return c ? a : b;
  }

  static int precedence(const std::string& op) {
    static const std::map<std::string, int> table = {
        {"||", 1}, {"&&", 2}, {"|", 3}, {"^", 4}, {"&", 5}, {"==", 6}, {"!=", 6},
        {"<", 7}, {"<=", 7}, {">", 7}, {">=", 7}, {"<<", 8}, {">>", 8},
        {"+", 9}, {"-", 9}, {"*", 10}, {"/", 10}, {"%", 10}};
    auto it = table.find(op);
    return it == table.end() ? -1 : it->second;
  }

  long long binary(int minPrec) {
    long long lhs = unary();
    for (;;) {
      if (cur().kind != Token::Punct) return lhs;
      std::string op = cur().text;
      int prec = precedence(op);
      if (prec < 0 || prec < minPrec) return lhs;
      ++*pos_;
      long long rhs = binary(prec + 1);
      if (op == "||") lhs = lhs || rhs;
      else if (op == "&&") lhs = lhs && rhs;
      else if (op == "|") lhs |= rhs;
      else if (op == "^") lhs ^= rhs;
      else if (op == "&") lhs &= rhs;
      else if (op == "==") lhs = lhs == rhs;
      else if (op == "!=") lhs = lhs != rhs;
      else if (op == "<") lhs = lhs < rhs;
      else if (op == "<=") lhs = lhs <= rhs;
      else if (op == ">") lhs = lhs > rhs;
      else if (op == ">=") lhs = lhs >= rhs;
      else if (op == "<<") lhs = (rhs < 0 || rhs > 62) ? 0 : static_cast<long long>(static_cast<unsigned long long>(lhs) << rhs);
      else if (op == ">>") lhs = (rhs < 0 || rhs > 62) ? 0 : lhs >> rhs;
      else if (op == "+") lhs = static_cast<long long>(static_cast<unsigned long long>(lhs) + static_cast<unsigned long long>(rhs));
      else if (op == "-") lhs = static_cast<long long>(static_cast<unsigned long long>(lhs) - static_cast<unsigned long long>(rhs));
      else if (op == "*") lhs = static_cast<long long>(static_cast<unsigned long long>(lhs) * static_cast<unsigned long long>(rhs));
      else {
        if (rhs == 0) fail("division by zero in expression");
        if (lhs == INT64_MIN && rhs == -1) fail("overflow in expression");
        lhs = op == "/" ? lhs / rhs : lhs % rhs;
      }
    }
  }

  long long unary() {
    const Token& t = cur();
    if (t.kind == Token::Punct) {
      if (t.text == "-" || t.text == "+" || t.text == "~" || t.text == "!") {
        std::string op = t.text;
        ++*pos_;
        long long v = unary();
        if (op == "-") return static_cast<long long>(0ULL - static_cast<unsigned long long>(v));
        if (op == "~") return ~v;
        if (op == "!") return !v;
        return v;
      }
      if (t.text == "(") {
        ++*pos_;
        long long v = conditional();
        if (!isOp(")")) fail("expected ')'");
        ++*pos_;
        return v;
      }
    }
    if (t.kind == Token::Number) {
      ++*pos_;
      return t.value;
    }
    if (t.kind == Token::Ident) {
      std::string name = t.text;
      if (name == "defined" && undefinedIsZero_) {
        ++*pos_;
        bool paren = isOp("(");
        if (paren) ++*pos_;
        if (cur().kind != Token::Ident) fail("expected a name after defined");
        bool known = macros_.count(cur().text) != 0;
        ++*pos_;
        if (paren) {
          if (!isOp(")")) fail("expected ')' after defined(name");
          ++*pos_;
        }
        return known;
      }
      auto it = macros_.find(name);
      if (it == macros_.end()) {
        if (undefinedIsZero_) {
          ++*pos_;
          return 0;
        }
        fail("undefined name '" + name + "'");
      }
      if (it->second.function) fail("function-like macro '" + name + "' cannot be used here");
      auto known = cache_.find(name);
      if (known != cache_.end()) {
        ++*pos_;
        return known->second;
      }
      if (depth_ >= kMaxMacroDepth) fail("macro '" + name + "' expands too deeply (recursive definition?)");
      std::vector<Token> body = lexText(it->second.body, it->second.file, it->second.line);
      Token endTok;
      endTok.file = it->second.file;
      endTok.line = it->second.line;
      if (body.empty()) fail("macro '" + name + "' has no value");
      std::size_t bodyPos = 0;
      Expression inner(macros_, undefinedIsZero_, cache_);
      long long v = inner.parse(
          [&](std::size_t k) -> const Token& { return k < body.size() ? body[k] : endTok; }, bodyPos, depth_ + 1);
      if (bodyPos != body.size()) {
        throw ScriptError(it->second.file, it->second.line,
                          "macro '" + name + "' is not an integer expression");
      }
      cache_[name] = v;
      ++*pos_;
      return v;
    }
    if (t.kind == Token::End) fail("expression expected before end of input");
    fail("expression expected before '" + t.text + "'");
  }

  const std::map<std::string, Macro>& macros_;
  bool undefinedIsZero_;
  std::map<std::string, long long>& cache_;
  std::function<const Token&(std::size_t)> at_;
  std::size_t* pos_ = nullptr;
  int depth_ = 0;
};

// Scripts and headers as one stream of tokens, preprocessed.
class Reader {
 public:
  explicit Reader(ScriptResult& result) : result_(result) {
    define("RC_INVOKED", "1");
    define("_WIN32", "1");
  }

  void open(const std::string& path, const std::string& fromFile, int fromLine) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      if (fromFile.empty()) throw ScriptError(path, 0, "cannot open the script");
      throw ScriptError(fromFile, fromLine, "cannot open include file '" + path + "'");
    }
    if (stack_.size() >= static_cast<std::size_t>(kMaxIncludeDepth)) {
      throw ScriptError(fromFile, fromLine, "#include nested too deeply");
    }
    std::ostringstream data;
    data << in.rdbuf();
    Source s;
    s.path = path;
    s.data = data.str();
    s.condDepth = conds_.size();
    stack_.push_back(std::move(s));
    result_.inputs.push_back(path);
  }

  const std::map<std::string, Macro>& macros() const { return macros_; }
  std::map<std::string, long long>& cache(bool undefinedIsZero) { return caches_[undefinedIsZero ? 1 : 0]; }

  // The next token of the statement stream (End at the end of all input).
  Token next() {
    while (!stack_.empty()) {
      Source& s = stack_.back();
      s.skipSpace(false);
      if (s.atEnd()) {
        if (conds_.size() > s.condDepth) {
          throw ScriptError(conds_.back().file, conds_.back().line, "#if without #endif");
        }
        Token end;
        end.file = s.path;
        end.line = s.line;
        lastEnd_ = end;
        stack_.pop_back();
        continue;
      }
      if (s.lineStart && s.peek() == '#') {
        directive(s);
        continue;
      }
      if (!active()) {
        while (!s.atEnd() && s.peek() != '\n') ++s.i;
        continue;
      }
      return s.lex();
    }
    return lastEnd_;
  }

 private:
  struct Cond {
    bool active;    // this branch is being read
    bool taken;     // some branch of this group was (or the group is dead)
    bool sawElse;
    std::string file;
    int line;
  };

  bool active() const {
    return conds_.empty() || conds_.back().active;
  }

  void define(const std::string& name, const std::string& body) {
    Macro m;
    m.body = body;
    macros_[name] = m;
  }

  // Reads the rest of the logical line after '#', joining continued lines
  // and dropping comments.
  std::string directiveLine(Source& s) {
    std::string text;
    ++s.i;  // '#'
    while (!s.atEnd() && s.peek() != '\n') {
      unsigned char c = s.peek();
      if (c == '\\' && (s.peek(1) == '\n' || (s.peek(1) == '\r' && s.peek(2) == '\n'))) {
        s.i += s.peek(1) == '\n' ? 2 : 3;
        ++s.line;
        text += ' ';
      } else if (c == '/' && s.peek(1) == '*') {
        int start = s.line;
        s.i += 2;
        while (!(s.peek() == '*' && s.peek(1) == '/')) {
          if (s.atEnd()) s.fail("unterminated comment", start);
          if (s.peek() == '\n') ++s.line;
          ++s.i;
        }
        s.i += 2;
        text += ' ';
      } else if (c == '/' && s.peek(1) == '/') {
        while (!s.atEnd() && s.peek() != '\n') ++s.i;
      } else if (c == '"' || c == '\'') {  // keep quoted text (and any // in it) whole
        text += static_cast<char>(c);
        ++s.i;
        while (!s.atEnd() && s.peek() != '\n' && s.peek() != c) {
          if (s.peek() == '\\' && s.peek(1) != '\n') text += static_cast<char>(s.data[s.i++]);
          text += static_cast<char>(s.data[s.i++]);
        }
        if (!s.atEnd() && s.peek() == c) text += static_cast<char>(s.data[s.i++]);
      } else {
        text += static_cast<char>(c);
        ++s.i;
      }
    }
    return text;
  }

  static std::string trim(const std::string& s) {
    std::size_t b = s.find_first_not_of(" \t\r\f\v");
    if (b == std::string::npos) return std::string();
    std::size_t e = s.find_last_not_of(" \t\r\f\v");
    return s.substr(b, e - b + 1);
  }

  bool evaluate(const std::string& text, const std::string& file, int line) {
    std::vector<Token> toks = lexText(text, file, line);
    if (toks.empty()) throw ScriptError(file, line, "#if without an expression");
    Token endTok;
    endTok.file = file;
    endTok.line = line;
    std::size_t pos = 0;
    Expression e(macros_, true, cache(true));
    long long v = e.parse([&](std::size_t k) -> const Token& { return k < toks.size() ? toks[k] : endTok; }, pos);
    if (pos != toks.size()) throw ScriptError(file, line, "unexpected '" + toks[pos].text + "' in #if expression");
    return v != 0;
  }

  void directive(Source& s) {
    int line = s.line;
    std::string text = directiveLine(s);
    std::string::size_type b = text.find_first_not_of(" \t");
    std::string::size_type e = b == std::string::npos ? b : text.find_first_not_of(
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_", b);
    std::string name = b == std::string::npos ? std::string() : text.substr(b, e == std::string::npos ? e : e - b);
    std::string rest = trim(e == std::string::npos ? std::string() : text.substr(e));

    if (name == "if" || name == "ifdef" || name == "ifndef") {
      if (!active()) {
        conds_.push_back({false, true, false, s.path, line});
        return;
      }
      bool value;
      if (name == "if") {
        value = evaluate(rest, s.path, line);
      } else {
        std::vector<Token> toks = lexText(rest, s.path, line);
        if (toks.size() != 1 || toks[0].kind != Token::Ident) s.fail("#" + name + " expects one name", line);
        value = (macros_.count(toks[0].text) != 0) == (name == "ifdef");
      }
      conds_.push_back({value, value, false, s.path, line});
      return;
    }
    if (name == "elif" || name == "else" || name == "endif") {
      if (conds_.size() <= s.condDepth) s.fail("#" + name + " without #if", line);
      Cond& c = conds_.back();
      if (name == "endif") {
        conds_.pop_back();
        return;
      }
      if (c.sawElse) s.fail("#" + name + " after #else", line);
      bool parentActive = conds_.size() < 2 || conds_[conds_.size() - 2].active;
      if (name == "else") {
        c.sawElse = true;
        c.active = parentActive && !c.taken;
      } else {
        c.active = parentActive && !c.taken && evaluate(rest, s.path, line);
      }
      c.taken = c.taken || c.active;
      return;
    }
    if (!active()) return;
    if (name == "define") {
      std::size_t k = 0;
      while (k < rest.size() && isIdentChar(static_cast<unsigned char>(rest[k]))) ++k;
      if (k == 0 || !isIdentStart(static_cast<unsigned char>(rest[0]))) s.fail("#define without a name", line);
      Macro m;
      m.file = s.path;
      m.line = line;
      m.function = k < rest.size() && rest[k] == '(';
      m.body = trim(rest.substr(k));
      macros_[rest.substr(0, k)] = m;
      caches_[0].clear();
      caches_[1].clear();
    } else if (name == "undef") {
      macros_.erase(trim(rest));
      caches_[0].clear();
      caches_[1].clear();
    } else if (name == "include") {
      include(s, rest, line);
    } else if (name == "error") {
      s.fail("#error " + rest, line);
    } else if (name.empty() && !rest.empty() && !(rest[0] >= '0' && rest[0] <= '9')) {
      s.fail("invalid preprocessor directive", line);
    }
    // #pragma (code_page and the like), #line and the empty directive change
    // nothing in a string table.
  }

  void include(Source& s, const std::string& rest, int line) {
    if (!rest.empty() && rest[0] == '<') return;  // system headers hold no string tables
    if (rest.size() < 2 || rest[0] != '"' || rest.find('"', 1) == std::string::npos) {
      s.fail("#include expects \"file\" or <file>", line);
    }
    std::string name = rest.substr(1, rest.find('"', 1) - 1);
    std::string path = !name.empty() && name[0] == '/' ? name : dirOf(s.path) + name;
    if (!std::ifstream(path)) {
      // Headers of the Windows SDK and MFC that resource editors write in
      // quotes; they hold only system constants.
      static const std::set<std::string> kSystem = {"windows.h", "winres.h", "winresrc.h",
                                                     "afxres.h", "winuser.h", "commctrl.h",
                                                     "winver.h", "dlgs.h", "richedit.h"};
      std::string base = name.substr(name.find_last_of("/\\") == std::string::npos ? 0 : name.find_last_of("/\\") + 1);
      std::string lower;
      for (char c : base) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      if (kSystem.count(lower)) return;
    }
    std::string from = s.path;
    open(path, from, line);  // invalidates s
  }

  ScriptResult& result_;
  std::vector<Source> stack_;
  std::vector<Cond> conds_;
  std::map<std::string, Macro> macros_;
  std::map<std::string, long long> caches_[2];  // macro values: statements, #if
  Token lastEnd_;
};

bool isIdent(const Token& t, const char* word) {
  if (t.kind != Token::Ident) return false;
  std::string a = t.text;
  for (char& c : a) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  return a == word;
}
bool isPunct(const Token& t, const char* p) { return t.kind == Token::Punct && t.text == p; }
bool isBegin(const Token& t) { return isIdent(t, "BEGIN") || isPunct(t, "{"); }
bool isEnd(const Token& t) { return isIdent(t, "END") || isPunct(t, "}"); }

// The statements of the scripts: string tables read, the rest skipped.
class Parser {
 public:
  Parser(Reader& reader, ScriptResult& result) : reader_(reader), result_(result) {}

  void run() {
    std::vector<Token> open;  // BEGINs of skipped statements
    for (;;) {
      Token t = take();
      if (t.kind == Token::End) {
        if (!open.empty()) throw ScriptError(open.back().file, open.back().line, "BEGIN without END");
        return;
      }
      if (open.empty() && isIdent(t, "STRINGTABLE")) {
        stringTable(t);
      } else if (isBegin(t)) {
        open.push_back(t);
      } else if (isEnd(t)) {
        if (open.empty()) throw ScriptError(t.file, t.line, "END without BEGIN");
        open.pop_back();
      }
    }
  }

 private:
  const Token& at(std::size_t k) {
    while (buffer_.size() <= k) buffer_.push_back(reader_.next());
    return buffer_[k];
  }
  Token take() {
    Token t = at(0);
    buffer_.pop_front();
    return t;
  }
  long long expression(bool undefinedIsZero) {
    std::size_t pos = 0;
    Expression e(reader_.macros(), undefinedIsZero, reader_.cache(undefinedIsZero));
    long long v = e.parse([this](std::size_t k) -> const Token& { return at(k); }, pos);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(pos));
    return v;
  }

  void stringTable(const Token& start) {
    static const char* const kFlags[] = {"DISCARDABLE", "PRELOAD", "LOADONCALL", "MOVEABLE",
                                         "FIXED", "PURE", "IMPURE", "SHARED", "NONSHARED"};
    for (;;) {
      const Token& t = at(0);
      bool flag = false;
      for (const char* f : kFlags) flag = flag || isIdent(t, f);
      if (flag) {
        take();
      } else if (isIdent(t, "LANGUAGE")) {
        take();
        expression(true);  // language names come from system headers: not checked
        if (!isPunct(at(0), ",")) throw ScriptError(at(0).file, at(0).line, "LANGUAGE expects two values");
        take();
        expression(true);
      } else if (isIdent(t, "CHARACTERISTICS") || isIdent(t, "VERSION")) {
        take();
        expression(true);
      } else if (isBegin(t)) {
        take();
        break;
      } else {
        throw ScriptError(t.file, t.line, "expected BEGIN or { after STRINGTABLE");
      }
    }
    for (;;) {
      const Token& t = at(0);
      if (isEnd(t)) {
        take();
        return;
      }
      if (t.kind == Token::End) {
        throw ScriptError(start.file, start.line, "STRINGTABLE without END");
      }
      if (t.kind == Token::String) throw ScriptError(t.file, t.line, "string without an id");
      Token idTok = t;
      long long id = expression(false);
      if (id < 0 || id > 65535) {
        throw ScriptError(idTok.file, idTok.line, "string id " + std::to_string(id) + " is outside 0..65535");
      }
      if (isPunct(at(0), ",")) take();
      if (at(0).kind != Token::String) {
        throw ScriptError(at(0).file, at(0).line, "expected a string after id " + std::to_string(id));
      }
      std::string text;
      while (at(0).kind == Token::String) text += take().text;
      result_.strings.push_back({static_cast<unsigned>(id), text, idTok.file, idTok.line});
    }
  }

  Reader& reader_;
  ScriptResult& result_;
  std::deque<Token> buffer_;  // lookahead; a deque keeps references valid
};

}  // namespace

ScriptResult readScripts(const std::vector<std::string>& paths) {
  ScriptResult result;
  std::map<unsigned, std::string> ids;
  for (const std::string& path : paths) {
    ScriptResult one;
    Reader reader(one);
    reader.open(path, std::string(), 0);
    Parser parser(reader, one);
    parser.run();
    for (const StringEntry& e : one.strings) {
      auto seen = ids.find(e.id);
      if (seen != ids.end()) {
        throw ScriptError(e.file, e.line, "string id " + std::to_string(e.id) +
                                              " is already defined at " + seen->second);
      }
      ids[e.id] = e.file + ":" + std::to_string(e.line);
      result.strings.push_back(e);
    }
    result.inputs.insert(result.inputs.end(), one.inputs.begin(), one.inputs.end());
  }
  return result;
}

std::string generateSource(const ScriptResult& result) {
  std::ostringstream out;
  out << "// Generated by tobrel-rc from the string tables of:\n";
  for (const std::string& in : result.inputs) out << "//   " << in << "\n";
  out << "// Do not edit.\n"
         "#include \"TobrelTools/platform/strres.h\"\n\n"
         "namespace {\n\n";
  if (!result.strings.empty()) {
    out << "const TobrelStringResource kTobrelStrings[] = {\n";
    for (const StringEntry& e : result.strings) {
      out << "    {" << e.id << "u, \"";
      for (unsigned char c : e.text) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\' && c != '?') {
          out << static_cast<char>(c);
        } else {
          char oct[8];
          std::snprintf(oct, sizeof oct, "\\%03o", c);
          out << oct;
        }
      }
      out << "\", " << e.text.size() << "u},\n";
    }
    out << "};\n\n";
  }
  const char* table = result.strings.empty() ? "nullptr" : "kTobrelStrings";
  out << "const char kTobrelAnchor = 0;\n\n"
         "// Registers the table under the module this code is linked into while\n"
         "// that module is loaded.\n"
         "struct TobrelStringRegistration {\n"
         "  void* handle;\n"
         "  TobrelStringRegistration()\n"
         "      : handle(tobrel_register_string_resources(&kTobrelAnchor, "
      << table << ", " << result.strings.size()
      << "u)) {}\n"
         "  ~TobrelStringRegistration() { tobrel_unregister_string_resources(handle); }\n"
         "} tobrelStringRegistration;\n\n"
         "}  // namespace\n";
  return out.str();
}

}  // namespace rc
}  // namespace tobrel
