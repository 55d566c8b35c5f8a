// The registry store's background checkpoints (see registry_checkpoint.h).
#include "TobrelTools/platform/registry_checkpoint.h"
#include "TobrelTools/export.h"

#include <pthread.h>
#include <sqlite3.h>

TOBREL_MODULE_ID("registry_checkpoint.cpp", "2026.12.05");

namespace tobrel {
namespace regstore {

namespace {

// Held by a checkpoint thread whenever it is inside SQLite, and by a forking
// thread across fork(), so that the child never starts with SQLite's locks
// held by a thread it does not have.
std::mutex& gate() {
  static std::mutex* m = new std::mutex;   // never destroyed: threads may outlive static destructors
  return *m;
}

void lockGate() { gate().lock(); }
void unlockGate() { gate().unlock(); }

void guardForks() {
  static std::once_flag once;
  std::call_once(once, [] { pthread_atfork(lockGate, unlockGate, unlockGate); });
}

}  // namespace

BackgroundCheckpointer::BackgroundCheckpointer(const std::string& path, const char* vfs) : path_(path), vfs_(vfs) {}

BackgroundCheckpointer::~BackgroundCheckpointer() {
  if (!thread_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_->join();
  delete thread_;
}

bool BackgroundCheckpointer::request() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failed_) return false;
  if (!thread_) {
    guardForks();
    try {
      thread_ = new std::thread(&BackgroundCheckpointer::run, this);
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

void BackgroundCheckpointer::abandon() {
  thread_ = nullptr;   // the parent's; the child has no such thread
  failed_ = true;
}

std::uint64_t BackgroundCheckpointer::completed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return completed_;
}

void BackgroundCheckpointer::run() {
  sqlite3* db = nullptr;
  {
    std::lock_guard<std::mutex> inside(gate());
    // A connection finds the log at its first read; until then it has
    // nothing to checkpoint.
    if (sqlite3_open_v2(path_.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, vfs_) != SQLITE_OK ||
        sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) {
      sqlite3_close(db);
      db = nullptr;
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (!db) failed_ = true;
  while (db) {
    wake_.wait(lock, [this] { return pending_ || stop_; });
    if (stop_) break;
    pending_ = false;
    lock.unlock();
    {
      // Passive: copies what no reader needs, waits for nobody.
      std::lock_guard<std::mutex> inside(gate());
      sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
    }
    lock.lock();
    ++completed_;
  }
  lock.unlock();
  std::lock_guard<std::mutex> inside(gate());
  if (db) sqlite3_close(db);
}

}  // namespace regstore
}  // namespace tobrel
