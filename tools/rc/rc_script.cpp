#include "tools/rc/rc_script.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <sstream>

#include "TobrelTools/platform/cp932.h"

namespace tobrel {
namespace rc {
namespace {

struct Token {
  enum Kind { End, Ident, Number, String, Punct } kind = End;
  std::string text;          // identifier, punctuator, or string bytes
  long long value = 0;       // number
  std::string file;
  int line = 0;
};

bool isIdentStart(unsigned char c) { return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isIdentChar(unsigned char c) { return isIdentStart(c) || (c >= '0' && c <= '9'); }
bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
int hexDigit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The preprocessed text cut into tokens, each named by the file and line
// the line markers give.
class Lexer {
 public:
  Lexer(const std::string& text, const std::string& script, std::vector<std::string>& inputs)
      : data_(text), file_(script), inputs_(inputs) {
    addInput(script);
  }

  Token next() {
    skipSpace();
    Token t;
    t.file = file_;
    t.line = line_;
    if (atEnd()) return t;
    unsigned char c = peek();
    if ((c == 'L' || c == 'l') && peek(1) == '"') {
      i_ += 2;
      t.kind = Token::String;
      t.text = lexString(true);
      return t;
    }
    if (c == '"') {
      ++i_;
      t.kind = Token::String;
      t.text = lexString(false);
      return t;
    }
    if (isIdentStart(c)) {
      t.kind = Token::Ident;
      t.text = word();
      return t;
    }
    if (isDigit(c)) {
      t.kind = Token::Number;
      t.text = word();
      t.value = number(t.text);
      return t;
    }
    static const char* const kTwo[] = {"<<", ">>", "<=", ">=", "==", "!=", "&&", "||"};
    for (const char* op : kTwo) {
      if (c == static_cast<unsigned char>(op[0]) && peek(1) == static_cast<unsigned char>(op[1])) {
        i_ += 2;
        t.kind = Token::Punct;
        t.text = op;
        return t;
      }
    }
    if (std::string("{}(),+-*/%|&^~!<>?:").find(static_cast<char>(c)) != std::string::npos) {
      ++i_;
      t.kind = Token::Punct;
      t.text = std::string(1, static_cast<char>(c));
      return t;
    }
    char shown[8];
    std::snprintf(shown, sizeof shown, c >= 0x21 && c < 0x7F ? "'%c'" : "0x%02X", c);
    fail(std::string("unexpected character ") + shown);
  }

 private:
  bool atEnd() const { return i_ >= data_.size(); }
  unsigned char peek(std::size_t ahead = 0) const {
    return i_ + ahead < data_.size() ? static_cast<unsigned char>(data_[i_ + ahead]) : 0;
  }
  [[noreturn]] void fail(const std::string& reason, int at = 0) const {
    throw ScriptError(file_, at ? at : line_, reason);
  }

  void addInput(const std::string& path) {
    if (path.empty() || path[0] == '<') return;  // <built-in>, <command-line>
    if (seen_.insert(path).second) inputs_.push_back(path);
  }

  std::string word() {
    std::size_t b = i_;
    while (!atEnd() && isIdentChar(peek())) ++i_;
    return data_.substr(b, i_ - b);
  }

  void newline() {
    ++i_;
    ++line_;
    lineStart_ = true;
  }

  // Skips blanks, newlines, directives and comments.
  void skipSpace() {
    while (!atEnd()) {
      unsigned char c = peek();
      if (c == '\n') {
        newline();
      } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
        ++i_;
      } else if (c == '#' && lineStart_) {
        directive();
      } else if (c == '/' && peek(1) == '/') {
        while (!atEnd() && peek() != '\n') ++i_;
      } else if (c == '/' && peek(1) == '*') {
        int start = line_;
        i_ += 2;
        while (!(peek() == '*' && peek(1) == '/')) {
          if (atEnd()) fail("unterminated comment", start);
          if (peek() == '\n') ++line_;
          ++i_;
        }
        i_ += 2;
      } else {
        lineStart_ = false;
        return;
      }
    }
  }

  // A line marker ("# 12 \"file\" flags" or "#line 12 \"file\"") moves the
  // position; any other directive left in the text is skipped.
  void directive() {
    ++i_;
    while (peek() == ' ' || peek() == '\t') ++i_;
    if (data_.compare(i_, 4, "line") == 0) {
      i_ += 4;
      while (peek() == ' ' || peek() == '\t') ++i_;
    }
    if (isDigit(peek())) {
      long long next = 0;
      while (isDigit(peek())) next = std::min(next * 10 + (peek() - '0'), static_cast<long long>(INT_MAX)), ++i_;
      while (peek() == ' ' || peek() == '\t') ++i_;
      if (peek() == '"') {
        ++i_;
        file_ = markerName();
        addInput(file_);
      }
      line_ = static_cast<int>(next) - 1;  // the newline ending the marker counts one
    }
    while (!atEnd() && peek() != '\n') ++i_;
  }

  // The file name of a line marker, with the preprocessor's escapes undone
  // (a NUL byte, which no path holds, is dropped so that messages stay whole).
  std::string markerName() {
    std::string name;
    while (!atEnd() && peek() != '"' && peek() != '\n') {
      if (peek() == '\\' && peek(1) >= '0' && peek(1) <= '7') {
        unsigned value = 0;
        ++i_;
        for (int d = 0; d < 3 && peek() >= '0' && peek() <= '7'; ++d) value = value * 8 + (peek() - '0'), ++i_;
        if (value & 0xFF) name += static_cast<char>(value);
        continue;
      }
      if (peek() == '\\' && peek(1) != '\n' && i_ + 1 < data_.size()) ++i_;
      if (data_[i_] != '\0') name += data_[i_];
      ++i_;
    }
    return name;
  }

  long long number(const std::string& digits) {
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
        ok = isDigit(static_cast<unsigned char>(body[k])) && v < (1ULL << 40);
        v = v * 10 + static_cast<unsigned>(body[k] - '0');
      }
    }
    if (!ok) fail("bad number '" + digits + "'");
    return static_cast<long long>(v);
  }

  std::string lexString(bool wide) {
    int start = line_;
    std::string out;
    for (;;) {
      if (atEnd() || peek() == '\n') fail("unterminated string", start);
      unsigned char c = peek();
      if (c == '"') {
        if (peek(1) == '"') {
          out += '"';
          i_ += 2;
          continue;
        }
        ++i_;
        return out;
      }
      if (tobrel::cp932IsLeadByte(c) && tobrel::cp932IsTrailByte(peek(1))) {  // a double-byte character is one unit
        out += data_.substr(i_, 2);
        i_ += 2;
        continue;
      }
      if (c != '\\') {
        out += static_cast<char>(c);
        ++i_;
        continue;
      }
      unsigned char e = peek(1);
      if (e == 0 && i_ + 1 >= data_.size()) fail("unterminated string", start);
      i_ += 2;
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
        case 'x': case 'X': {
          unsigned value = 0;
          int digits = 0;
          int maxDigits = wide ? 4 : 2;
          while (digits < maxDigits && hexDigit(peek()) >= 0) {
            value = value * 16 + static_cast<unsigned>(hexDigit(peek()));
            ++i_;
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
            for (int d = 1; d < 3 && peek() >= '0' && peek() <= '7'; ++d) value = value * 8 + (peek() - '0'), ++i_;
            if (value > 0xFF) fail("octal escape beyond one byte");
            out += static_cast<char>(value);
          } else {
            // An unknown escape is kept as written, backslash included.
            out += '\\';
            --i_;
          }
      }
    }
  }

  const std::string& data_;
  std::size_t i_ = 0;
  std::string file_;
  int line_ = 1;
  bool lineStart_ = true;
  std::vector<std::string>& inputs_;
  std::set<std::string> seen_;
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

// The statements of a script: string tables read, the rest skipped.
class Parser {
 public:
  Parser(Lexer& lexer, ScriptResult& result) : lexer_(lexer), result_(result) {}

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
    while (buffer_.size() <= k) buffer_.push_back(lexer_.next());
    return buffer_[k];
  }
  Token take() {
    Token t = at(0);
    buffer_.pop_front();
    return t;
  }
  bool isOp(const char* op) { return isPunct(at(0), op); }
  [[noreturn]] void fail(const std::string& reason) { throw ScriptError(at(0).file, at(0).line, reason); }

  // A C integer expression. Names left by the preprocessor were never
  // defined: an error in an id, zero where undefinedIsZero (language names
  // come from system headers and are not checked).
  long long expression(bool undefinedIsZero) {
    undefinedIsZero_ = undefinedIsZero;
    depth_ = 0;
    return conditional();
  }

  long long conditional() {
    if (++depth_ > kMaxDepth) fail("expression nested too deeply");
    long long c = binary(0);
    if (isOp("?")) {
      take();
      long long a = conditional();
      if (!isOp(":")) fail("expected ':' in conditional expression");
      take();
      long long b = conditional();
      c = c ? a : b;
    }
    --depth_;
    return c;
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
      if (at(0).kind != Token::Punct) return lhs;
      std::string op = at(0).text;
      int prec = precedence(op);
      if (prec < 0 || prec < minPrec) return lhs;
      take();
      long long rhs = binary(prec + 1);
      using U = unsigned long long;
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
      else if (op == "<<") lhs = (rhs < 0 || rhs > 62) ? 0 : static_cast<long long>(static_cast<U>(lhs) << rhs);
      else if (op == ">>") lhs = (rhs < 0 || rhs > 62) ? 0 : lhs >> rhs;
      else if (op == "+") lhs = static_cast<long long>(static_cast<U>(lhs) + static_cast<U>(rhs));
      else if (op == "-") lhs = static_cast<long long>(static_cast<U>(lhs) - static_cast<U>(rhs));
      else if (op == "*") lhs = static_cast<long long>(static_cast<U>(lhs) * static_cast<U>(rhs));
      else {
        if (rhs == 0) fail("division by zero in expression");
        if (lhs == LLONG_MIN && rhs == -1) fail("overflow in expression");
        lhs = op == "/" ? lhs / rhs : lhs % rhs;
      }
    }
  }

  long long unary() {
    const Token& t = at(0);
    if (t.kind == Token::Punct) {
      if (t.text == "-" || t.text == "+" || t.text == "~" || t.text == "!") {
        std::string op = take().text;
        if (++depth_ > kMaxDepth) fail("expression nested too deeply");
        long long v = unary();
        --depth_;
        if (op == "-") return static_cast<long long>(0ULL - static_cast<unsigned long long>(v));
        if (op == "~") return ~v;
        if (op == "!") return !v;
        return v;
      }
      if (t.text == "(") {
        take();
        long long v = conditional();
        if (!isOp(")")) fail("expected ')'");
        take();
        return v;
      }
    }
    if (t.kind == Token::Number) return take().value;
    if (t.kind == Token::Ident) {
      if (undefinedIsZero_) {
        take();
        return 0;
      }
      fail("undefined name '" + t.text + "'");
    }
    if (t.kind == Token::End) fail("expression expected before end of input");
    fail("expression expected before '" + t.text + "'");
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
        expression(true);
        if (!isOp(",")) fail("LANGUAGE expects two values");
        take();
        expression(true);
      } else if (isIdent(t, "CHARACTERISTICS") || isIdent(t, "VERSION")) {
        take();
        expression(true);
      } else if (isBegin(t)) {
        take();
        break;
      } else {
        fail("expected BEGIN or { after STRINGTABLE");
      }
    }
    for (;;) {
      const Token& t = at(0);
      if (isEnd(t)) {
        take();
        return;
      }
      if (t.kind == Token::End) throw ScriptError(start.file, start.line, "STRINGTABLE without END");
      if (t.kind == Token::String) fail("string without an id");
      Token idTok = t;
      long long id = expression(false);
      if (id < 0 || id > 65535) {
        throw ScriptError(idTok.file, idTok.line, "string id " + std::to_string(id) + " is outside 0..65535");
      }
      if (isOp(",")) take();
      if (at(0).kind != Token::String) fail("expected a string after id " + std::to_string(id));
      std::string text;
      while (at(0).kind == Token::String) text += take().text;
      result_.strings.push_back({static_cast<unsigned>(id), text, idTok.file, idTok.line});
    }
  }

  static const int kMaxDepth = 256;  // parentheses and unary operators, as the stack allows

  Lexer& lexer_;
  ScriptResult& result_;
  std::deque<Token> buffer_;  // lookahead; a deque keeps references valid
  bool undefinedIsZero_ = false;
  int depth_ = 0;
};

}  // namespace

ScriptResult parsePreprocessed(const std::string& text, const std::string& script) {
  ScriptResult one;
  Lexer lexer(text, script, one.inputs);
  Parser(lexer, one).run();
  ScriptResult checked;
  checked.inputs = one.inputs;
  one.inputs.clear();
  addStrings(checked, one);
  return checked;
}

void addStrings(ScriptResult& table, const ScriptResult& more) {
  std::map<unsigned, const StringEntry*> ids;
  for (const StringEntry& e : table.strings) ids.emplace(e.id, &e);
  for (const StringEntry& e : more.strings) {
    auto seen = ids.find(e.id);
    if (seen != ids.end()) {
      throw ScriptError(e.file, e.line, "string id " + std::to_string(e.id) + " is already defined at " +
                                            seen->second->file + ":" + std::to_string(seen->second->line));
    }
    ids.emplace(e.id, &e);
  }
  table.strings.insert(table.strings.end(), more.strings.begin(), more.strings.end());
  for (const std::string& in : more.inputs) {
    if (std::find(table.inputs.begin(), table.inputs.end(), in) == table.inputs.end()) table.inputs.push_back(in);
  }
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
