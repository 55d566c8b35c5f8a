// The progress line of long operations: one line on stderr, rewritten in
// place, shown only when stderr is a terminal (so that logs and pipes get no
// carriage-return litter) and only once an operation has run long enough to
// be worth watching. Updates are cheap to call often: the line is redrawn at
// most ten times a second.
#ifndef TOBREL_CLI_PROGRESS_H_
#define TOBREL_CLI_PROGRESS_H_

#include <chrono>
#include <string>

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

  static bool stderrIsTerminal();

 private:
  bool enabled_;
  bool drawn_;
  std::size_t lastWidth_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point next_;
};

// "12.3 MB" style sizes for progress lines.
std::string humanBytes(unsigned long long bytes);

}  // namespace cli
}  // namespace tobrel

#endif  // TOBREL_CLI_PROGRESS_H_
