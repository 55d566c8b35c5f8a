// The single process-wide source of the library's string storage: plain
// malloc and free behind one object, so that every block the library hands
// out is returned to the heap it came from (which matters on Windows, where
// a client may link a different C runtime).
#ifndef TOBRELTOOLS_PERSIST_ALLOCFACTORY_H_
#define TOBRELTOOLS_PERSIST_ALLOCFACTORY_H_

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InstanceManager.h"

class TOBREL_API AllocFactory {
 public:
  AllocFactory() {}
  AllocFactory(const AllocFactory&) {}
  AllocFactory& operator=(const AllocFactory&) { return *this; }
  virtual ~AllocFactory();

  // The process-wide instance, made on the first call and kept until the
  // process ends (so string storage still works in static destructors).
  static AllocFactory* getInstance();

  // A new block of size bytes, null when the heap has none. A negative size
  // is a caller's error and gives null without touching the heap; size 0
  // gives a distinct block that erase accepts like any other.
  void* instance(int size);
  // Returns a block obtained from instance; null is allowed and ignored.
  void erase(void* block);
};

// A per-thread holder (see InstanceManager.h) of an AllocFactory for each
// thread, offered to clients; the library itself uses the process-wide one.
class TOBREL_API AllocManager : public InstanceManager {
 public:
  AllocManager() {}
  ~AllocManager() override;
  AllocFactory* get();  // the calling thread's own AllocFactory, made on first use

 protected:
  void* newValue() override;
  void deleteValue(void* value) override;
};

#endif  // TOBRELTOOLS_PERSIST_ALLOCFACTORY_H_
