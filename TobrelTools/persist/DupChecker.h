// The identity table of one serialization pass on one thread: the objects
// written or read so far, each under a 0-based index in the order in which
// it was first recorded. Persistable::save asks it whether an object was
// already written (to write a back-reference instead); Persistable::restore
// records each object it creates or fills and resolves back-references here.
//
// Objects are recorded by address only: the checker never owns, copies or
// dereferences them. Beside the ordered sequence it keeps a hash index from
// address to index, so recording n objects costs O(n) in all.
#ifndef TOBRELTOOLS_PERSIST_DUPCHECKER_H_
#define TOBRELTOOLS_PERSIST_DUPCHECKER_H_

#include <unordered_map>
#include <vector>

#include "TobrelTools/export.h"

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
  int add(const Persistable* obj);
  // The object recorded under index; null when index, taken as unsigned, is
  // not below entries() (so every negative index gives null).
  Persistable* get(int index) const;
  // The number of recorded objects.
  unsigned int entries() const;
  // Forgets every object and releases the storage; the next add records at 0.
  void clear();

 private:
  std::vector<const Persistable*> objects_;
  std::unordered_map<const Persistable*, int> indexOf_;
};

#endif  // TOBRELTOOLS_PERSIST_DUPCHECKER_H_
