// tobrel dump on a stream file of a million records: the decoder with the
// text and the JSON rendering (written to /dev/null), against the decoder
// alone (no output) and against the floor of copying the file's bytes to
// /dev/null, in the same run. Target: a million records in a few seconds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "TobrelTools/stream/fistream.h"
#include "cli/dump/decoder.h"
#include "cli/dump/render.h"
#include "cli/writer.h"

namespace {

using namespace tobrel::cli;

struct Bytes {
  std::vector<unsigned char> b;
  void u8(unsigned v) { b.push_back(static_cast<unsigned char>(v)); }
  void i32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(v >> (8 * i) & 0xFF);
  }
  void open(unsigned id) {
    u8(':');
    u8(id & 0xFF);
    u8(id >> 8);
    u8('{');
  }
  void text(const std::string& s) {
    open(0x0070);
    i32(0);
    i32(static_cast<std::uint32_t>(s.size()));
    for (char c : s) u8(static_cast<unsigned char>(c));
    u8('}');
  }
};

// One key holding 500000 REG_SZ values: 1000004 object records.
const std::string& benchFile() {
  static std::string path;
  if (!path.empty()) return path;
  const char* dir = std::getenv("TMPDIR");
  path = std::string(dir ? dir : "/tmp") + "/tobrel-dump-bench.bin";
  const std::uint32_t values = 500000;
  Bytes f;
  f.open(0xF033);
  f.i32(1);
  f.text("");
  f.text("Software\\Bench");
  f.i32(0);
  f.i32(0);
  f.i32(values);
  for (std::uint32_t i = 0; i < values; ++i) {
    std::string name = "value" + std::to_string(i);
    f.open(0xF035);
    f.i32(1);
    f.text(name);
    f.i32(1);
    std::string data = "data of " + name;
    f.i32(static_cast<std::uint32_t>(data.size() + 1));
    for (char c : data) f.u8(static_cast<unsigned char>(c));
    f.u8(0);
    f.u8('}');
  }
  f.u8('}');
  FILE* out = std::fopen(path.c_str(), "wb");
  std::fwrite(f.b.data(), 1, f.b.size(), out);
  std::fclose(out);
  return path;
}

class NullSink : public DumpSink {
 public:
  void beginFile(const std::string&, std::uint64_t) override {}
  void beginObject(const char*, const ObjectInfo&) override {}
  void endObject(std::uint64_t) override {}
  void reference(const char*, const ReferenceInfo&) override {}
  void text(const char*, const ObjectInfo&, const TextInfo&) override {}
  void leadingWord(std::uint64_t, std::int32_t) override {}
  void rootKey(std::uint64_t, std::uint32_t) override {}
  void lastWrite(std::uint64_t, std::uint32_t, std::uint32_t) override {}
  void valueType(std::uint64_t, std::uint32_t) override {}
  void valueData(std::uint64_t, std::uint32_t, const std::string&) override {}
  void beginElements(std::uint64_t, std::int32_t) override {}
  void endElements() override {}
  void beginFields() override {}
  void endFields() override {}
  void field(std::uint64_t, const char*, Primitive, std::uint64_t) override {}
  void beginRepeat(std::uint64_t, const char*, std::int64_t) override {}
  void beginItem(std::uint64_t, std::int64_t) override {}
  void endItem() override {}
  void endRepeat() override {}
  void error(std::uint64_t, const std::string&) override {}
  void endFile(std::uint64_t, std::uint64_t, std::uint64_t, std::uint64_t) override {}
};

enum Rendering { kNone, kText, kJson };

void runDump(benchmark::State& state, Rendering rendering) {
  const std::string& path = benchFile();
  for (auto _ : state) {
    FILE* devnull = std::fopen("/dev/null", "w");
    {
      Writer out(devnull);
      NullSink none;
      std::unique_ptr<DumpSink> sink;
      if (rendering == kText) sink = makeTextSink(out, false);
      if (rendering == kJson) sink = makeJsonSink(out);
      fvistream in(path.c_str());
      DumpDecoder decoder(in, sink ? *sink : none);
      if (!decoder.run(path, 0)) state.SkipWithError("the dump stopped");
      out.flush();
    }
    std::fclose(devnull);
  }
  state.SetItemsProcessed(state.iterations() * 1000004);
}

void BM_DumpText(benchmark::State& state) { runDump(state, kText); }
void BM_DumpJson(benchmark::State& state) { runDump(state, kJson); }
void BM_DecodeOnly(benchmark::State& state) { runDump(state, kNone); }

void BM_CopyBytesFloor(benchmark::State& state) {
  const std::string& path = benchFile();
  std::vector<char> buffer(1 << 16);
  for (auto _ : state) {
    FILE* in = std::fopen(path.c_str(), "rb");
    FILE* devnull = std::fopen("/dev/null", "w");
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) std::fwrite(buffer.data(), 1, n, devnull);
    std::fclose(in);
    std::fclose(devnull);
  }
  state.SetItemsProcessed(state.iterations() * 1000004);
}

BENCHMARK(BM_CopyBytesFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DumpJson)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
