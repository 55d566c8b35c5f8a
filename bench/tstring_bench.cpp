// std::tstring against its peers, in the same run:
// - code page 932 conversion of 1 MB of mixed Japanese and ASCII text, both
//   ways, through tstring (the wide view; construction from wide text)
//   beside glibc's iconv with CP932 (target: tstring at least twice as fast);
// - the same for a client's use of 0.57 MB of mixed Japanese text (kanji,
//   kana, half-width katakana, ASCII, line breaks): a fresh tstring made
//   from the text and its wide view taken, and a fresh tstring made from
//   the UTF-16 text, allocation included, beside iconv converting into a
//   buffer it is given (Fresh*: target at least twice iconv's bytes per
//   second both ways);
// - writing and reading 100,000 tstring objects of 20 to 200 bytes through
//   the file streams beside writing the same bytes with one fwrite per
//   string and reading them back with two freads per string.
//
//   build-release/bin/tstring_bench --benchmark_min_time=0.2
#include <benchmark/benchmark.h>

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "TobrelTools/string/tstring.h"

namespace {

// Converts with iconv into a buffer of the given capacity; returns the
// bytes produced.
std::size_t convert(iconv_t cd, const char* in, std::size_t inBytes, char* out, std::size_t outCap) {
  char* ip = const_cast<char*>(in);
  char* op = out;
  std::size_t il = inBytes, ol = outCap;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1)) throw std::runtime_error("iconv failed");
  return outCap - ol;
}

// 1 MB of code page 932 text: Japanese sentences (kanji, kana, full-width
// and half-width forms) between English ones, made once from UTF-8.
const std::string& narrowText() {
  static const std::string text = [] {
    const char* utf8 =
        "東京都港区の天気は晴れ、最高気温は二十三度です。 The quick brown fox jumps over the lazy dog. "
        "ﾃｽﾄ用の半角カナと全角ＡＢＣ、記号「」・〜ー。 Version 1.0.0 (2026-12-05) build 42; "
        "データベースの接続に失敗しました：再試行してください。 error=ERROR_FILE_NOT_FOUND\n";
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::vector<char> one(4096);
    std::string sentence(one.data(), convert(cd, utf8, std::strlen(utf8), one.data(), one.size()));
    iconv_close(cd);
    std::string all;
    while (all.size() + sentence.size() <= 1024 * 1024) all += sentence;
    return all;
  }();
  return text;
}

const std::basic_string<unsigned short>& wideText() {
  static const std::basic_string<unsigned short> text = [] {
    std::tstring t(narrowText().c_str());
    return std::basic_string<unsigned short>(static_cast<const unsigned short*>(t));
  }();
  return text;
}

void BM_NarrowToWide_Tstring(benchmark::State& state) {
  std::tstring t(narrowText().c_str());
  for (auto _ : state) {
    const unsigned short* w = t;
    benchmark::DoNotOptimize(w);
  }
  state.SetBytesProcessed(state.iterations() * narrowText().size());
}
BENCHMARK(BM_NarrowToWide_Tstring);

// iconv into a buffer it is given: the peer for either text (the getters name it).
using NarrowText = const std::string& (*)();
using WideText = const std::basic_string<unsigned short>& (*)();

void BM_NarrowToWide_Iconv(benchmark::State& state, NarrowText text) {
  const std::string& in = text();
  std::vector<char> out(in.size() * 2 + 2);
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  for (auto _ : state) {
    std::size_t n = convert(cd, in.data(), in.size(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
  }
  iconv_close(cd);
  state.SetBytesProcessed(state.iterations() * in.size());
}
BENCHMARK_CAPTURE(BM_NarrowToWide_Iconv, Mixed, narrowText);

void BM_WideToNarrow_Tstring(benchmark::State& state) {
  const std::basic_string<unsigned short>& in = wideText();
  for (auto _ : state) {
    std::tstring t(in.c_str());
    benchmark::DoNotOptimize(t.data());
  }
  state.SetBytesProcessed(state.iterations() * narrowText().size());
}
BENCHMARK(BM_WideToNarrow_Tstring);

void BM_WideToNarrow_Iconv(benchmark::State& state, WideText wide, NarrowText narrow) {
  const std::basic_string<unsigned short>& in = wide();
  std::vector<char> out(in.size() * 2 + 1);
  iconv_t cd = iconv_open("CP932", "UTF-16LE");
  for (auto _ : state) {
    std::size_t n = convert(cd, reinterpret_cast<const char*>(in.data()), in.size() * 2, out.data(), out.size());
    benchmark::DoNotOptimize(n);
  }
  iconv_close(cd);
  state.SetBytesProcessed(state.iterations() * narrow().size());
}
BENCHMARK_CAPTURE(BM_WideToNarrow_Iconv, Mixed, wideText, narrowText);

// ---------------------------------------------------------------- a client's text

// 0.57 MB of code page 932 text as an application holds it: lines of
// varying Japanese prose (kanji, hiragana, katakana, full-width forms),
// half-width katakana, ASCII and line breaks, in an irregular order.
const std::string& clientText() {
  static const std::string text = [] {
    const char* lines[] = {
        "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。\n",
        "ｶﾀｶﾅ ﾃﾞｰﾀ ﾌｧｲﾙ ｦ ﾖﾐｺﾐﾏｼﾀ｡ ｴﾗｰ ﾅｼ｡\n",
        "2026年12月6日（日）午前10時30分、東京駅八重洲口にて待ち合わせ。\n",
        "Invoice No. 4711: total 12,345 JPY (tax included), due 2027-01-31.\n",
        "顧客番号ＡＢＣ－００１２の住所変更を受け付けました。担当：山田\r\n",
        "ログファイル C:\\Program Files\\Tobrel\\log\\app.log を開けません。\n",
        "春はあけぼの。やうやう白くなりゆく山ぎは、すこしあかりて、紫だちたる雲のほそくたなびきたる。\n",
        "The quick brown fox jumps over the lazy dog; 0123456789.\n",
        "ﾊﾝｶｸ と 全角 が まざった テキスト：ＡＢＣ abc ｱｲｳ アイウ\n",
    };
    const std::size_t kLines = sizeof lines / sizeof lines[0];
    iconv_t cd = iconv_open("CP932", "UTF-8");
    std::vector<std::string> narrow;
    std::vector<char> buf(4096);
    for (const char* line : lines) narrow.emplace_back(buf.data(), convert(cd, line, std::strlen(line), buf.data(), buf.size()));
    iconv_close(cd);
    std::string all;
    unsigned seed = 2026;
    while (all.size() < 570000) {
      seed = seed * 1103515245u + 12345u;
      all += narrow[(seed >> 16) % kLines];
    }
    return all;
  }();
  return text;
}

const std::basic_string<unsigned short>& clientWideText() {
  static const std::basic_string<unsigned short> text = [] {
    const std::string& in = clientText();
    std::vector<char> out(in.size() * 2 + 2);
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    std::size_t bytes = convert(cd, in.data(), in.size(), out.data(), out.size());
    iconv_close(cd);
    return std::basic_string<unsigned short>(reinterpret_cast<const unsigned short*>(out.data()), bytes / 2);
  }();
  return text;
}

void BM_FreshNarrowToWide_Tstring(benchmark::State& state) {
  const std::string& in = clientText();
  for (auto _ : state) {
    std::tstring t(in.c_str());
    const unsigned short* w = t;
    benchmark::DoNotOptimize(w);
  }
  state.SetBytesProcessed(state.iterations() * in.size());
}
BENCHMARK(BM_FreshNarrowToWide_Tstring);

BENCHMARK_CAPTURE(BM_NarrowToWide_Iconv, Fresh, clientText);

void BM_FreshWideToNarrow_Tstring(benchmark::State& state) {
  const std::basic_string<unsigned short>& in = clientWideText();
  for (auto _ : state) {
    std::tstring t(in.c_str());
    benchmark::DoNotOptimize(t.data());
  }
  state.SetBytesProcessed(state.iterations() * clientText().size());
}
BENCHMARK(BM_FreshWideToNarrow_Tstring);

BENCHMARK_CAPTURE(BM_WideToNarrow_Iconv, Fresh, clientWideText, clientText);

// ---------------------------------------------------------------- object streams

const int kStrings = 100000;

std::string benchFile(const char* name) {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tobrel-tstring-bench-" + name;
}

// 100,000 strings of 20 to 200 bytes, the same on every run.
const std::vector<std::tstring>& strings() {
  static const std::vector<std::tstring> all = [] {
    std::vector<std::tstring> v;
    v.reserve(kStrings);
    unsigned seed = 12345;
    for (int i = 0; i < kStrings; ++i) {
      seed = seed * 1103515245u + 12345u;
      std::size_t len = 20 + (seed >> 16) % 181;
      std::string s(len, 'a');
      for (std::size_t k = 0; k < len; ++k) s[k] = static_cast<char>('a' + (k * 7 + i) % 26);
      v.emplace_back(s);
    }
    return v;
  }();
  return all;
}

// Each string's object record, as the stream writes it.
const std::vector<std::string>& records() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> v;
    v.reserve(kStrings);
    for (const std::tstring& t : strings()) {
      std::string r(":p", 2);
      r += '\0';
      r += '{';
      unsigned char head[8] = {0, 0, 0, 0, static_cast<unsigned char>(t.size()), 0, 0, 0};
      r.append(reinterpret_cast<char*>(head), 8);
      r.append(t.data(), t.size());
      r += '}';
      v.push_back(r);
    }
    return v;
  }();
  return all;
}

std::size_t totalBytes() {
  std::size_t n = 0;
  for (const std::string& r : records()) n += r.size();
  return n;
}

void BM_WriteObjects_Tstring(benchmark::State& state) {
  const std::vector<std::tstring>& all = strings();
  const std::string path = benchFile("objects.bin");
  for (auto _ : state) {
    Persistable::readyToSerialize();
    fvostream os(path.c_str());
    for (const std::tstring& t : all) os << t;
    os.close();
  }
  state.SetBytesProcessed(state.iterations() * totalBytes());
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteObjects_Tstring)->Unit(benchmark::kMillisecond);

void BM_WriteObjects_OneFwriteEach(benchmark::State& state) {
  const std::vector<std::string>& all = records();
  const std::string path = benchFile("plain.bin");
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    for (const std::string& r : all) std::fwrite(r.data(), r.size(), 1, f);
    std::fclose(f);
  }
  state.SetBytesProcessed(state.iterations() * totalBytes());
  std::remove(path.c_str());
}
BENCHMARK(BM_WriteObjects_OneFwriteEach)->Unit(benchmark::kMillisecond);

void writeRecordsFile(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "wb");
  for (const std::string& r : records()) std::fwrite(r.data(), r.size(), 1, f);
  std::fclose(f);
}

void BM_ReadObjects_Tstring(benchmark::State& state) {
  const std::string path = benchFile("objects-in.bin");
  writeRecordsFile(path);
  std::vector<std::tstring*> read(kStrings);
  for (auto _ : state) {
    Persistable::readyToSerialize();
    fvistream is(path.c_str());
    for (int i = 0; i < kStrings; ++i) {
      read[i] = 0;
      is >> read[i];
    }
    if (!is.good()) state.SkipWithError("read failed");
    for (std::tstring* t : read) delete t;
  }
  state.SetBytesProcessed(state.iterations() * totalBytes());
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadObjects_Tstring)->Unit(benchmark::kMillisecond);

void BM_ReadObjects_TwoFreadsEach(benchmark::State& state) {
  const std::string path = benchFile("plain-in.bin");
  writeRecordsFile(path);
  std::vector<std::string*> read(kStrings);
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "rb");
    char head[12];
    char body[256];
    for (int i = 0; i < kStrings; ++i) {
      if (std::fread(head, sizeof head, 1, f) != 1) break;
      std::size_t len = static_cast<unsigned char>(head[8]);
      if (std::fread(body, len + 1, 1, f) != 1) break;
      read[i] = new std::string(body, len);
    }
    std::fclose(f);
    for (std::string*& s : read) {
      delete s;
      s = nullptr;
    }
  }
  state.SetBytesProcessed(state.iterations() * totalBytes());
  std::remove(path.c_str());
}
BENCHMARK(BM_ReadObjects_TwoFreadsEach)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
