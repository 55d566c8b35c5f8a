#include "TobrelTools/platform/thread_end.h"

#include <pthread.h>

#include <new>

static const char sccsid[] __attribute__((used)) = "@(#)thread_end_posix.cpp:  Ver01.00  2026.12.05";

namespace tobrel {

// Every thread on these hosts is a POSIX thread, and key destructors run at
// the end of each one.
struct ThreadEndSlot::Impl {
  pthread_key_t key;
};

ThreadEndSlot::ThreadEndSlot(Cleanup cleanup) : impl_(new (std::nothrow) Impl) {
  if (impl_ != nullptr && pthread_key_create(&impl_->key, cleanup) != 0) {
    delete impl_;
    impl_ = nullptr;
  }
}

ThreadEndSlot::~ThreadEndSlot() {
  if (impl_ == nullptr) return;
  pthread_key_delete(impl_->key);
  delete impl_;
}

bool ThreadEndSlot::valid() const { return impl_ != nullptr; }

void* ThreadEndSlot::get() const { return impl_ != nullptr ? pthread_getspecific(impl_->key) : nullptr; }

bool ThreadEndSlot::set(void* value) { return impl_ != nullptr && pthread_setspecific(impl_->key, value) == 0; }

}  // namespace tobrel
