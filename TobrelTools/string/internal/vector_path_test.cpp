// The vector forms of the string loops against the plain ones, on random
// texts at every alignment: case conversion (blocks of 64 bytes, pairs split
// across blocks, lone lead bytes at the end, NULs inside) and the candidate
// scan of the case-insensitive search (never reading outside its range).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "TobrelTools/string/internal/byte_scan.h"
#include "TobrelTools/string/internal/case_convert.h"

namespace {

using tobrel::VectorPath;

// The vector paths this host runs (none on hosts without them).
std::vector<VectorPath> vectorPaths() {
  std::vector<VectorPath> out;
  for (VectorPath path : {VectorPath::kSse2, VectorPath::kAvx2}) {
    if (tobrel::vectorPathAvailable(path)) out.push_back(path);
  }
  return out;
}

const char* nameOf(VectorPath path) {
  return path == VectorPath::kAvx2 ? "avx2" : path == VectorPath::kSse2 ? "sse2" : "plain";
}

TEST(VectorPathTest, FastestIsAvailableAndPlainAlwaysIs) {
  EXPECT_TRUE(tobrel::vectorPathAvailable(VectorPath::kPlain));
  EXPECT_TRUE(tobrel::vectorPathAvailable(tobrel::fastestVectorPath()));
#if defined(__x86_64__) && !defined(_WIN32)
  EXPECT_TRUE(tobrel::vectorPathAvailable(VectorPath::kSse2));  // part of every x86-64 processor
#endif
}

// Whole characters that matter to the case conversion: ASCII letters and
// neighbours, both halves of every family of case pairs, the edges of the
// case spans, kanji and kana with letter-like trail bytes, half-width
// katakana and bytes that are no lead byte.
const char* const kPieces[] = {
    "a",        "z",        "A",        "Z",        "@",        "[",        "`",        "{",
    " ",        "\x82\x60", "\x82\x79", "\x82\x81", "\x82\x9A", "\x82\x5F", "\x82\x9B", "\x83\x9F",
    "\x83\xB6", "\x83\xBF", "\x83\xD6", "\x84\x40", "\x84\x60", "\x84\x70", "\x84\x91", "\x87\x54",
    "\x87\x5D", "\xEE\xEF", "\xEE\xF8", "\xFA\x40", "\xFA\x49", "\xFA\x4A", "\xFA\x53", "\x83\x61",
    "\x83\x7A", "\x93\x41", "\x8C\x6E", "\xE0\x5A", "\xFC\x4B", "\xB1",     "\x80",     "\xA0",
    "\xFD",     "\x82\xA0", "\x82\x82", "\x83\x83", "\x84\x84", "\x87\x87", "\xFA\xFA", "\x81\x81"};

// Single bytes too, so that lead bytes also meet arbitrary partners and
// runs of lead-range bytes of any parity occur.
const unsigned char kBytes[] = {0x82, 0x83, 0x84, 0x87, 0xEE, 0xFA, 0x81, 0x9F, 0xE0, 0xFC,
                                0x60, 0x81, 0x9F, 0xBF, 0x40, 0x70, 0x54, 0x4A, 0xEF, 'a',
                                'Z',  'q',  0xB1, 0x80, 0xFD, ' ',  0x7F};

std::string mixedText(std::mt19937& rng, std::size_t length) {
  std::string s;
  const bool bytesToo = rng() % 2 == 0;
  while (s.size() < length) {
    if (bytesToo && rng() % 4 == 0) {
      s += static_cast<char>(kBytes[rng() % sizeof kBytes]);
    } else {
      s += kPieces[rng() % (sizeof kPieces / sizeof kPieces[0])];
    }
  }
  s.resize(length);
  return s;
}

// The places a block-wise conversion can go wrong: a lead byte right at a
// block end or start, a lone lead byte as the last byte, a NUL inside.
void plantEdges(std::mt19937& rng, std::string& s) {
  if (s.empty()) return;
  switch (rng() % 6) {
    case 0:
      for (std::size_t at : {63, 64, 127, 128}) {
        if (at < s.size()) s[at] = static_cast<char>(0x82);
      }
      break;
    case 1:
      s.back() = static_cast<char>(0x83);
      break;
    case 2:
      s[rng() % s.size()] = '\0';
      break;
    default:
      break;
  }
}

TEST(CaseConvertPathsTest, EveryPathGivesTheWalksBytes) {
  std::mt19937 rng(5932);
  const std::vector<VectorPath> paths = vectorPaths();
  for (int round = 0; round < 4000; ++round) {
    const std::size_t length = round % 10 == 0 ? 64 * (1 + rng() % 20) + rng() % 3 : rng() % 400;
    std::string text = mixedText(rng, length);
    plantEdges(rng, text);
    const std::size_t offset = rng() % 64;  // every alignment of the blocks
    const bool upper = rng() % 2 == 0;
    std::vector<char> expected(offset + length + 1, '#');
    std::memcpy(expected.data() + offset, text.data(), length);
    std::vector<char> original = expected;
    const std::size_t expectedLength =
        tobrel::convertCaseBy(VectorPath::kPlain, expected.data() + offset, length, upper);
    for (VectorPath path : paths) {
      std::vector<char> got = original;
      const std::size_t gotLength = tobrel::convertCaseBy(path, got.data() + offset, length, upper);
      ASSERT_EQ(gotLength, expectedLength) << nameOf(path) << (upper ? " upper " : " lower ")
                                           << testing::PrintToString(text);
      // Also the bytes after a NUL and outside the range stay as they were.
      ASSERT_EQ(got, expected) << nameOf(path) << (upper ? " upper " : " lower ") << testing::PrintToString(text);
    }
  }
}

// The scan's result by its definition.
const unsigned char* firstWanted(const unsigned char* p, const unsigned char* end, const unsigned char* set, int count) {
  for (; p != end; ++p) {
    if (*p == 0) return p;
    for (int k = 0; k < count && k < 3; ++k) {
      if (*p == set[k]) return p;
    }
  }
  return end;
}

TEST(ByteScanPathsTest, EveryPathFindsTheFirstWantedByteOrNul) {
  // Letters in both cases (the scan folds such pairs), bytes above 0x80,
  // and the NUL.
  static const unsigned char alphabet[] = {'n', 'N', 'a', 'A', 0x6E ^ 0x80, 0x4E ^ 0x80, 0x40, 0x60,
                                           0x82, 0xA2, 'x', ' ', '.', 0xFF};
  static const unsigned char setValues[] = {'n', 'N', 'a', 0x40, 0x60, 0x82, 0xA2, 0xFF, 0x01};
  std::mt19937 rng(1932);
  std::vector<VectorPath> paths = vectorPaths();
  paths.push_back(VectorPath::kPlain);
  for (int round = 0; round < 6000; ++round) {
    const std::size_t length = rng() % 300;
    // Exactly the range, so that a memory checker sees any read outside it.
    std::unique_ptr<unsigned char[]> text(new unsigned char[length]);
    const int nulChance = rng() % 3 == 0 ? 200 : 0;
    const int density = 1 + static_cast<int>(rng() % 300);
    for (std::size_t k = 0; k < length; ++k) {
      unsigned char b = rng() % static_cast<unsigned>(density) == 0 ? alphabet[rng() % sizeof alphabet] : 'x';
      if (nulChance && rng() % static_cast<unsigned>(nulChance) == 0) b = 0;
      text[k] = b;
    }
    unsigned char set[3];
    const int count = static_cast<int>(rng() % 4);
    for (unsigned char& v : set) v = setValues[rng() % sizeof setValues];
    if (count == 2 && rng() % 2) set[1] = static_cast<unsigned char>(set[0] ^ 0x20);  // a folded pair
    const std::size_t from = length ? rng() % (length + 1) : 0;
    const unsigned char* begin = text.get() + from;
    const unsigned char* end = text.get() + length;
    const unsigned char* expected = firstWanted(begin, end, set, count);
    for (VectorPath path : paths) {
      ASSERT_EQ(tobrel::candidateScanBy(path, set, count)(begin, end) - begin, expected - begin)
          << nameOf(path) << " count " << count << " length " << length << " from " << from;
    }
  }
}

}  // namespace
