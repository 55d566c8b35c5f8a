// Copies the registry store's write-ahead log into the database file on a
// thread of its own, so that a registry call never waits for the disk syncs
// a checkpoint needs, and starts the log over so that it stays small. Registry
// calls only ask for a checkpoint (when the log has grown past a size) and
// return.
//
// The thread starts at the first request, with a database connection of its
// own. Each request runs a passive checkpoint (copies what no reader needs,
// blocks nobody), then a restarting one: it holds new writers back for at
// most `restartWaitMs` while the last frames are copied and the readers of
// the log finish, so that the next write starts the log over from its
// beginning. The file keeps its size meanwhile: writes that go on reuse its
// blocks, which costs the writer less than growing a file cut back to
// nothing, and a writer does not wait for the truncation.
//
// After a request the thread watches for the writes to stop: every
// kIdleCheckMs without a request (at most kIdleChecks times) it looks whether
// anything was committed since its last look (PRAGMA data_version), and when
// nothing was it empties the log and truncates the file. When readers stay
// longer than `restartWaitMs` the log is left as it is, and the next request
// or check tries again.
//
// Fork: the object must be destroyed before a fork (the store does this in
// its fork handler, see registry_store.h); nothing of it may cross a fork.
#ifndef TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_CHECKPOINT_H_
#define TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_CHECKPOINT_H_

#if defined(_WIN32)
#error "registry_checkpoint.h belongs to the registry emulation for hosts that are not Windows"
#endif

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

struct sqlite3;

namespace tobrel {
namespace regstore {

// How the store's connections wait for a lock that another connection
// holds. A commit, or the last step of a checkpoint, holds a lock for well
// under a millisecond, while SQLite's own busy handler sleeps a millisecond
// and more at a time, so a call would spend most of such a wait asleep after
// the lock came free. This one sleeps a quarter of the time waited so far
// (at least 16 us, at most `longestSleepUs`), so that it oversleeps a short
// wait by little and polls a long one rarely, and gives up (SQLITE_BUSY)
// once `limitMs` have passed. A checkpoint that restarts the log must win
// the write lock against writers that poll for it too, so it polls at short
// intervals throughout (kCheckpointPollUs).
class BusyWait {
 public:
  static constexpr int kCallPollUs = 100000;
  static constexpr int kCheckpointPollUs = 50;
  BusyWait(int limitMs, int longestSleepUs) : limitMs_(limitMs), longestSleepUs_(longestSleepUs) {}
  // Becomes the busy handler of `db`, which must not outlive this object.
  void install(sqlite3* db);

 private:
  static int handler(void* self, int count);
  int limitMs_;
  int longestSleepUs_;
  std::chrono::steady_clock::time_point start_;
};

class BackgroundCheckpointer {
 public:
  // Checkpoints the database at `path`; a truncating checkpoint waits at
  // most `restartWaitMs` for writers and readers.
  BackgroundCheckpointer(const std::string& path, int restartWaitMs);
  // Stops the thread, waiting for a checkpoint under way.
  ~BackgroundCheckpointer();
  BackgroundCheckpointer(const BackgroundCheckpointer&) = delete;
  BackgroundCheckpointer& operator=(const BackgroundCheckpointer&) = delete;

  static constexpr int kIdleCheckMs = 50;
  static constexpr int kIdleChecks = 40;

  // Asks for a checkpoint and returns at once; false when no thread can run
  // one (it could not be started, or could not open the database).
  bool request();

  // Returns once no checkpoint is asked for or under way, making (at most
  // two of) the checks for stopped writes that are still due at once rather
  // than after their delay: with no writer active meanwhile, the log is then
  // empty unless readers held it up. True when the log was left empty.
  bool settle();

  // Requested checkpoints run so far, and those of them that started the
  // log over; checks that found the writes stopped and emptied the log.
  std::uint64_t completed() const;
  std::uint64_t restarted() const;
  std::uint64_t emptied() const;

 private:
  void run();

  std::string path_;
  BusyWait busyWait_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  bool pending_ = false;
  bool running_ = false;
  bool hurry_ = false;     // settle() waits: idle checks run at once
  int checksDue_ = 0;      // idle checks still to make
  bool leftEmpty_ = false; // the last checkpoint or check emptied the log
  bool stop_ = false;
  bool failed_ = false;
  std::uint64_t completed_ = 0;
  std::uint64_t restarted_ = 0;
  std::uint64_t emptied_ = 0;
  std::unique_ptr<std::thread> thread_;
};

}  // namespace regstore
}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_CHECKPOINT_H_
