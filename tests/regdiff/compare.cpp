#include "tests/regdiff/compare.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace tobrel {
namespace regdiff {

namespace {

bool readLines(const char* path, std::vector<std::string>* lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) lines->push_back(line);
  return true;
}

bool isItem(const std::string& line) { return line.compare(0, 2, "  ") == 0; }

// "#12 ..." -> "#12"; empty for item lines.
std::string opOf(const std::string& line) {
  if (line.empty() || line[0] != '#') return std::string();
  return line.substr(0, line.find(' '));
}

// Removes the calls that the Windows transcript skipped under Wine (see
// skippedUnderWine in transcript.cpp) from both transcripts: Wine takes key
// names of 256 characters, where Windows refuses them.
void dropSkipped(std::vector<std::string>* a, std::vector<std::string>* b) {
  std::vector<std::string> skipped;
  for (const std::string& line : *b) {
    if (line.size() > 19 && line.compare(line.size() - 18, 18, "skipped under Wine") == 0) {
      skipped.push_back(opOf(line));
    }
  }
  std::sort(skipped.begin(), skipped.end());
  for (std::vector<std::string>* lines : {a, b}) {
    lines->erase(std::remove_if(lines->begin(), lines->end(),
                                [&](const std::string& line) {
                                  std::string op = opOf(line);
                                  return !op.empty() && std::binary_search(skipped.begin(), skipped.end(), op);
                                }),
                 lines->end());
  }
}

}  // namespace

std::vector<std::string> normalise(const std::vector<std::string>& lines) {
  std::vector<std::string> out(lines);
  // Wine enumerates a key's values sorted by name; Windows (and the store)
  // in the order in which they were first set. The transcript writes the
  // values of one enumeration as a block of indented lines: compare each
  // block as a set.
  for (std::size_t i = 0; i < out.size();) {
    if (!isItem(out[i])) {
      ++i;
      continue;
    }
    std::size_t end = i;
    while (end < out.size() && isItem(out[end])) ++end;
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(i), out.begin() + static_cast<std::ptrdiff_t>(end));
    i = end;
  }
  return out;
}

bool agree(std::vector<std::string> a, std::vector<std::string> b, std::string* report) {
  dropSkipped(&a, &b);
  std::vector<std::string> na = normalise(a), nb = normalise(b);
  if (na == nb) return true;
  int shown = 0;
  std::size_t n = std::max(na.size(), nb.size());
  for (std::size_t i = 0; i < n && shown < 10; ++i) {
    const std::string& x = i < na.size() ? na[i] : std::string("(end of transcript)");
    const std::string& y = i < nb.size() ? nb[i] : std::string("(end of transcript)");
    if (x == y) continue;
    *report += "line " + std::to_string(i + 1) + " differs:\n  linux:   " + x + "\n  windows: " + y + "\n";
    ++shown;
  }
  return false;
}

int compareFiles(const char* linuxPath, const char* windowsPath) {
  std::vector<std::string> a, b;
  if (!readLines(linuxPath, &a) || !readLines(windowsPath, &b)) {
    std::fprintf(stderr, "cannot read %s or %s\n", linuxPath, windowsPath);
    return 2;
  }
  std::string report;
  if (!agree(a, b, &report)) {
    std::fprintf(stderr, "%s", report.c_str());
    return 1;
  }
  std::printf("transcripts agree: %zu lines\n", a.size());
  return 0;
}

}  // namespace regdiff
}  // namespace tobrel
