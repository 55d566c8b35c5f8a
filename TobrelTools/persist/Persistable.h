// Persistable: the base of every object that can be written to a vostream
// and read back from a vistream, together with the persistable objects it
// holds. Shared and cyclic object graphs come back with their sharing intact.
//
// Stream format. Each object is one record:
//   object record     ':' <class id: unsigned short> '{' <contents> '}'
//   reference record  '@' <index: int>
// The index is the object's position in the duplicate checker of the pass
// (0 for the first object recorded). The contents carry no length: the
// reader finds '}' because restoreContents reads exactly what saveContents
// wrote. A null pointer cannot be written.
//
// A serialization pass is the save or restore calls made on one thread
// between two calls of readyToSerialize:
//
//   Persistable::readyToSerialize();
//   fvostream out("graph.bin");
//   out << root;                       // root: Persistable* or Persistable&
//   ...
//   Persistable::readyToSerialize();
//   fvistream in("graph.bin");
//   Persistable* back = 0;
//   try { in >> back; }
//   catch (InternalException* e) { report(e->getMsg()); delete e; }
//
// A persistable class derives from Persistable, keeps its class id in a
// private static <class>_id returned by getClassId and isA, overrides
// saveContents and restoreContents (same fields, same order, same types;
// nested objects with operator<< and operator>>), provides a creator that
// returns a new default-constructed object, registers (id, creator) with the
// ClassFactory, and offers the four operators below typed for the class
// (implement the pointer form of operator>> on top of this one, so that it
// shares the clean-up rule below).
//
// Errors while reading throw InternalException* with one of the messages
//   "Invalid format: can't find referencer."     (fail bit set)
//   "unmatch serialized object."
//   "ileagal reference object."
//   "Invalid format: can't find opening brace."  (fail bit set)
//   "can't find creator"
//   "Invalid format: can't find closing brace."
//   "Invalid format: nesting too deep."          (fail bit set)
// A stream that is not good on entry, or that fails while the record's
// leading ':'/'@', index, class id or '{' are read, only gets its fail bit
// set: nothing is thrown and the target pointer is left as it was.
//
// Ownership after an error: the pointer form of operator>> deletes the object
// that its own restore created when an error leaves it (that object has no
// other owner: the caller's pointer is left unchanged), so objects whose
// destructors release what they hold leave nothing behind. Objects already
// handed to a parent belong to that parent. The addresses stay recorded in
// the duplicate checker: after an error the pass is over, call
// readyToSerialize before reading again. restore itself deletes nothing: a
// caller of restore owns whatever it stored into the pointer.
//
// Nesting. save and restore recurse once per nested record, so the depth a
// thread can handle depends on its stack. Both check, before entering a
// further level, that the stack left on the thread holds that level with a
// safety margin: 64 KiB (256 KiB in AddressSanitizer builds) plus twice the
// largest level measured on the thread, a level being the stack between two
// nested calls, the class's own frames included; restore then throws
// "Invalid format: nesting too deep.", save throws
// "nesting too deep to save." (and sets the stream's fail bit). save allows
// itself only about half the stack, so that what a thread could write, a
// thread with the same stack size can read. For a small class, an 8 MiB
// stack reads about 40,000 levels and a 2 MiB one about 9,000. To read
// deeper graphs, run the read on a thread with a larger stack
// (pthread_attr_setstacksize, CreateThread's stack size): 512 MiB holds
// millions of levels. A class whose own frames exceed 64 KiB is measured
// only from its second level on.
#ifndef TOBRELTOOLS_PERSIST_PERSISTABLE_H_
#define TOBRELTOOLS_PERSIST_PERSISTABLE_H_

#include <type_traits>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/stream/vistream.h"
#include "TobrelTools/stream/vostream.h"

class TOBREL_API Persistable {
 public:
  Persistable() {}
  Persistable(const Persistable&) {}
  Persistable& operator=(const Persistable&) { return *this; }

  // The virtual operations keep this slot order in every persistable class.
  virtual unsigned short isA() const;      // class id of the dynamic class
  virtual ~Persistable();
  virtual void restoreContents(vistream& is);      // reads this object's own fields
  virtual void saveContents(vostream& os) const;   // writes this object's own fields

  static unsigned short getClassId();

  // Writes this object as an object record, or as a reference record when it
  // was already recorded in this pass. Write errors show in the stream state.
  void save(vostream& os) const;
  // Reads one record into obj: with obj null, a new object is created (or a
  // back-reference resolved); otherwise the record is read into *obj, whose
  // class is not compared with the record's id.
  static void restore(vistream& is, Persistable*& obj);
  // Starts a pass: empties the calling thread's duplicate checker.
  static void readyToSerialize();
  // Deletes the calling thread's duplicate checker; the next use makes a new one.
  static void clearInstance();

 private:
  static const unsigned short Persistable_id = 0x8001;
};

// The creator of plain Persistable objects, registered at start-up.
TOBREL_API Persistable* Persistable_create();

TOBREL_API vostream& operator<<(vostream& os, const Persistable& obj);
// obj must not be null: a null pointer sets the stream's fail bit and throws
// InternalException* "can't save a null object.".
TOBREL_API vostream& operator<<(vostream& os, const Persistable* obj);
// Writing a pointer through a concrete stream (an fvostream, say) would
// otherwise meet that stream's own operator<<(bool) first. This forwards to
// the vostream operators, where a class's own typed operator wins.
template <typename Stream, typename T,
          typename = typename std::enable_if<std::is_base_of<vostream, Stream>::value &&
                                             !std::is_same<Stream, vostream>::value &&
                                             std::is_base_of<Persistable, T>::value>::type>
inline vostream& operator<<(Stream& os, const T* obj) {
  return static_cast<vostream&>(os) << obj;
}
// Reads into a local null pointer and stores it into obj on success; when an
// error is thrown, obj is unchanged and the object created here is deleted.
TOBREL_API vistream& operator>>(vistream& is, Persistable*& obj);
// Reads the record into the given object (a reference record is an error).
TOBREL_API vistream& operator>>(vistream& is, Persistable& obj);

#endif  // TOBRELTOOLS_PERSIST_PERSISTABLE_H_
