// Build-time generator of the code page 932 conversion tables.
//
//   cp932gen <bestfit932.txt.gz> <out.cpp>
//
// Reads Microsoft's published "best fit" table of the code page (gzip
// compressed text) and writes the C++ definitions declared in
// TobrelTools/platform/internal/cp932_tables.h. MBTABLE gives the single bytes,
// DBCSRANGE and the DBCSTABLE sections that follow it give the double-byte
// characters, WCTABLE gives the encoding of each 16-bit unit. Anything the
// generator does not understand fails the build with a message naming the
// line, so that a damaged or different table never turns into silently wrong
// conversions.
#include <zlib.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "TobrelTools/platform/cp932.h"

namespace {

struct Reader {
  gzFile file = nullptr;
  std::string name;
  long lineNo = 0;

  // The next line without its comment (from ';'), its line end and the blanks
  // around it; false at the end of the file.
  bool next(std::string& line, std::string& comment) {
    char buf[1024];
    if (!gzgets(file, buf, sizeof buf)) return false;
    ++lineNo;
    std::string raw(buf);
    if (!raw.empty() && raw.back() != '\n' && !gzeof(file)) fail("line too long");
    std::size_t semi = raw.find(';');
    comment = semi == std::string::npos ? std::string() : raw.substr(semi + 1);
    line = semi == std::string::npos ? raw : raw.substr(0, semi);
    trim(line);
    trim(comment);
    return true;
  }

  // The next line that is not blank; fails at the end of the file.
  void nextContent(std::string& line, std::string& comment) {
    do {
      if (!next(line, comment)) fail("unexpected end of the table");
    } while (line.empty());
  }

  [[noreturn]] void fail(const std::string& what) const {
    std::fprintf(stderr, "cp932gen: %s:%ld: %s\n", name.c_str(), lineNo, what.c_str());
    std::exit(1);
  }

  static void trim(std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    s = s.substr(b, e - b);
  }
};

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    std::size_t b = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > b) out.push_back(line.substr(b, i - b));
  }
  return out;
}

// A number written in decimal or as 0x hex, at most max.
unsigned long number(const Reader& r, const std::string& word, unsigned long max) {
  char* end = nullptr;
  unsigned long v = std::strtoul(word.c_str(), &end, 0);
  if (word.empty() || *end != '\0' || v > max) r.fail("bad number '" + word + "'");
  return v;
}

// One "code unit" row of a table section.
void pair(Reader& r, unsigned long maxCode, unsigned long& code, unsigned long& unit) {
  std::string line, comment;
  r.nextContent(line, comment);
  std::vector<std::string> w = words(line);
  if (w.size() != 2) r.fail("expected a row of two numbers");
  code = number(r, w[0], maxCode);
  unit = number(r, w[1], 0xFFFF);
}

void emit(FILE* out, const char* decl, const std::vector<unsigned>& values) {
  std::fprintf(out, "%s = {", decl);
  for (std::size_t i = 0; i < values.size(); ++i)
    std::fprintf(out, "%s0x%X,", i % 16 == 0 ? "\n  " : "", values[i]);
  std::fprintf(out, "\n};\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: cp932gen <bestfit932.txt.gz> <out.cpp>\n");
    return 2;
  }
  Reader r;
  r.name = argv[1];
  r.file = gzopen(argv[1], "rb");
  if (!r.file) r.fail("cannot open");

  const unsigned kNone = 0xFFFFFFFFu;
  std::vector<unsigned> single(256, kNone);    // byte -> unit
  std::vector<unsigned> lead(256, 0);          // 1 for lead bytes
  std::vector<unsigned> trailSeen(256, 0);     // 1 for bytes some pair ends in
  std::vector<unsigned> dbl(0x8000, 0);        // (lead << 8 | trail) - 0x8000 -> unit
  std::vector<unsigned> enc(0x10000, kNone);   // unit -> code
  unsigned defaultByte = 0, defaultUnit = 0;
  bool sawCodePage = false, sawInfo = false, sawMb = false, sawDbcs = false, sawWc = false;
  long doubleRows = 0;

  std::string line, comment;
  while (r.next(line, comment)) {
    if (line.empty()) continue;
    std::vector<std::string> w = words(line);
    const std::string& kw = w[0];
    if (kw == "CODEPAGE") {
      if (w.size() != 2 || number(r, w[1], 0xFFFF) != 932) r.fail("not the table of code page 932");
      sawCodePage = true;
    } else if (kw == "CPINFO") {
      if (w.size() != 4 || number(r, w[1], 2) != 2) r.fail("expected CPINFO 2 <byte> <unit>");
      defaultByte = number(r, w[2], 0x7F);
      defaultUnit = number(r, w[3], 0xFFFF);
      sawInfo = true;
    } else if (kw == "MBTABLE") {
      if (w.size() != 2) r.fail("expected MBTABLE <count>");
      unsigned long n = number(r, w[1], 256);
      for (unsigned long i = 0; i < n; ++i) {
        unsigned long code, unit;
        pair(r, 0xFF, code, unit);
        if (single[code] != kNone) r.fail("byte listed twice");
        single[code] = unit;
      }
      sawMb = true;
    } else if (kw == "DBCSRANGE") {
      if (w.size() != 2) r.fail("expected DBCSRANGE <count>");
      unsigned long ranges = number(r, w[1], 16);
      for (unsigned long k = 0; k < ranges; ++k) {
        r.nextContent(line, comment);
        std::vector<std::string> rw = words(line);
        if (rw.size() != 2) r.fail("expected a lead byte range");
        unsigned long lo = number(r, rw[0], 0xFF), hi = number(r, rw[1], 0xFF);
        if (lo < 0x80 || hi < lo) r.fail("bad lead byte range");
        for (unsigned long lb = lo; lb <= hi; ++lb) {
          r.nextContent(line, comment);
          std::vector<std::string> tw = words(line);
          if (tw.size() != 2 || tw[0] != "DBCSTABLE") r.fail("expected DBCSTABLE <count>");
          // The comment names the lead byte; when it does, it must agree with
          // the position of the section in its range.
          std::size_t eq = comment.find("LeadByte =");
          if (eq != std::string::npos) {
            std::string named = comment.substr(eq + 10);
            Reader::trim(named);
            if (number(r, named, 0xFF) != lb) r.fail("DBCSTABLE out of order");
          }
          if (lead[lb]) r.fail("lead byte listed twice");
          lead[lb] = 1;
          unsigned long n = number(r, tw[1], 256);
          for (unsigned long i = 0; i < n; ++i) {
            unsigned long trail, unit;
            pair(r, 0xFF, trail, unit);
            unsigned idx = static_cast<unsigned>((lb << 8 | trail) - 0x8000);
            if (dbl[idx]) r.fail("double-byte code listed twice");
            trailSeen[trail] = 1;
            if (unit == 0) r.fail("double-byte code decodes to U+0000");
            dbl[idx] = unit;
            ++doubleRows;
          }
        }
      }
      sawDbcs = true;
    } else if (kw == "WCTABLE") {
      if (w.size() != 2) r.fail("expected WCTABLE <count>");
      unsigned long n = number(r, w[1], 0x10000);
      for (unsigned long i = 0; i < n; ++i) {
        unsigned long unit, code;
        pair(r, 0xFFFF, unit, code);
        if (enc[unit] != kNone) r.fail("unit listed twice");
        if (code > 0xFF ? !lead[code >> 8] : lead[code]) r.fail("code is neither a single byte nor a lead-byte pair");
        if (code == 0 && unit != 0) r.fail("only U+0000 may encode to the byte 0");
        enc[unit] = code;
      }
      sawWc = true;
    } else if (kw == "ENDCODEPAGE") {
      break;
    } else {
      r.fail("unknown section '" + kw + "'");
    }
  }
  gzclose(r.file);
  if (!sawCodePage || !sawInfo || !sawMb || !sawDbcs || !sawWc) r.fail("a section is missing");
  if (single[0] != 0 || enc[0] != 0) r.fail("the byte 0 must be U+0000 both ways");

  // A byte the table gives neither as a character nor as a lead byte decodes
  // to the default unit; a lead byte has no single-byte meaning (0 here).
  for (unsigned b = 0; b < 256; ++b) {
    if (lead[b] && single[b] != kNone) r.fail("a byte is both a character and a lead byte");
    if (single[b] == kNone) single[b] = lead[b] ? 0 : defaultUnit;
  }
  for (unsigned u = 0; u < 0x10000; ++u)
    if (enc[u] == kNone) enc[u] = 0;   // 0 means "no code" for every unit but U+0000

  // The decoder looks a pair up without a second test: a lead byte with a
  // trail byte that the table does not list gives the default unit. Which
  // pairs the table really lists is kept in a bitmap beside it.
  std::vector<unsigned> listed(0x8000 / 8, 0);
  for (unsigned idx = 0; idx < 0x8000; ++idx) {
    unsigned lb = (idx + 0x8000) >> 8, trail = idx & 0xFF;
    if (dbl[idx]) listed[idx / 8] |= 1u << (idx % 8);
    else if (lead[lb] && trailSeen[trail]) dbl[idx] = defaultUnit;
  }
  // Whether the bytes below 0x80 are the units below 0x80 both ways, which
  // lets the converters copy runs of them without looking them up.
  bool asciiSame = true;
  for (unsigned b = 0; b < 0x80; ++b) asciiSame = asciiSame && single[b] == b && enc[b] == b && !lead[b];

  // The library tests bytes with cp932IsLeadByte and cp932IsTrailByte, not
  // with tables: the published table must have exactly those byte classes.
  for (unsigned b = 0; b < 256; ++b) {
    if ((lead[b] != 0) != tobrel::cp932IsLeadByte(static_cast<unsigned char>(b)) ||
        (trailSeen[b] != 0) != tobrel::cp932IsTrailByte(static_cast<unsigned char>(b))) {
      std::fprintf(stderr, "cp932gen: the table's lead or trail bytes differ from cp932.h at 0x%02X\n", b);
      return 1;
    }
  }

  FILE* out = std::fopen(argv[2], "w");
  if (!out) {
    std::fprintf(stderr, "cp932gen: cannot write %s\n", argv[2]);
    return 1;
  }
  std::fprintf(out,
               "// Generated at build time by cp932gen from bestfit932.txt.gz; do not edit.\n"
               "// %ld double-byte rows.\n"
               "#include \"TobrelTools/platform/internal/cp932_tables.h\"\n"
               "\n"
               "namespace tobrel {\nnamespace cp932 {\n\n"
               "const unsigned char kDefaultByte = 0x%X;\n"
               "const unsigned short kDefaultUnit = 0x%X;\n"
               "const bool kAsciiSame = %s;\n\n",
               doubleRows, defaultByte, defaultUnit, asciiSame ? "true" : "false");
  emit(out, "const unsigned short kSingle[256]", single);
  emit(out, "const unsigned short kDouble[0x8000]", dbl);
  emit(out, "const unsigned char kDoubleListed[0x1000]", listed);
  emit(out, "const unsigned short kEncode[0x10000]", enc);
  std::vector<unsigned> twoBytes(0x10000, 0);
  for (unsigned u = 0; u < 0x10000; ++u) twoBytes[u] = enc[u] > 0xFF;
  emit(out, "const unsigned char kEncodeDouble[0x10000]", twoBytes);
  std::fprintf(out, "}  // namespace cp932\n}  // namespace tobrel\n");
  if (std::fclose(out) != 0) {
    std::fprintf(stderr, "cp932gen: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
