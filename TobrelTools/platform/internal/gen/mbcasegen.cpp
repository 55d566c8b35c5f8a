// Build-time generator of the double-byte case pairs of code page 932.
//
//   mbcasegen <out.cpp>
//
// A double-byte character changes case when its decoded character (through
// the code page tables generated from the published table) has a Unicode
// simple case partner (ICU's u_toupper / u_tolower) that encodes back to a
// double-byte code of its own. Everything else keeps its code. The result is
// written as per-lead-byte tables: only the few lead bytes that hold case
// pairs get a table, so a lookup is one index. The generator refuses to
// write tables that lack one of the four families that must change case
// (full-width Latin, Greek, Cyrillic, Roman numerals), so a broken input
// fails the build instead of producing wrong case mapping.
#include <unicode/uchar.h>

#include <cstdio>
#include <map>
#include <string>

#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/internal/cp932_tables.h"

namespace {

using tobrel::cp932::kDouble;
using tobrel::cp932::kEncode;
using tobrel::cp932IsLeadByte;
using tobrel::cp932IsTrailByte;

// code -> partner code, for one direction.
std::map<unsigned, unsigned> pairs(bool upper) {
  std::map<unsigned, unsigned> out;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (!cp932IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      if (!cp932IsTrailByte(static_cast<unsigned char>(trail))) continue;
      unsigned code = lead << 8 | trail;
      unsigned unit = kDouble[code - 0x8000];
      if (!unit) continue;
      unsigned mapped = static_cast<unsigned>(upper ? u_toupper(static_cast<UChar32>(unit))
                                                    : u_tolower(static_cast<UChar32>(unit)));
      if (mapped == unit || mapped > 0xFFFF) continue;
      unsigned partner = kEncode[mapped];
      if (partner < 0x100 || partner == code) continue;  // no double-byte code of its own
      out[code] = partner;
    }
  }
  return out;
}

bool covers(const std::map<unsigned, unsigned>& m, unsigned code) { return m.count(code) != 0; }

void emit(FILE* f, const char* name, const std::map<unsigned, unsigned>& m) {
  std::map<unsigned, std::map<unsigned, unsigned>> byLead;
  for (const auto& p : m) byLead[p.first >> 8][p.first & 0xFF] = p.second;
  for (const auto& lead : byLead) {
    std::fprintf(f, "static const unsigned short %s_%02X[256] = {", name, lead.first);
    for (unsigned t = 0; t < 256; ++t) {
      auto it = lead.second.find(t);
      std::fprintf(f, "%s0x%X,", t % 16 ? "" : "\n  ", it == lead.second.end() ? 0u : it->second);
    }
    std::fprintf(f, "\n};\n");
  }
  std::fprintf(f, "const unsigned short* const %s[256] = {", name);
  for (unsigned l = 0; l < 256; ++l) {
    std::string entry = "nullptr";
    if (byLead.count(l)) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%02X", l);
      entry = std::string(name) + "_" + hex;
    }
    std::fprintf(f, "%s%s,", l % 8 ? " " : "\n  ", entry.c_str());
  }
  std::fprintf(f, "\n};\n");
  std::fprintf(f, "const CaseSpan %sSpans[] = {\n", name);
  for (const auto& lead : byLead) {
    std::fprintf(f, "  {0x%02X, 0x%02X, 0x%02X},\n", lead.first, lead.second.begin()->first,
                 lead.second.rbegin()->first);
  }
  std::fprintf(f, "};\nconst int %sSpanCount = %zu;\n\n", name, byLead.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mbcasegen <out.cpp>\n");
    return 2;
  }
  std::map<unsigned, unsigned> up = pairs(true), down = pairs(false);
  // Ａ/ａ, Α/α, А/а, Ⅰ/ⅰ: one sample of each family that must change case.
  if (!covers(up, 0x8281) || !covers(down, 0x8260) || !covers(up, 0x83BF) || !covers(down, 0x839F) ||
      !covers(up, 0x8470) || !covers(down, 0x8440) || !covers(up, 0xFA40) || !covers(down, 0x8754)) {
    std::fprintf(stderr, "mbcasegen: the code page tables lack case pairs that must exist\n");
    return 1;
  }
  FILE* f = std::fopen(argv[1], "w");
  if (!f) {
    std::fprintf(stderr, "mbcasegen: cannot write %s\n", argv[1]);
    return 1;
  }
  std::fprintf(f,
               "// Generated at build time by mbcasegen from the code page 932 tables and\n"
               "// ICU's simple case mapping; do not edit. %zu upper, %zu lower pairs.\n"
               "#include \"TobrelTools/platform/internal/mbcase_tables.h\"\n"
               "\n"
               "namespace tobrel {\nnamespace mbcase {\n\n",
               up.size(), down.size());
  emit(f, "kUpper", up);
  emit(f, "kLower", down);
  std::fprintf(f, "}  // namespace mbcase\n}  // namespace tobrel\n");
  return std::fclose(f) == 0 ? 0 : 1;
}
