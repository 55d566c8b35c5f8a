// Per-thread holders: each holder owns one thread-local storage slot, and
// every thread keeps its own object in it, made on the thread's first `get`.
// The library keeps its class factory and its duplicate checker this way, so
// independent serialization passes on different threads never share state
// and nothing needs a lock.
//
// InstanceManager is the abstract holder; each concrete one is declared
// beside the class it holds:
//
//   FactoryManager     ClassFactory.h: each thread's ClassFactory
//   DupCheckerManager  DupChecker.h:   each thread's DupChecker
//   AllocManager       AllocFactory.h: an AllocFactory per thread (offered to clients)
//
// Lifetime decisions:
// - A thread's object lives until freeValue on that thread (for the
//   duplicate checker: DupChecker::destroyInstance) or until its thread
//   ends: a thread that ends releases its objects, as freeValue would, so
//   that short-lived threads leave nothing behind. The thread that built the
//   holder (for the library's holders, the thread that loaded the library)
//   is the exception: its objects stay until the process ends, so that the
//   class registrations made at start-up serve until the very end.
// - Destroying a holder frees its slot without deleting any thread's object
//   (nor does a thread that ends afterwards touch it).
// - Holders cannot be copied: a copy would share the slot, and destroying
//   either copy would free the slot under the other.
// - A constructor that finds no slot left throws InternalException*
//   "no thread-local storage slot left." (the holder never exists half made).
#ifndef TOBRELTOOLS_PERSIST_INSTANCEMANAGER_H_
#define TOBRELTOOLS_PERSIST_INSTANCEMANAGER_H_

#include <thread>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"

class TOBREL_API InstanceManager {
 public:
  InstanceManager();
  InstanceManager(const InstanceManager&) = delete;
  InstanceManager& operator=(const InstanceManager&) = delete;
  virtual ~InstanceManager();  // frees the slot; deletes no thread's object

  // Makes a new object with newValue and stores it as the calling thread's
  // value; an earlier value is replaced, not deleted. When the object cannot
  // be stored, it is deleted again and std::bad_alloc is thrown.
  void* addValue();
  // The calling thread's value, null when it has none.
  void* currentValue();
  // Deletes the calling thread's value with deleteValue and stores null;
  // does nothing when the thread has no value.
  void freeValue();

 protected:
  virtual void* newValue() = 0;
  virtual void deleteValue(void* value) = 0;

  // currentValue, or addValue when the thread has no value yet.
  void* getOrAdd();
  // Stops ending threads from releasing their values through this holder.
  // A derived holder calls it first thing in its destructor, while its
  // deleteValue can still be called; calling it again does nothing.
  void retire();

 private:
  DWORD slot_;
  std::thread::id owner_;  // the thread whose objects outlive it
};

#endif  // TOBRELTOOLS_PERSIST_INSTANCEMANAGER_H_
