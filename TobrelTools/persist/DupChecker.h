// The identity table of one serialization pass on one thread: the objects
// written or read so far, each under a 0-based index in the order in which
// it was first recorded. Persistable::save asks it whether an object was
// already written (to write a back-reference instead); Persistable::restore
// records each object it creates or fills and resolves back-references here.
//
// Objects are recorded by address only: the checker never owns, copies or
// dereferences them. Beside the ordered sequence it keeps an index from
// address to position: one flat open-addressing table of (address, index)
// pairs, a power of two in size and never more than half full, so that a
// lookup is one or two cache misses and recording n objects costs O(n).
// Objects within one 64-byte stretch of memory (an object and the members
// it holds) share one cache line of the table.
//
// Restore records objects it creates with record(), which only appends them
// and starts fetching their table slots; the table work for such objects is
// done a batch at a time, when the batch is full or before anything looks
// at the checker (every public operation does so first). Until then the
// pending objects are not observed, so the checker behaves exactly as if
// each had been added on its own. A back-reference to an object recorded
// before the batch reads the sequence directly.
//
// Storage between passes: clear() keeps the memory that a pass like the
// last two would need again (a program that writes and reads graphs of the
// same size allocates nothing after its first passes), and gives back what
// only an unusually large pass needed: what is kept is sized for the
// smaller of the last two passes, and at most a few hundred KiB more.
#ifndef TOBRELTOOLS_PERSIST_DUPCHECKER_H_
#define TOBRELTOOLS_PERSIST_DUPCHECKER_H_

#include <cstddef>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InstanceManager.h"

class Persistable;

class TOBREL_API DupChecker {
 public:
  DupChecker();
  DupChecker(const DupChecker& other);
  DupChecker& operator=(const DupChecker& other);
  virtual ~DupChecker();  // releases the storage, never the objects

  // The calling thread's checker, made empty on the thread's first call.
  static DupChecker* getInstance();
  // Deletes the calling thread's checker, if it has one; the next
  // getInstance on the thread makes a new, empty one.
  static void destroyInstance();

  // The index under which obj was recorded earlier; otherwise records obj at
  // the next index (the value of entries() before the call) and returns -1.
  // A null obj is recorded like any other address.
  int add(const Persistable* obj);
  // add without the result, for a stream of objects that are mostly new
  // (what restore records): the table work is deferred as described above.
  void record(const Persistable* obj);
  // The object recorded under index; null when index, taken as unsigned, is
  // not below entries() (so every negative index gives null).
  Persistable* get(int index) const;
  // The number of recorded objects.
  unsigned int entries() const;
  // Forgets every object; the next add records at index 0. Storage is kept
  // or given back as described above.
  void clear();

 private:
  friend struct DupCheckerInspector;  // tests look at the storage

  struct Slot {
    const Persistable* object;  // null: the slot is free
    int index;
  };

  // Enters the pending objects (from settled_ on) into the table, dropping
  // those recorded already, as add would have done one by one.
  void settle();
  // settle for the const operations: pending objects are not observable
  // state, so entering them changes nothing that a caller can see.
  void settleView() const {
    if (settled_ != objects_.size()) const_cast<DupChecker*>(this)->settle();
  }
  // Makes room for one more entry, growing the table ahead of need.
  void reserveOne();
  // Replaces the table by one of the given number of slots (a power of
  // two) and enters every recorded object into it.
  void rebuild(std::size_t slots);
  void releaseTable();
  std::size_t slotOf(const Persistable* obj) const;

  std::vector<const Persistable*> objects_;
  std::size_t settled_;    // objects_[0, settled_) are in the table
  void* block_;            // the table's memory, null when none
  Slot* slots_;            // the table, at a cache line boundary in block_
  std::size_t mask_;       // table size - 1
  unsigned int shift_;     // bits of the hash dropped to index the table
  int nullIndex_;          // index of a recorded null pointer, -1 when none
  std::size_t lastPass_;   // entries of the pass before the last one cleared
  std::size_t expected_;   // entries the next table is first sized for
};

// The per-thread holder (see InstanceManager.h) of each thread's checker;
// DupChecker::getInstance and destroyInstance go through the library's one.
class TOBREL_API DupCheckerManager : public InstanceManager {
 public:
  DupCheckerManager() {}
  ~DupCheckerManager() override;
  DupChecker* get();  // the calling thread's checker, made empty on first use

 protected:
  void* newValue() override;
  void deleteValue(void* value) override;
};

#endif  // TOBRELTOOLS_PERSIST_DUPCHECKER_H_
