// Fuzz target: the tokenizer and the code page 932 string functions on
// arbitrary bytes. The first byte picks the rule, the bytes up to the first
// 0x01 are the delimiters, the rest is the line. Checks the tokenizer's own
// invariants (counts agree with the walk, tokens are non-empty, copies agree)
// and that searches only report character starts.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "TobrelTools/platform/platform.h"
#include "TobrelTools/string/st.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

bool startsCharacter(const std::string& s, std::size_t pos) {
  std::size_t i = 0;
  while (i < pos) i += IsDBCSLeadByte(static_cast<BYTE>(s[i])) && i + 1 < s.size() ? 2 : 1;
  return i == pos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  bool rule = data[0] & 1;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t split = rest.find('\x01');
  std::string delim = split == std::string::npos ? std::string("\r\n\"") : rest.substr(0, split);
  std::string line = split == std::string::npos ? rest : rest.substr(split + 1);
  line = line.c_str();  // the tokenizer and the C functions see text up to the NUL
  delim = delim.c_str();

  StringTokenizer st(line.c_str(), delim.c_str(), rule);
  int count = st.tokenNum();
  StringTokenizer copy(st);
  int walked = 0;
  std::size_t bytes = 0;
  while (const char* token = st.nextToken()) {
    check(*token != '\0');
    bytes += std::strlen(token);
    ++walked;
    check(st.hasMoreTokens() == (walked < count));
  }
  check(walked == count && bytes <= line.size());
  check(copy.tokenNum() == count);

  if (!delim.empty()) {
    const unsigned char* text = reinterpret_cast<const unsigned char*>(line.c_str());
    const unsigned char* hit = _mbsstr(text, reinterpret_cast<const unsigned char*>(delim.c_str()));
    if (hit) {
      std::size_t pos = static_cast<std::size_t>(hit - text);
      check(startsCharacter(line, pos) && line.compare(pos, delim.size(), delim) == 0);
    }
    hit = _mbschr(text, static_cast<unsigned char>(delim[0]));
    if (hit && *hit) check(startsCharacter(line, static_cast<std::size_t>(hit - text)));
    int a = _mbsicmp(text, reinterpret_cast<const unsigned char*>(delim.c_str()));
    int b = _mbsicmp(reinterpret_cast<const unsigned char*>(delim.c_str()), text);
    check((a < 0 && b > 0) || (a == 0 && b == 0) || (a > 0 && b < 0));
  }
  return 0;
}
