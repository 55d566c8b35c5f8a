// The names and data the registry transcript draws from, as code page 932
// bytes. Most entries are written as UTF-16 and converted with the library's
// code page 932 conversion (the same on both hosts for text the code page
// has); a few are raw bytes, for characters that have two codes.
#ifndef TOBRELTOOLS_TESTS_REGDIFF_POOL_H_
#define TOBRELTOOLS_TESTS_REGDIFF_POOL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/platform.h"

namespace tobrel {
namespace regdiff {

class Pool {
 public:
  Pool() {
    tobrel::selectJapaneseLocale();
    const char16_t* const wide[] = {
        // ASCII in both cases, and '_' which sorts between the cases
        u"alpha", u"ALPHA", u"Zeta", u"zeta", u"_x", u"Mixed Case", u"x.y",
        // full-width Latin, Greek, Cyrillic: each a case pair
        u"Ａ", u"ａ", u"ＺＥＴＡ", u"ｚｅｔａ", u"Ω", u"ω", u"Α", u"α", u"ΣΟΦΙΑ", u"σοφια",
        u"Ж", u"ж", u"Ё", u"ё", u"МОСКВА", u"москва",
        // Japanese: no case; code order differs from UTF-16 order
        u"一", u"亜", u"漾", u"ｱ", u"ア", u"表", u"ソフト", u"日本語", u"キー・ドット",
        // Roman numerals: a case pair whose lower case is an IBM extension
        u"Ⅰ", u"ⅰ", u"Ⅹ", u"ⅹ",
    };
    for (const char16_t* w : wide) short_.push_back(narrow(w));
    // Second codes of characters: NEC ≒ (81E0), NEC-selected IBM 纊 (FA5C)
    // and ⅰ (FA40); the registry keeps the character, not the code.
    short_.push_back("\x87\x90");
    short_.push_back("\xED\x40");
    short_.push_back("\xEE\xEF");
    // Names at the length limits (255 characters for a key name, 16383 for
    // a value name) and one past them, single- and double-byte.
    keyLong_ = {std::string(255, 'k'), std::string(256, 'k'), repeat(u"Ｋ", 255), repeat(u"ｋ", 256),
                repeat(u"Ｋ", 254) + "k"};
    valueLong_ = {std::string(16383, 'v'), std::string(16384, 'v'), repeat(u"ｖ", 16383), repeat(u"Ｖ", 16384)};
    const char16_t* const texts[] = {
        u"", u"plain text", u"line1\r\nline2", u"tab\there", u"%TEMP%\\dir", u"ｶﾀｶﾅ", u"全角スペース　",
        u"表示\\ソ", u"～",
    };
    for (const char16_t* w : texts) texts_.push_back(narrow(w));
    for (const std::string& s : short_) texts_.push_back(s);
    // Single bytes the code page maps to control and private-use characters.
    texts_.push_back("\x80");
    texts_.push_back("\xA0\xFD\xFE\xFF");
    // Lead and trail bytes that the code page gives no character.
    texts_.push_back("\x85\x40");
    texts_.push_back("x\xEF\x40y");
  }

  // A checksum of every entry: transcripts of hosts whose conversions made
  // other bytes of the pool differ from their first line on.
  std::uint32_t checksum() const {
    std::uint32_t h = 2166136261u;
    for (const std::vector<std::string>* list : {&short_, &keyLong_, &valueLong_, &texts_}) {
      for (const std::string& s : *list) {
        for (unsigned char c : s) h = (h ^ c) * 16777619u;
        h = (h ^ 0xFFu) * 16777619u;
      }
    }
    return h;
  }

  std::string keyName(std::uint64_t r) const {
    if (r % 20 == 0) return keyLong_[(r / 20) % keyLong_.size()];
    return short_[(r / 20) % short_.size()];
  }

  std::string valueName(std::uint64_t r) const {
    if (r % 40 == 0) return valueLong_[(r / 40) % valueLong_.size()];
    if (r % 40 < 4) return std::string();   // the default value
    return short_[(r / 40) % short_.size()];
  }

  // Data of a random type; *type receives it.
  std::string data(std::uint64_t r, DWORD* type) const {
    std::uint64_t kind = r % 100;
    r /= 100;
    std::string text = texts_[r % texts_.size()];
    r /= texts_.size();
    if (kind < 30) {
      *type = REG_SZ;
      switch (r % 10) {
        case 0: return text;                                     // no terminator
        case 1: return std::string();                            // no data at all
        case 2: return text + std::string(2, '\0');              // two terminators
        case 3: return text + std::string(1, '\0') + "tail";     // text after the terminator
        default: return text + std::string(1, '\0');
      }
    }
    if (kind < 40) {
      *type = REG_EXPAND_SZ;
      return "%SystemRoot%\\" + text + std::string(1, '\0');
    }
    if (kind < 55) {
      *type = REG_MULTI_SZ;
      std::string out;
      for (std::uint64_t n = r % 4; n > 0; --n) {
        r /= 7;
        out += texts_[r % texts_.size()] + std::string(1, '\0');
      }
      return out + std::string(1, '\0');
    }
    std::string bytes;
    std::size_t size = kind < 70 ? (r % 24) : kind < 80 ? 4 : kind < 85 ? 8 : (r % 6);
    std::uint64_t x = r * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i < size; ++i) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      bytes += static_cast<char>(x & 0xFF);
    }
    *type = kind < 70 ? REG_BINARY : kind < 80 ? REG_DWORD : kind < 85 ? REG_QWORD : kind < 92 ? REG_NONE
                                   : kind < 96 ? REG_DWORD_BIG_ENDIAN : 0x12345;
    return bytes;
  }

 private:
  static std::string narrow(const char16_t* w) {
    std::vector<unsigned short> units;
    for (const char16_t* p = w; *p; ++p) units.push_back(*p);
    units.push_back(0);
    std::size_t n = tobrel::wideToCp932(nullptr, units.data(), 0);
    std::string out(n + 1, '\0');
    out.resize(tobrel::wideToCp932(&out[0], units.data(), n + 1));
    return out;
  }
  static std::string repeat(const char16_t* w, std::size_t n) {
    std::string one = narrow(w), out;
    for (std::size_t i = 0; i < n; ++i) out += one;
    return out;
  }

  std::vector<std::string> short_;
  std::vector<std::string> keyLong_;
  std::vector<std::string> valueLong_;
  std::vector<std::string> texts_;
};

}  // namespace regdiff
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_REGDIFF_POOL_H_
