// File streams against the plain C loop: the same values written and read one
// fwrite/fread per value, in the same run. Compare the pairs
// (Operators vs PlainC) for each type; the target is at most 1.5x.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"

namespace {

std::string benchFile(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tobrel-stream-bench-" + name;
}

template <typename T>
T valueAt(long i) { return static_cast<T>(i * 7 + 1); }

template <typename T>
void BM_WriteOperators(benchmark::State& state) {
  const long n = state.range(0);
  const std::string path = benchFile("ops.bin");
  for (auto _ : state) {
    fvostream os(path.c_str());
    for (long i = 0; i < n; ++i) os << valueAt<T>(i);
    os.close();
  }
  state.SetItemsProcessed(state.iterations() * n);
  std::remove(path.c_str());
}

template <typename T>
void BM_WritePlainC(benchmark::State& state) {
  const long n = state.range(0);
  const std::string path = benchFile("plain.bin");
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    for (long i = 0; i < n; ++i) {
      T v = valueAt<T>(i);
      std::fwrite(&v, sizeof v, 1, f);
    }
    std::fclose(f);
  }
  state.SetItemsProcessed(state.iterations() * n);
  std::remove(path.c_str());
}

template <typename T>
void writeInput(const std::string& path, long n) {
  FILE* f = std::fopen(path.c_str(), "wb");
  for (long i = 0; i < n; ++i) {
    T v = valueAt<T>(i);
    std::fwrite(&v, sizeof v, 1, f);
  }
  std::fclose(f);
}

template <typename T>
void BM_ReadOperators(benchmark::State& state) {
  const long n = state.range(0);
  const std::string path = benchFile("in-ops.bin");
  writeInput<T>(path, n);
  for (auto _ : state) {
    fvistream is(path.c_str());
    T v{};
    T sum{};
    for (long i = 0; i < n; ++i) {
      is >> v;
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * n);
  std::remove(path.c_str());
}

template <typename T>
void BM_ReadPlainC(benchmark::State& state) {
  const long n = state.range(0);
  const std::string path = benchFile("in-plain.bin");
  writeInput<T>(path, n);
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "rb");
    T v{};
    T sum{};
    for (long i = 0; i < n; ++i) {
      if (std::fread(&v, sizeof v, 1, f) != 1) break;
      sum += v;
    }
    benchmark::DoNotOptimize(sum);
    std::fclose(f);
  }
  state.SetItemsProcessed(state.iterations() * n);
  std::remove(path.c_str());
}

constexpr long kTenMillion = 10000000;
constexpr long kOneMillion = 1000000;

BENCHMARK_TEMPLATE(BM_WriteOperators, int)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WritePlainC, int)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WriteOperators, char)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WritePlainC, char)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WriteOperators, double)->Arg(kOneMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WritePlainC, double)->Arg(kOneMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReadOperators, int)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReadPlainC, int)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReadOperators, char)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReadPlainC, char)->Arg(kTenMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReadOperators, double)->Arg(kOneMillion)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_ReadPlainC, double)->Arg(kOneMillion)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
