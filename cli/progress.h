// The progress line of long operations: one line on stderr, rewritten in
// place, shown only when stderr is a terminal (so that logs and pipes get no
// carriage-return litter) and only once an operation has run long enough to
// be worth watching. Updates are cheap to call often: the line is redrawn at
// most ten times a second.
#ifndef TOBREL_CLI_PROGRESS_H_
#define TOBREL_CLI_PROGRESS_H_

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tobrel {
namespace cli {

class Progress {
 public:
  // `enabled` false makes every call a no-op; by default the line is shown
  // when stderr is a terminal.
  Progress();
  explicit Progress(bool enabled);
  ~Progress();  // erases the line
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // True when updates would be drawn now (enabled and the redraw interval
  // has passed); lets callers skip building a line that would not be shown.
  bool due();
  // Draws `line` if due() (the first draw waits until the operation has run
  // for half a second, so that quick operations show nothing).
  void update(const std::string& line);
  // Erases the line, if one was drawn.
  void finish();

  bool enabled() const { return enabled_; }
  static bool stderrIsTerminal();

 private:
  bool enabled_;
  bool drawn_;
  std::size_t lastWidth_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point next_;
};

// Keeps a progress line up to date from a thread of its own while the
// calling thread is inside one long library call that reports nothing
// (writing a whole tree to a stream file): `line` is asked for the text ten
// times a second. It must only read what is safe to read meanwhile (the
// size of the file being written, for instance). No thread is started when
// the progress line is disabled.
class BackgroundProgress {
 public:
  BackgroundProgress(Progress& progress, std::function<std::string()> line);
  ~BackgroundProgress();  // stops the thread and erases the line
  BackgroundProgress(const BackgroundProgress&) = delete;
  BackgroundProgress& operator=(const BackgroundProgress&) = delete;

 private:
  Progress& progress_;
  std::function<std::string()> line_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_;
  std::thread thread_;
};

// "12.3 MB" style sizes for progress lines.
std::string humanBytes(unsigned long long bytes);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_PROGRESS_H_
