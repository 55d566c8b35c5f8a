// The .reg reader: finds the encoding, turns the file into code page 932
// lines, and parses them into the steps of the file. Nothing here touches the
// registry, so that a malformed file is refused before anything changes.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/registry/internal/regfile_format.h"

TOBREL_MODULE_ID("regfile_parse.cpp", "2026.12.05");

namespace tobrel {
namespace regfile {

const char kHeader5[] = "Windows Registry Editor Version 5.00";
const char kHeader4[] = "REGEDIT4";

namespace {

struct Root {
  const char* name;
  const char* abbreviation;
  HKEY key;
};

const Root kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},
    {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE},
    {"HKEY_USERS", "HKU", HKEY_USERS},
};

std::string lineError(int line, const std::string& reason) { return "line " + std::to_string(line) + ": " + reason; }

bool equalNoCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

bool startsNoCase(const std::string& s, std::size_t pos, const char* prefix) {
  std::size_t n = std::strlen(prefix);
  return s.size() - pos >= n && equalNoCase(s.substr(pos, n), prefix);
}

bool isSpace(char c) { return c == ' ' || c == '\t'; }

std::string rtrim(const std::string& s) {
  std::size_t end = s.size();
  while (end > 0 && isSpace(s[end - 1])) --end;
  return s.substr(0, end);
}

std::size_t skipSpace(const std::string& s, std::size_t i) {
  while (i < s.size() && isSpace(s[i])) ++i;
  return i;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string hex4(unsigned v) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = "U+";
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(v >> shift) & 15];
  return out;
}

// Splits text into lines at LF, dropping a CR before it.
template <typename Str>
std::vector<Str> splitLines(const Str& text) {
  std::vector<Str> lines;
  std::size_t start = 0;
  for (;;) {
    std::size_t lf = text.find(static_cast<typename Str::value_type>('\n'), start);
    Str line = text.substr(start, lf == Str::npos ? Str::npos : lf - start);
    if (!line.empty() && line.back() == static_cast<typename Str::value_type>('\r')) line.pop_back();
    if (lf == Str::npos) {
      if (!line.empty() || lines.empty()) lines.push_back(line);   // nothing after the last line feed
      break;
    }
    lines.push_back(line);
    start = lf + 1;
  }
  return lines;
}

bool decodeUtf8(const std::string& bytes, std::u16string* out, std::string* error) {
  int line = 1;
  for (std::size_t i = 0; i < bytes.size();) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    std::uint32_t cp;
    std::size_t len;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      cp = c & 0x1F;
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      cp = c & 0x0F;
      len = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      cp = c & 0x07;
      len = 4;
    } else {
      *error = lineError(line, "invalid UTF-8");
      return false;
    }
    if (i + len > bytes.size()) {
      *error = lineError(line, "invalid UTF-8");
      return false;
    }
    for (std::size_t k = 1; k < len; ++k) {
      unsigned char t = static_cast<unsigned char>(bytes[i + k]);
      if ((t & 0xC0) != 0x80) {
        *error = lineError(line, "invalid UTF-8");
        return false;
      }
      cp = (cp << 6) | (t & 0x3F);
    }
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
      *error = lineError(line, "invalid UTF-8");
      return false;
    }
    if (cp == '\n') ++line;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return true;
}

std::string headerError() {
  return lineError(1, std::string("not a registry file: the first line must be \"") + kHeader5 + "\" or \"" +
                          kHeader4 + "\"");
}

// The file as code page 932 lines (header included), and whether its
// hex(1), hex(2) and hex(7) data are UTF-16.
bool decodeLines(const std::string& bytes, std::vector<std::string>* lines, bool* wideHex, std::string* error) {
  std::u16string wide;
  bool unicode = true;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    if (bytes.size() % 2 != 0) {
      *error = "line 1: a UTF-16 file must have an even number of bytes";
      return false;
    }
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
      wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                           (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
  } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
             static_cast<unsigned char>(bytes[1]) == 0xFF) {
    *error = "line 1: UTF-16 big-endian files are not supported";
    return false;
  } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
    if (!decodeUtf8(bytes.substr(3), &wide, error)) return false;
  } else {
    std::size_t lf = bytes.find('\n');
    std::string first = rtrim(bytes.substr(0, lf));
    if (!first.empty() && first.back() == '\r') first = rtrim(first.substr(0, first.size() - 1));
    if (first == kHeader4) {
      unicode = false;
    } else if (first == kHeader5) {
      if (!decodeUtf8(bytes, &wide, error)) return false;
    } else {
      *error = headerError();
      return false;
    }
  }

  if (unicode) {
    std::vector<std::u16string> wideLines = splitLines(wide);
    for (std::size_t i = 0; i < wideLines.size(); ++i) {
      std::string narrow;
      char16_t bad = 0;
      if (wideLines[i].find(u'\0') != std::u16string::npos) {
        *error = lineError(static_cast<int>(i + 1), "NUL character in the text");
        return false;
      }
      if (!toNarrow(wideLines[i], &narrow, &bad)) {
        *error = lineError(static_cast<int>(i + 1), "character " + hex4(bad) + " has no code page 932 code");
        return false;
      }
      lines->push_back(narrow);
    }
  } else {
    *lines = splitLines(bytes);
  }
  std::string header = lines->empty() ? std::string() : rtrim((*lines)[0]);
  if (header == kHeader5) {
    *wideHex = true;
  } else if (header == kHeader4) {
    *wideHex = false;
  } else {
    *error = headerError();
    return false;
  }
  return true;
}

class Parser {
 public:
  Parser(const std::vector<std::string>& lines, bool wideHex) : lines_(lines), wideHex_(wideHex) {}

  bool run(std::vector<RegOp>* ops, std::string* error) {
    bool inKey = false, inDeletedKey = false;
    for (index_ = 1; index_ < lines_.size(); ++index_) {
      const std::string& line = lines_[index_];
      std::size_t i = skipSpace(line, 0);
      if (i == line.size() || line[i] == ';') continue;
      RegOp op;
      op.line = lineNo();
      if (line[i] == '[') {
        if (!parseKey(rtrim(line), i, &op)) return fail(error);
        inKey = op.kind == RegOp::kKey;
        inDeletedKey = !inKey;
      } else if (line[i] == '"' || line[i] == '@') {
        if (inDeletedKey) {
          why_ = "value under a key that is being deleted";
          return fail(error);
        }
        if (!inKey) {
          why_ = "value before the first key";
          return fail(error);
        }
        if (!parseValue(line, i, &op)) return fail(error);
      } else {
        why_ = "not a key, value or comment line";
        return fail(error);
      }
      ops->push_back(op);
    }
    return true;
  }

 private:
  int lineNo() const { return static_cast<int>(errorLine_ ? errorLine_ : index_ + 1); }
  bool fail(std::string* error) {
    *error = lineError(lineNo(), why_);
    return false;
  }

  // `[ROOT\path]` or `[-ROOT\path]`, the line trimmed on the right.
  bool parseKey(const std::string& line, std::size_t i, RegOp* op) {
    // Find the last character, pairing double-byte characters, so that a
    // trail byte 0x5D is not taken for the closing bracket.
    std::size_t last = std::string::npos;
    for (std::size_t k = i; k < line.size(); k += charLength(line, k)) last = k;
    if (last == i || line[last] != ']' || charLength(line, last) != 1) {
      why_ = "key line without a closing ']'";
      return false;
    }
    std::string path = line.substr(i + 1, last - i - 1);
    op->kind = RegOp::kKey;
    if (!path.empty() && path[0] == '-') {
      op->kind = RegOp::kDeleteKey;
      path.erase(0, 1);
    }
    std::size_t sep = 0;
    while (sep < path.size() && path[sep] != '\\') sep += charLength(path, sep);
    std::string rootText = path.substr(0, sep);
    op->path = sep < path.size() ? path.substr(sep + 1) : std::string();
    for (const Root& root : kRoots) {
      if (equalNoCase(rootText, root.name) || equalNoCase(rootText, root.abbreviation)) op->root = root.key;
    }
    if (!op->root) {
      why_ = rootText.empty() ? "empty key path" : "unknown root key \"" + rootText + "\"";
      return false;
    }
    std::size_t rest = 0;
    while (rest < op->path.size() && op->path[rest] == '\\') ++rest;
    if (op->kind == RegOp::kDeleteKey && rest == op->path.size()) {
      why_ = "a root key cannot be deleted";
      return false;
    }
    return true;
  }

  // The character an escape stands for: \\ and \" as the Windows registry
  // editor writes them, \r and \n as Wine's writes a text with line breaks
  // (neither writes other escapes: a tab goes as it is). 0 for any other.
  static char unescape(char c) {
    switch (c) {
      case '\\': return '\\';
      case '"': return '"';
      case 'r': return '\r';
      case 'n': return '\n';
      default: return '\0';
    }
  }

  // A quoted text from line[*pos] == '"'; *pos ends after the closing quote.
  bool parseQuoted(const std::string& line, std::size_t* pos, std::string* out) {
    for (std::size_t i = *pos + 1; i < line.size();) {
      std::size_t len = charLength(line, i);
      char c = line[i];
      if (len == 1 && c == '"') {
        *pos = i + 1;
        return true;
      }
      if (len == 1 && c == '\\') {
        if (i + 1 >= line.size()) break;
        char next = line[i + 1];
        char unescaped = unescape(next);
        if (!unescaped) {
          why_ = std::string("unknown escape \"\\") + next + "\" (known: \\\\ \\\" \\r \\n)";
          return false;
        }
        *out += unescaped;
        i += 2;
        continue;
      }
      out->append(line, i, len);
      i += len;
    }
    why_ = "text without its closing '\"'";
    return false;
  }

  bool expectEnd(const std::string& line, std::size_t i) {
    if (skipSpace(line, i) != line.size()) {
      why_ = "unexpected text after the value";
      return false;
    }
    return true;
  }

  bool parseValue(const std::string& line, std::size_t i, RegOp* op) {
    if (line[i] == '@') {
      ++i;
    } else if (!parseQuoted(line, &i, &op->name)) {
      return false;
    }
    i = skipSpace(line, i);
    if (i >= line.size() || line[i] != '=') {
      why_ = "'=' expected after the value name";
      return false;
    }
    i = skipSpace(line, i + 1);
    op->kind = RegOp::kSetValue;
    if (i < line.size() && line[i] == '-') {
      op->kind = RegOp::kDeleteValue;
      return expectEnd(line, i + 1);
    }
    if (i < line.size() && line[i] == '"') {
      op->type = REG_SZ;
      if (!parseQuoted(line, &i, &op->data)) return false;
      op->data += '\0';
      return expectEnd(line, i);
    }
    if (startsNoCase(line, i, "dword:")) {
      i += 6;
      std::size_t start = i;
      std::uint32_t v = 0;
      while (i < line.size() && hexDigit(line[i]) >= 0 && i - start < 8) v = (v << 4) | hexDigit(line[i++]);
      if (i == start || (i < line.size() && hexDigit(line[i]) >= 0)) {
        why_ = "dword: needs 1 to 8 hex digits";
        return false;
      }
      op->type = REG_DWORD;
      for (int k = 0; k < 4; ++k) op->data += static_cast<char>((v >> (8 * k)) & 0xFF);
      return expectEnd(line, i);
    }
    if (startsNoCase(line, i, "hex:")) {
      op->type = REG_BINARY;
      return parseHex(line, i + 4, op);
    }
    if (startsNoCase(line, i, "hex(")) {
      i += 4;
      std::size_t start = i;
      std::uint32_t type = 0;
      while (i < line.size() && hexDigit(line[i]) >= 0 && i - start < 8) type = (type << 4) | hexDigit(line[i++]);
      if (i == start || i + 1 >= line.size() || line[i] != ')' || line[i + 1] != ':') {
        why_ = "hex(N): needs a type of 1 to 8 hex digits";
        return false;
      }
      op->type = type;
      return parseHex(line, i + 2, op);
    }
    why_ = "unknown value data (expected \"text\", dword:, hex:, hex(N): or -)";
    return false;
  }

  // Comma-separated hex bytes from line[i] on, continued on the next lines
  // while a line ends with a backslash. A trailing comma is allowed.
  bool parseHex(const std::string& first, std::size_t i, RegOp* op) {
    std::string text = rtrim(first.substr(i));
    std::string all;
    std::vector<std::pair<std::size_t, std::size_t>> starts;   // offset in `all`, line index
    std::size_t lineIndex = index_;
    for (;;) {
      bool more = !text.empty() && text.back() == '\\';
      if (more) text.pop_back();
      starts.emplace_back(all.size(), lineIndex);
      all += text;
      if (!more) break;
      if (++lineIndex >= lines_.size()) {
        errorLine_ = lineIndex;
        why_ = "hex data continued past the end of the file";
        return false;
      }
      text = rtrim(lines_[lineIndex]);
      text.erase(0, skipSpace(text, 0));
    }
    for (std::size_t k = 0; k < all.size();) {
      k = skipSpace(all, k);
      std::size_t start = k;
      int value = 0;
      while (k < all.size() && hexDigit(all[k]) >= 0 && k - start < 2) value = value * 16 + hexDigit(all[k++]);
      std::size_t end = skipSpace(all, k);
      if (k == start || (end < all.size() && all[end] != ',')) {
        std::size_t line = starts.front().second;
        for (const auto& s : starts) {
          if (s.first <= start) line = s.second;
        }
        std::size_t stop = all.find(',', start);
        errorLine_ = line + 1;
        why_ = "bad hex byte \"" + rtrim(all.substr(start, stop == std::string::npos ? std::string::npos : stop - start)) + "\"";
        return false;
      }
      op->data.push_back(static_cast<char>(value));
      k = end < all.size() ? end + 1 : end;   // past the comma
      if (end < all.size() && skipSpace(all, k) == all.size()) break;   // trailing comma
    }
    index_ = lineIndex;
    if (wideHex_ && (op->type == REG_SZ || op->type == REG_EXPAND_SZ || op->type == REG_MULTI_SZ)) {
      if (op->data.size() % 2 != 0) {
        errorLine_ = op->line;
        why_ = "odd number of bytes in UTF-16 text";
        return false;
      }
      std::u16string wide;
      for (std::size_t k = 0; k < op->data.size(); k += 2) {
        wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(op->data[k]) |
                                             (static_cast<unsigned char>(op->data[k + 1]) << 8)));
      }
      char16_t bad = 0;
      std::string narrow;
      if (!toNarrow(wide, &narrow, &bad)) {
        errorLine_ = op->line;
        why_ = "character " + hex4(bad) + " has no code page 932 code";
        return false;
      }
      op->data = narrow;
    }
    return true;
  }

  const std::vector<std::string>& lines_;
  bool wideHex_;
  std::size_t index_ = 0;
  std::size_t errorLine_ = 0;   // 1-based line of an error elsewhere than the current line
  std::string why_;
};

}  // namespace

const char* rootName(HKEY root) {
  for (const Root& r : kRoots) {
    if (r.key == root) return r.name;
  }
  return nullptr;
}

bool parseRegText(const std::string& bytes, std::vector<RegOp>* ops, std::string* error) {
  std::vector<std::string> lines;
  bool wideHex = false;
  std::string ignored;
  std::string* err = error ? error : &ignored;
  ops->clear();
  if (!decodeLines(bytes, &lines, &wideHex, err)) return false;
  Parser parser(lines, wideHex);
  return parser.run(ops, err);
}

}  // namespace regfile
}  // namespace tobrel
