// tstring operations beside the nearest standard operation on the same
// text, in the same run: hash vs std::hash<std::string_view>, _tfind and
// ifind vs std::string::find, toUpper vs a byte-wise ASCII toupper loop,
// compareNoCase vs strcasecmp. Texts of 1 KiB and 1 MiB mix ASCII and code
// page 932 Japanese; the ASCII loop is the plain range test the compiler
// vectorizes, not the locale-dependent std::toupper. The needle sits at the very end, so every search scans
// the whole text. Compare each pair's time per byte, and 1 KiB against 1 MiB
// for linear growth.
#include <benchmark/benchmark.h>

#include <strings.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>

#include "TobrelTools/string/tstring.h"

namespace {

// ASCII words, full-width letters, hiragana and kanji (0x5C trail bytes
// included), and half-width katakana.
std::string mixedText(std::size_t size) {
  static const char* const pieces[] = {
      "Hello World, ", "\x82\x60\x82\x81\x82\x62 ", "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x95\x5c ",
      "value=42; ", "\xB1\xB2\xB3 ", "\x83\x65\x83\x4C\x83\x58\x83\x67 ", "path\\to\\file "};
  // Whole pieces only, so the text never ends inside a character.
  std::string out;
  for (std::size_t i = 0; out.size() + std::strlen(pieces[i % 7]) + 10 <= size; ++i) out += pieces[i % 7];
  out.append(size - 10 - out.size(), ' ');
  return out + "NeedleHere";
}

const char kNeedle[] = "NeedleHere";
const char kNeedleUpper[] = "NEEDLEHERE";

void BM_Hash_tstring(benchmark::State& state) {
  std::tstring t(mixedText(state.range(0)).c_str());
  for (auto _ : state) benchmark::DoNotOptimize(t.hash());
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Hash_stdHash(benchmark::State& state) {
  std::string s = mixedText(state.range(0));
  std::hash<std::string_view> h;
  for (auto _ : state) benchmark::DoNotOptimize(h(std::string_view(s)));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Find_tfind(benchmark::State& state) {
  std::tstring t(mixedText(state.range(0)).c_str());
  std::tstring needle(kNeedle);
  for (auto _ : state) benchmark::DoNotOptimize(t._tfind(needle));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Find_ifind(benchmark::State& state) {
  std::tstring t(mixedText(state.range(0)).c_str());
  std::tstring needle(kNeedleUpper);
  for (auto _ : state) benchmark::DoNotOptimize(t.ifind(needle));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Find_stdFind(benchmark::State& state) {
  std::string s = mixedText(state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(s.find(kNeedle));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Both case benchmarks start each round from a fresh copy of the text.
void BM_Case_toUpper(benchmark::State& state) {
  std::tstring source(mixedText(state.range(0)).c_str());
  std::tstring t;
  for (auto _ : state) {
    t = source;
    t.toUpper();
    benchmark::DoNotOptimize(t.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Case_asciiLoop(benchmark::State& state) {
  std::string source = mixedText(state.range(0));
  std::string s;
  for (auto _ : state) {
    s = source;
    for (char& c : s) c = static_cast<unsigned char>(c - 'a') < 26 ? static_cast<char>(c - 0x20) : c;
    benchmark::DoNotOptimize(s.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Compare_compareNoCase(benchmark::State& state) {
  std::tstring a(mixedText(state.range(0)).c_str());
  std::tstring b(a);
  b.toUpper();
  for (auto _ : state) benchmark::DoNotOptimize(a.compareNoCase(b));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Compare_strcasecmp(benchmark::State& state) {
  std::string a = mixedText(state.range(0));
  std::string b = a;
  for (char& c : b) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (auto _ : state) benchmark::DoNotOptimize(strcasecmp(a.c_str(), b.c_str()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

#define SIZES ->Arg(1 << 10)->Arg(1 << 20)
BENCHMARK(BM_Hash_tstring) SIZES;
BENCHMARK(BM_Hash_stdHash) SIZES;
BENCHMARK(BM_Find_tfind) SIZES;
BENCHMARK(BM_Find_ifind) SIZES;
BENCHMARK(BM_Find_stdFind) SIZES;
BENCHMARK(BM_Case_toUpper) SIZES;
BENCHMARK(BM_Case_asciiLoop) SIZES;
BENCHMARK(BM_Compare_compareNoCase) SIZES;
BENCHMARK(BM_Compare_strcasecmp) SIZES;

}  // namespace

BENCHMARK_MAIN();
