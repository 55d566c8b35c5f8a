// A per-thread value whose cleanup runs when its thread ends, on every thread
// of the process however it was started (std::thread, pthread_create,
// CreateThread, _beginthreadex).
//
// The library keeps per-thread objects that must not outlive short-lived
// threads. C++ thread_local objects with destructors cannot carry them on
// Windows: the MinGW runtime does not run those destructors reliably on
// threads made with CreateThread (once the process has thrown an exception,
// such a thread's end hangs or damages the heap). So on Windows the cleanup
// rides on a fiber-local storage slot, whose callback Windows runs on the
// ending thread; on Linux, where every thread is a POSIX thread and
// thread_local destructors are reliable, on one of those (thread_end_posix.cpp
// says why not on a key destructor).
#ifndef TOBRELTOOLS_PLATFORM_INTERNAL_THREAD_END_H_
#define TOBRELTOOLS_PLATFORM_INTERNAL_THREAD_END_H_


namespace tobrel {

class ThreadEndSlot {
 public:
  // Called on the ending thread with the value it stored last (never with
  // null). It may use the library, including other slots.
  typedef void (*Cleanup)(void* value);

  // Takes a slot of the host's; when none is left, valid() is false, get
  // gives null and set fails.
  explicit ThreadEndSlot(Cleanup cleanup);
  // Gives the slot back. Threads that still hold values keep them: their
  // cleanups no longer run (at process exit nothing is released twice).
  ~ThreadEndSlot();
  ThreadEndSlot(const ThreadEndSlot&) = delete;
  ThreadEndSlot& operator=(const ThreadEndSlot&) = delete;

  bool valid() const;
  // The calling thread's value; null until it stores one.
  void* get() const;
  // Stores the calling thread's value (null: nothing to clean up). False
  // when the slot is not valid or the host is out of memory.
  bool set(void* value);

  struct Impl;  // the host's part, defined in thread_end_<host>.cpp

 private:
  Impl* impl_;
};

}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_INTERNAL_THREAD_END_H_
