// The stream file decoder of tobrel dump on arbitrary bytes: it must stop
// cleanly at any damage, the JSON it writes must stay one balanced document
// whatever the input, and undump must write a file that dump read whole back
// byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

#include "TobrelTools/stream/fistream.h"
#include "cli/dump/decoder.h"
#include "cli/dump/render.h"
#include "cli/dump/stream_encoder.h"
#include "cli/writer.h"

namespace {

std::string inputFile() {
  const char* dir = std::getenv("TMPDIR");
  return std::string(dir ? dir : "/tmp") + "/tobrel-fuzz-dump-" + std::to_string(getpid()) + ".bin";
}

// Checks that the brackets outside strings balance.
bool balanced(const std::string& json) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < json.size(); ++i) {
    char c = json[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      if (--depth < 0) return false;
    }
  }
  return depth == 0 && !inString;
}

void decode(const std::string& path, const std::string& input, bool json) {
  const std::size_t size = input.size();
  const std::string outPath = path + (json ? ".json" : ".txt");
  FILE* outFile = std::fopen(outPath.c_str(), "w+");
  if (!outFile) std::abort();
  bool whole = false;
  {
    tobrel::cli::Writer out(outFile);
    std::unique_ptr<tobrel::cli::DumpSink> sink =
        json ? tobrel::cli::makeJsonSink(out) : tobrel::cli::makeTextSink(out, true);
    fvistream in(path.c_str());
    tobrel::cli::DumpDecoder decoder(in, *sink);
    whole = decoder.run(path, size);
    out.flush();
  }
  if (json) {
    std::rewind(outFile);
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, outFile)) > 0) text.append(buffer, n);
    if (!balanced(text)) std::abort();
    if (whole && tobrel::cli::StreamEncoder().encodeText(text) != input) std::abort();
  }
  std::fclose(outFile);
  std::remove(outPath.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = inputFile();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  const std::string input(reinterpret_cast<const char*>(data), size);
  decode(path, input, false);
  decode(path, input, true);
  return 0;
}
