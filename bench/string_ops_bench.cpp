// tstring operations beside the nearest standard operation on the same
// text, in the same run: hash vs std::hash<std::string_view>, _tfind and
// ifind vs std::string::find, toUpper and toLower vs byte-wise ASCII case
// loops, compareNoCase vs strcasecmp. Texts of 1 KiB and 1 MiB mix ASCII and
// code page 932 Japanese; the ASCII loops are the plain range tests the
// compiler vectorizes, not the locale-dependent std::toupper. The needle
// sits at the very end, so every search scans the whole text. After the
// usual table, the program prints each operation's time as a multiple of
// its baseline's (CPU time; the median when repeated), per text size.
#include <benchmark/benchmark.h>

#include <strings.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "TobrelTools/string/internal/byte_scan.h"
#include "TobrelTools/string/internal/case_convert.h"
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

void BM_Case_toLower(benchmark::State& state) {
  std::tstring source(mixedText(state.range(0)).c_str());
  source.toUpper();
  std::tstring t;
  for (auto _ : state) {
    t = source;
    t.toLower();
    benchmark::DoNotOptimize(t.data());
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Case_asciiLowerLoop(benchmark::State& state) {
  std::tstring upper(mixedText(state.range(0)).c_str());
  upper.toUpper();
  std::string source(upper.c_str());
  std::string s;
  for (auto _ : state) {
    s = source;
    for (char& c : s) c = static_cast<unsigned char>(c - 'A') < 26 ? static_cast<char>(c + 0x20) : c;
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

// Texts that differ only at the very end, in the same case: the usual
// outcome when names are compared.
void BM_Compare_compareNoCaseSameCase(benchmark::State& state) {
  std::tstring a(mixedText(state.range(0)).c_str());
  std::tstring b(a);
  b[b.size() - 1] = '!';
  for (auto _ : state) benchmark::DoNotOptimize(a.compareNoCase(b));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Compare_strcasecmpSameCase(benchmark::State& state) {
  std::string a = mixedText(state.range(0));
  std::string b = a;
  b[b.size() - 1] = '!';
  for (auto _ : state) benchmark::DoNotOptimize(strcasecmp(a.c_str(), b.c_str()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_Compare_strcasecmp(benchmark::State& state) {
  std::string a = mixedText(state.range(0));
  std::string b = a;
  for (char& c : b) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (auto _ : state) benchmark::DoNotOptimize(strcasecmp(a.c_str(), b.c_str()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The candidate scan of ifind (a letter in both cases, absent from the
// text) and the case conversion, run each way the host has, beside the plain
// loop: what each vector form pays for.
void BM_Scan(benchmark::State& state, tobrel::VectorPath path) {
  if (!tobrel::vectorPathAvailable(path)) return state.SkipWithError("not on this host");
  std::string s = mixedText(state.range(0));
  const unsigned char letter[] = {'Q', 'q'};
  const tobrel::CandidateScan scan = tobrel::candidateScanBy(path, letter, 2);
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  for (auto _ : state) benchmark::DoNotOptimize(scan(p, p + s.size()));
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_CaseBy(benchmark::State& state, tobrel::VectorPath path) {
  if (!tobrel::vectorPathAvailable(path)) return state.SkipWithError("not on this host");
  std::string s = mixedText(state.range(0));
  bool upper = true;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tobrel::convertCaseBy(path, &s[0], s.size(), upper));
    upper = !upper;
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

#define SIZES ->Arg(1 << 10)->Arg(1 << 20)
BENCHMARK_CAPTURE(BM_Scan, plain, tobrel::VectorPath::kPlain) SIZES;
BENCHMARK_CAPTURE(BM_Scan, sse2, tobrel::VectorPath::kSse2) SIZES;
BENCHMARK_CAPTURE(BM_Scan, avx2, tobrel::VectorPath::kAvx2) SIZES;
BENCHMARK_CAPTURE(BM_CaseBy, plain, tobrel::VectorPath::kPlain) SIZES;
BENCHMARK_CAPTURE(BM_CaseBy, sse2, tobrel::VectorPath::kSse2) SIZES;
BENCHMARK_CAPTURE(BM_CaseBy, avx2, tobrel::VectorPath::kAvx2) SIZES;
BENCHMARK(BM_Hash_tstring) SIZES;
BENCHMARK(BM_Hash_stdHash) SIZES;
BENCHMARK(BM_Find_tfind) SIZES;
BENCHMARK(BM_Find_ifind) SIZES;
BENCHMARK(BM_Find_stdFind) SIZES;
BENCHMARK(BM_Case_toUpper) SIZES;
BENCHMARK(BM_Case_asciiLoop) SIZES;
BENCHMARK(BM_Case_toLower) SIZES;
BENCHMARK(BM_Case_asciiLowerLoop) SIZES;
BENCHMARK(BM_Compare_compareNoCase) SIZES;
BENCHMARK(BM_Compare_strcasecmp) SIZES;
BENCHMARK(BM_Compare_compareNoCaseSameCase) SIZES;
BENCHMARK(BM_Compare_strcasecmpSameCase) SIZES;

// The console table, then the ratios of each operation to its baseline.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  // Colours only on a terminal, as the library's own reporter does.
  RatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Color : OO_None) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (!median && run.run_type == Run::RT_Aggregate) continue;
      // A median replaces the single runs it summarizes.
      Entry& e = times_[{run.run_name.function_name, run.run_name.args}];
      if (median || !e.median) e = Entry{run.GetAdjustedCPUTime(), median};
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    static const char* const kPairs[][3] = {
        {"hash", "BM_Hash_tstring", "BM_Hash_stdHash"},
        {"_tfind", "BM_Find_tfind", "BM_Find_stdFind"},
        {"ifind", "BM_Find_ifind", "BM_Find_stdFind"},
        {"toUpper", "BM_Case_toUpper", "BM_Case_asciiLoop"},
        {"toLower", "BM_Case_toLower", "BM_Case_asciiLowerLoop"},
        {"compareNoCase", "BM_Compare_compareNoCase", "BM_Compare_strcasecmp"},
        {"compareNoCase, same case", "BM_Compare_compareNoCaseSameCase", "BM_Compare_strcasecmpSameCase"},
        {"scan, SSE2", "BM_Scan/sse2", "BM_Scan/plain"},
        {"scan, AVX2", "BM_Scan/avx2", "BM_Scan/plain"},
        {"case, SSE2", "BM_CaseBy/sse2", "BM_CaseBy/plain"},
        {"case, AVX2", "BM_CaseBy/avx2", "BM_CaseBy/plain"}};
    std::FILE* out = stdout;
    std::fflush(out);
    GetOutputStream().flush();
    std::fprintf(out, "\nTime as a multiple of the baseline (CPU time, median when repeated):\n");
    for (const auto& pair : kPairs) {
      std::string line;
      for (const char* size : {"1024", "1048576"}) {
        auto op = times_.find({pair[1], size}), base = times_.find({pair[2], size});
        if (op == times_.end() || base == times_.end() || base->second.time <= 0) continue;
        char cell[64];
        std::snprintf(cell, sizeof cell, "  %s: %5.2fx", std::string(size) == "1024" ? "1 KiB" : "1 MiB",
                      op->second.time / base->second.time);
        line += cell;
      }
      if (!line.empty()) std::fprintf(out, "  %-24s vs %-30s%s\n", pair[0], pair[2] + 3, line.c_str());
    }
  }

 private:
  struct Entry {
    double time = 0;
    bool median = false;
  };
  std::map<std::pair<std::string, std::string>, Entry> times_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
