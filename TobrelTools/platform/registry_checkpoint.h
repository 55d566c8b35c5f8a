// Copies the registry store's write-ahead log into the database file on a
// thread of its own, so that a registry call never waits for the disk syncs
// a checkpoint needs. Registry calls only ask for a checkpoint (when the log
// has grown past a size) and return.
//
// The thread starts at the first request, with a database connection of its
// own, and runs passive checkpoints: they copy what no reader still needs and
// never block a writer. While writes keep coming the log cannot start over
// (that needs a moment in which everything is copied), so the store still
// checkpoints in the calling thread once the log is much larger (see
// registry_store.cpp); by then the background has copied most of it.
//
// Fork: a child process must not use its parent's thread or connection; the
// store calls abandon() in the child. A fork never happens while the thread is
// inside SQLite (it would leave SQLite's process-wide locks held in the child).
#ifndef TOBRELTOOLS_PLATFORM_REGISTRY_CHECKPOINT_H_
#define TOBRELTOOLS_PLATFORM_REGISTRY_CHECKPOINT_H_

#if defined(_WIN32)
#error "registry_checkpoint.h belongs to the registry emulation for hosts that are not Windows"
#endif

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "TobrelTools/export.h"

namespace tobrel {
namespace regstore {

class TOBREL_API BackgroundCheckpointer {
 public:
  // Checkpoints the database at `path`, opened through the SQLite layer named
  // `vfs` (nullptr: SQLite's default).
  BackgroundCheckpointer(const std::string& path, const char* vfs);
  // Stops the thread, waiting for a checkpoint under way.
  ~BackgroundCheckpointer();
  BackgroundCheckpointer(const BackgroundCheckpointer&) = delete;
  BackgroundCheckpointer& operator=(const BackgroundCheckpointer&) = delete;

  // Asks for a checkpoint and returns at once; false when no thread can run
  // one (it could not be started, or this process is a fork's child).
  bool request();

  // In a child process after fork: forgets the parent's thread without
  // touching it. The object must then never be destroyed (its condition
  // variable may still count the parent's thread as waiting).
  void abandon();

  // Checkpoints run so far, for tests.
  std::uint64_t completed() const;

 private:
  void run();

  std::string path_;
  const char* vfs_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  bool pending_ = false;
  bool stop_ = false;
  bool failed_ = false;
  std::uint64_t completed_ = 0;
  std::thread* thread_ = nullptr;   // a pointer, so that a child can forget it
};

}  // namespace regstore
}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_REGISTRY_CHECKPOINT_H_
