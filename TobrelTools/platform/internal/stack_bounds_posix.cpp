#include <pthread.h>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/internal/stack_bounds.h"

TOBREL_MODULE_ID("stack_bounds_posix.cpp", "2026.12.05");

namespace tobrel {

bool currentThreadStack(const char** low, const char** high) {
  pthread_attr_t attr;
#if defined(__APPLE__)
  pthread_t self = pthread_self();
  const char* top = static_cast<const char*>(pthread_get_stackaddr_np(self));
  *high = top;
  *low = top - pthread_get_stacksize_np(self);
  (void)attr;
  return true;
#else
  // glibc answers for the main thread too (from the stack mapping and the
  // stack size limit); the range it gives excludes the guard area.
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return false;
  void* addr = nullptr;
  size_t size = 0;
  const bool ok = pthread_attr_getstack(&attr, &addr, &size) == 0 && addr != nullptr && size != 0;
  pthread_attr_destroy(&attr);
  if (!ok) return false;
  *low = static_cast<const char*>(addr);
  *high = static_cast<const char*>(addr) + size;
  return true;
#endif
}

}  // namespace tobrel
