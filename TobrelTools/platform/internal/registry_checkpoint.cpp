// The registry store's background checkpoints (see registry_checkpoint.h).
#include "TobrelTools/platform/internal/registry_checkpoint.h"

#include <sqlite3.h>

#include <algorithm>

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("registry_checkpoint.cpp", "2026.12.06");

namespace tobrel {
namespace regstore {

namespace {

// A checkpoint of the given mode (RESTART or TRUNCATE), passive first: the
// passive pass copies the bulk of the log while writers go on, so that the
// second, which holds them back, has little left to do. logFrames, when not
// null, gets the frames the log still holds after it.
int checkpointInTwoPasses(sqlite3* db, int mode, int* logFrames) {
  sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  return sqlite3_wal_checkpoint_v2(db, nullptr, mode, logFrames, nullptr);
}

}  // namespace

void BusyWait::install(sqlite3* db) { sqlite3_busy_handler(db, &BusyWait::handler, this); }

int BusyWait::handler(void* self, int count) {
  BusyWait* wait = static_cast<BusyWait*>(self);
  const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
  if (count <= 0) wait->start_ = now;
  const std::chrono::microseconds waited = std::chrono::duration_cast<std::chrono::microseconds>(now - wait->start_);
  if (waited >= std::chrono::milliseconds(wait->limitMs_)) return 0;
  std::this_thread::sleep_for(std::min(std::max(waited / 4, std::chrono::microseconds(16)),
                                       std::chrono::microseconds(wait->longestSleepUs_)));
  return 1;
}

BackgroundCheckpointer::BackgroundCheckpointer(const std::string& path, int restartWaitMs)
    : path_(path), busyWait_(restartWaitMs, BusyWait::kCheckpointPollUs) {}

BackgroundCheckpointer::~BackgroundCheckpointer() {
  if (!thread_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_->join();
}

bool BackgroundCheckpointer::request() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) return false;
  if (!thread_) {
    try {
      thread_.reset(new std::thread(&BackgroundCheckpointer::run, this));
    } catch (...) {   // no thread to be had: the caller checkpoints itself
      failed_ = true;
      return false;
    }
  }
  if (!pending_) {
    pending_ = true;
    wake_.notify_one();
  }
  return true;
}

bool BackgroundCheckpointer::settle() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!thread_) return false;
  // Two checks find stopped writes: one to see the log, one to see it unchanged.
  checksDue_ = std::min(checksDue_, 2);
  hurry_ = true;
  wake_.notify_one();
  idle_.wait(lock, [this] { return failed_ || stop_ || (!pending_ && !running_ && checksDue_ == 0); });
  hurry_ = false;
  return !failed_ && leftEmpty_;
}

std::uint64_t BackgroundCheckpointer::completed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return completed_;
}

std::uint64_t BackgroundCheckpointer::restarted() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return restarted_;
}

std::uint64_t BackgroundCheckpointer::emptied() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return emptied_;
}

void BackgroundCheckpointer::run() {
  sqlite3* db = nullptr;
  // A connection finds the log at its first read; until then it has nothing
  // to checkpoint.
  if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK ||
      sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    db = nullptr;
  }
  if (db) busyWait_.install(db);
  std::unique_lock<std::mutex> lock(mutex_);
  if (!db) failed_ = true;
  // What changed since the last look: PRAGMA data_version moves whenever
  // another connection commits. Reading it costs a read transaction, far
  // less than a checkpoint.
  sqlite3_stmt* version = nullptr;
  if (db && sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &version, nullptr) != SQLITE_OK) version = nullptr;
  const auto dataVersion = [version]() -> sqlite3_int64 {
    if (!version) return -1;
    sqlite3_int64 v = sqlite3_step(version) == SQLITE_ROW ? sqlite3_column_int64(version, 0) : -1;
    sqlite3_reset(version);
    return v;
  };
  sqlite3_int64 lastVersion = -1;   // at the last look, -1 before one
  while (db) {
    idle_.notify_all();
    const auto due = [this] { return pending_ || stop_ || (hurry_ && checksDue_ > 0); };
    if (checksDue_ > 0) {
      wake_.wait_for(lock, std::chrono::milliseconds(kIdleCheckMs), due);
    } else {
      wake_.wait(lock, due);
    }
    if (stop_) break;
    const bool asked = pending_;
    if (!asked && checksDue_ == 0) continue;
    pending_ = false;
    running_ = true;
    if (!asked) --checksDue_;
    lock.unlock();
    int rc = SQLITE_BUSY;
    bool empty = false;
    if (asked) {
      // A writer is at work (its commit asked): the log starts over, the
      // file stays.
      rc = checkpointInTwoPasses(db, SQLITE_CHECKPOINT_RESTART, nullptr);
      lastVersion = dataVersion();
    } else {
      const sqlite3_int64 now = dataVersion();
      if (now >= 0 && now == lastVersion) {
        // Nothing committed since the last look: the writes stopped.
        int left = -1;
        empty = checkpointInTwoPasses(db, SQLITE_CHECKPOINT_TRUNCATE, &left) == SQLITE_OK && left == 0;
      }
      lastVersion = now;
    }
    lock.lock();
    running_ = false;
    leftEmpty_ = empty;
    if (asked) {
      ++completed_;
      if (rc == SQLITE_OK) ++restarted_;
      checksDue_ = hurry_ ? 2 : kIdleChecks;
    }
    if (empty) {
      ++emptied_;
      checksDue_ = 0;
    }
  }
  running_ = false;
  checksDue_ = 0;
  idle_.notify_all();
  lock.unlock();
  sqlite3_finalize(version);
  if (db) sqlite3_close(db);
}

}  // namespace regstore
}  // namespace tobrel
