#include "TobrelTools/platform/internal/thread_end.h"
#include "TobrelTools/export.h"

#include <pthread.h>

#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

TOBREL_MODULE_ID("thread_end_posix.cpp", "2026.12.05");

namespace tobrel {

// Values live in a POSIX thread key. The cleanups do not run as the key's
// destructor, though: when a thread ends, glibc clears every key's value in
// key order before calling each destructor, so a cleanup that reads other
// thread-local slots (the library's per-thread holders do) would find them
// already emptied. A thread_local object's destructor runs before any key is
// touched, and on these hosts every thread runs it.
struct ThreadEndSlot::Impl {
  pthread_key_t key;
  Cleanup cleanup;
};

namespace {

std::mutex& liveLock() {
  static std::mutex* const lock = new std::mutex();  // outlives every slot
  return *lock;
}
std::unordered_set<const ThreadEndSlot::Impl*>& liveSlots() {
  static std::unordered_set<const ThreadEndSlot::Impl*>* const slots =
      new std::unordered_set<const ThreadEndSlot::Impl*>();
  return *slots;
}

// The slots in which this thread stored a value, cleaned up at its end in
// the order they were first used.
struct ThreadEnd {
  std::vector<ThreadEndSlot::Impl*> used;
  ~ThreadEnd() {
    // By index: a cleanup may store into another slot.
    for (std::size_t i = 0; i < used.size(); ++i) {
      ThreadEndSlot::Impl* impl = used[i];
      void* value = nullptr;
      ThreadEndSlot::Cleanup cleanup = nullptr;
      {
        std::lock_guard<std::mutex> guard(liveLock());
        if (liveSlots().count(impl) == 0) continue;  // given back meanwhile
        value = pthread_getspecific(impl->key);
        cleanup = impl->cleanup;
      }
      if (value == nullptr) continue;
      pthread_setspecific(impl->key, nullptr);
      cleanup(value);
    }
  }
};

thread_local ThreadEnd threadEnd;

}  // namespace

ThreadEndSlot::ThreadEndSlot(Cleanup cleanup) : impl_(new (std::nothrow) Impl) {
  if (impl_ == nullptr) return;
  impl_->cleanup = cleanup;
  if (pthread_key_create(&impl_->key, nullptr) != 0) {
    delete impl_;
    impl_ = nullptr;
    return;
  }
  std::lock_guard<std::mutex> guard(liveLock());
  liveSlots().insert(impl_);
}

ThreadEndSlot::~ThreadEndSlot() {
  if (impl_ == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(liveLock());
    liveSlots().erase(impl_);
  }
  pthread_key_delete(impl_->key);
  delete impl_;
}

bool ThreadEndSlot::valid() const { return impl_ != nullptr; }

void* ThreadEndSlot::get() const { return impl_ != nullptr ? pthread_getspecific(impl_->key) : nullptr; }

bool ThreadEndSlot::set(void* value) {
  if (impl_ == nullptr) return false;
  std::vector<Impl*>& used = threadEnd.used;
  if (value != nullptr && pthread_getspecific(impl_->key) == nullptr) {
    bool known = false;
    for (Impl* impl : used) known = known || impl == impl_;
    if (!known) {
      try {
        used.push_back(impl_);
      } catch (const std::bad_alloc&) {
        return false;
      }
    }
  }
  return pthread_setspecific(impl_->key, value) == 0;
}

}  // namespace tobrel
