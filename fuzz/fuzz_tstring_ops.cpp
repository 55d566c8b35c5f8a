// The tstring case conversion and case-insensitive search on arbitrary
// bytes: every vector form of the conversion and of the candidate scan
// gives what the plain one gives, ifind gives what finding the lowered
// needle in the lowered text gives, and compareNoCase orders a text and its
// case-changed variants as the character comparison _mbsicmp does. A
// difference aborts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "TobrelTools/string/internal/byte_scan.h"
#include "TobrelTools/string/internal/case_convert.h"
#include "TobrelTools/string/tstring.h"

namespace {

using tobrel::VectorPath;

const VectorPath kPaths[] = {VectorPath::kSse2, VectorPath::kAvx2};

void checkConversion(const std::string& text, std::size_t offset, bool upper) {
  // The text at an offset in its buffer, so that the blocks fall anywhere.
  std::vector<char> plain(offset + text.size());
  std::copy(text.begin(), text.end(), plain.begin() + static_cast<std::ptrdiff_t>(offset));
  const std::vector<char> original = plain;
  const std::size_t length = tobrel::convertCaseBy(VectorPath::kPlain, plain.data() + offset, text.size(), upper);
  for (VectorPath path : kPaths) {
    if (!tobrel::vectorPathAvailable(path)) continue;
    std::vector<char> other = original;
    if (tobrel::convertCaseBy(path, other.data() + offset, text.size(), upper) != length || other != plain) std::abort();
  }
}

void checkScan(const std::string& text, const unsigned char set[3], int count) {
  const unsigned char* begin = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* end = begin + text.size();
  const unsigned char* expected = tobrel::candidateScanBy(VectorPath::kPlain, set, count)(begin, end);
  for (VectorPath path : kPaths) {
    if (tobrel::candidateScanBy(path, set, count)(begin, end) != expected) std::abort();
  }
}

void checkSearch(const std::string& text, const std::string& needle) {
  std::tstring t(std::tstring::base_type(text.data(), text.size()));
  std::tstring n(std::tstring::base_type(needle.data(), needle.size()));
  std::tstring lowText(t), lowNeedle(n);
  lowText.toLower();
  lowNeedle.toLower();
  const std::size_t pos = static_cast<const std::tstring::base_type&>(lowText).find(lowNeedle.data(), 0, lowNeedle.size());
  const unsigned int expected = pos == std::tstring::base_type::npos ? 0xFFFFFFFFu : static_cast<unsigned int>(pos);
  if (t.ifind(n) != expected) std::abort();
}

int sign(int v) { return (v > 0) - (v < 0); }

// The text against itself with the case of its letters changed from a point
// on (long runs that differ only in case), and against a copy cut short.
void checkCompare(const std::string& text, std::size_t from, bool upper) {
  std::tstring t(std::tstring::base_type(text.data(), text.size()));
  std::string changed = text;
  for (std::size_t i = from; i < changed.size(); ++i) {
    const char c = changed[i];
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) changed[i] = static_cast<char>(upper ? c & ~0x20 : c | 0x20);
  }
  for (const std::string& other : {changed, text.substr(0, from)}) {
    std::tstring o(std::tstring::base_type(other.data(), other.size()));
    const int expected = sign(_mbsicmp(reinterpret_cast<const unsigned char*>(t.c_str()),
                                       reinterpret_cast<const unsigned char*>(o.c_str())));
    if (sign(t.compareNoCase(o)) != expected || sign(t.compareNoCase(o.c_str())) != expected) std::abort();
  }
}

}  // namespace

// The first byte chooses the offset and direction, the second where the
// needle (the last part) begins; the rest is the text.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t offset = data[0] & 63;
  const bool upper = (data[0] & 64) != 0;
  const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::size_t split = rest.empty() ? 0 : rest.size() - data[1] % (rest.size() < 40 ? rest.size() + 1 : 41);
  checkConversion(rest, offset, upper);
  const unsigned char set[3] = {data[1], static_cast<unsigned char>(data[1] ^ 0x20), data[0]};
  checkScan(rest, set, 1 + data[0] % 3);
  checkSearch(rest.substr(0, split), rest.substr(split));
  checkCompare(rest, rest.empty() ? 0 : data[1] % rest.size(), upper);
  return 0;
}
