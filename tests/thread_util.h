// Runs a function on a new thread with a stack of a chosen size and waits
// for it. std::thread cannot set its stack size, so this goes to the host's
// own thread API. Exceptions do not cross threads: the function reports
// through what it captures.
#ifndef TOBRELTOOLS_TESTS_THREAD_UTIL_H_
#define TOBRELTOOLS_TESTS_THREAD_UTIL_H_

#include <cstddef>
#include <functional>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace tobrel {
namespace test {

namespace detail {
#if defined(_WIN32)
inline DWORD WINAPI runThreadBody(LPVOID arg) {
  (*static_cast<std::function<void()>*>(arg))();
  return 0;
}
#else
inline void* runThreadBody(void* arg) {
  (*static_cast<std::function<void()>*>(arg))();
  return nullptr;
}
#endif
}  // namespace detail

// True when the thread could be started (and has finished).
inline bool runOnThread(std::size_t stackBytes, std::function<void()> body) {
#if defined(_WIN32)
  HANDLE thread = CreateThread(nullptr, stackBytes, detail::runThreadBody, &body,
                               STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return true;
#else
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return false;
  bool ok = pthread_attr_setstacksize(&attr, stackBytes) == 0;
  pthread_t thread;
  ok = ok && pthread_create(&thread, &attr, detail::runThreadBody, &body) == 0;
  pthread_attr_destroy(&attr);
  if (ok) pthread_join(thread, nullptr);
  return ok;
#endif
}

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_THREAD_UTIL_H_
