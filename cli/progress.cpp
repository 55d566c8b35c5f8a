#include "cli/progress.h"

#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("progress.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {
const auto kFirstDelay = std::chrono::milliseconds(500);
const auto kInterval = std::chrono::milliseconds(100);
}  // namespace

bool Progress::stderrIsTerminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

Progress::Progress() : Progress(stderrIsTerminal()) {}

Progress::Progress(bool enabled)
    : enabled_(enabled), drawn_(false), lastWidth_(0),
      start_(std::chrono::steady_clock::now()), next_(start_ + kFirstDelay) {}

Progress::~Progress() { finish(); }

bool Progress::due() {
  return enabled_ && std::chrono::steady_clock::now() >= next_;
}

void Progress::update(const std::string& line) {
  if (!due()) return;
  next_ = std::chrono::steady_clock::now() + kInterval;
  std::string text = "\r" + line;
  if (line.size() < lastWidth_) text.append(lastWidth_ - line.size(), ' ');
  lastWidth_ = line.size();
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::finish() {
  if (!drawn_) return;
  std::string blank = "\r" + std::string(lastWidth_, ' ') + "\r";
  std::fputs(blank.c_str(), stderr);
  std::fflush(stderr);
  drawn_ = false;
  lastWidth_ = 0;
}

BackgroundProgress::BackgroundProgress(Progress& progress, std::function<std::string()> line)
    : progress_(progress), line_(std::move(line)), stop_(false) {
  if (!progress_.enabled()) return;
  thread_ = std::thread([this]() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kInterval, [this]() { return stop_; })) {
      if (progress_.due()) progress_.update(line_());
    }
  });
}

BackgroundProgress::~BackgroundProgress() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  progress_.finish();
}

std::string humanBytes(unsigned long long bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%llu bytes", bytes);
  } else if (bytes < 1024ull * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", bytes / 1024.0);
  } else if (bytes < 1024ull * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024.0 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.1f GB", bytes / (1024.0 * 1024 * 1024));
  }
  return text;
}

}  // namespace cli
}  // namespace tobrel
