// The identity table of one serialization pass on one thread: the objects
// written or read so far, each under a 0-based index in the order in which
// it was first recorded. Persistable::save asks it whether an object was
// already written (to write a back-reference instead); Persistable::restore
// records each object it creates or fills and resolves back-references here.
//
// Objects are recorded by address only: the checker never owns, copies or
// dereferences them. Beside the ordered sequence it keeps an index from
// address to position: one flat open-addressing table, a power of two in
// size and never more than half full, so that a lookup is one or two cache
// misses and recording n objects costs O(n). Objects within one 64-byte
// stretch of memory (an object and the members it holds) share one cache
// line of the table, and the lines of one 4 KiB page of memory one 4 KiB
// block of the table (objects made one after another, as a restore makes
// them, are entered a block at a time). A slot takes 8 bytes on every host
// (the smaller the table, the more of it stays in the cache): the address's
// low 32 bits and the index, beside a 4-bit tag that names the address's
// high 32 bits among the few that a pass meets (one heap, one stack: a
// handful). A pass that meets more than 16 such values, or records more than
// 2^27 objects, goes on with slots that hold the low bits and the index
// alone, a match being confirmed in the sequence.
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
#include <cstdint>
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
    std::uint32_t low;   // the address's low 32 bits
    std::uint32_t meta;  // 0: free; else (index + 1) << 4 | tag, or index + 1 when verifying
  };
  static const unsigned int kTags = 16;

  // The tag given out for an address's high half; kTags when none was.
  unsigned int findTag(std::uint32_t high);
  // Gives out a tag for a new high half, or, when all are taken, goes over
  // to verifying slots (the table is made again: the checker must be
  // settled). Returns the tag to store.
  unsigned int newTag(std::uint32_t high);
  // Whether slot holds obj (low: its low half, tag: its tag).
  bool holds(const Slot& slot, const Persistable* obj, std::uint32_t low, unsigned int tag) const {
    return slot.meta && slot.low == low &&
           (verify_ ? objects_[slot.meta - 1] == obj : (slot.meta & (kTags - 1)) == tag);
  }
  // The slot holding obj, or the free slot that ends its probe; tag is
  // obj's tag (kTags: nothing holds obj).
  std::size_t probe(const Persistable* obj, unsigned int tag) const;
  std::uint32_t metaFor(std::size_t index, unsigned int tag) const {
    return verify_ ? static_cast<std::uint32_t>(index + 1) : static_cast<std::uint32_t>(((index + 1) << 4) | tag);
  }
  int indexIn(const Slot& slot) const { return static_cast<int>(verify_ ? slot.meta - 1 : (slot.meta >> 4) - 1); }

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
  // two), verifying or tagged, and enters every recorded object into it.
  void rebuild(std::size_t slots, bool verify);
  void releaseTable();

  std::vector<const Persistable*> objects_;
  std::size_t settled_;    // objects_[0, settled_) are in the table
  void* block_;            // the table's memory, null when none
  Slot* slots_;            // the table, at a cache line boundary in block_
  std::size_t mask_;       // table size - 1
  unsigned int shift_;     // bits of the hash dropped to index the table
  int nullIndex_;          // index of a recorded null pointer, -1 when none
  std::size_t lastPass_;   // entries of the pass before the last one cleared
  std::size_t expected_;   // entries the next table is first sized for
  bool verify_;            // slots hold no tag: matches are confirmed in objects_
  unsigned int tags_;      // tags given out in this pass
  unsigned int lastTag_;   // the tag found last
  std::uint32_t highs_[kTags];  // the high half of the addresses of each tag
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
