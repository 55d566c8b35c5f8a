#include "TobrelTools/platform/internal/thread_end.h"
#include "TobrelTools/export.h"

#include <windows.h>

#include <new>

TOBREL_MODULE_ID("thread_end_win32.cpp", "2026.12.05");

namespace tobrel {

namespace {

// What the fiber-local slot holds for one thread: the callback gets only the
// stored pointer, so the cleanup and the owning thread travel with the value.
struct Entry {
  ThreadEndSlot::Cleanup cleanup;
  void* value;
  DWORD thread;
};

// Windows calls this on the ending thread, and also from FlsFree for every
// thread that still holds a value; only the first is a thread's end.
void WINAPI endOfThread(void* data) {
  Entry* entry = static_cast<Entry*>(data);
  if (entry == nullptr) return;
  if (entry->thread == GetCurrentThreadId() && entry->value != nullptr) entry->cleanup(entry->value);
  delete entry;
}

}  // namespace

struct ThreadEndSlot::Impl {
  DWORD index;
  Cleanup cleanup;
};

ThreadEndSlot::ThreadEndSlot(Cleanup cleanup) : impl_(new (std::nothrow) Impl) {
  if (impl_ == nullptr) return;
  impl_->cleanup = cleanup;
  impl_->index = FlsAlloc(endOfThread);
  if (impl_->index == FLS_OUT_OF_INDEXES) {
    delete impl_;
    impl_ = nullptr;
  }
}

ThreadEndSlot::~ThreadEndSlot() {
  if (impl_ == nullptr) return;
  // FlsFree would take the calling thread's value for its end.
  Entry* own = static_cast<Entry*>(FlsGetValue(impl_->index));
  if (own != nullptr) {
    FlsSetValue(impl_->index, nullptr);
    delete own;
  }
  FlsFree(impl_->index);
  delete impl_;
}

bool ThreadEndSlot::valid() const { return impl_ != nullptr; }

void* ThreadEndSlot::get() const {
  if (impl_ == nullptr) return nullptr;
  Entry* entry = static_cast<Entry*>(FlsGetValue(impl_->index));
  return entry != nullptr ? entry->value : nullptr;
}

bool ThreadEndSlot::set(void* value) {
  if (impl_ == nullptr) return false;
  Entry* entry = static_cast<Entry*>(FlsGetValue(impl_->index));
  if (entry == nullptr) {
    if (value == nullptr) return true;
    entry = new (std::nothrow) Entry{impl_->cleanup, nullptr, GetCurrentThreadId()};
    if (entry == nullptr) return false;
    if (!FlsSetValue(impl_->index, entry)) {
      delete entry;
      return false;
    }
  }
  entry->value = value;
  return true;
}

}  // namespace tobrel
