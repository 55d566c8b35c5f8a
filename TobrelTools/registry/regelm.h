// regelm: the common base of the registry elements held in memory, regkey_t
// (a key with its owned child elements) and regval_t (a value with its owned
// data). A key element with its children is a snapshot of a registry
// subtree; regtree loads, saves, restores and removes such snapshots.
//
// An element can write itself into the registry below a parent key
// (restore), delete itself from there (remove), copy itself (spawn), dump
// itself as text (toString) and be written to and read from a stream as a
// Persistable object record.
//
// A bare regelm has a class id of its own (0xF036) but does nothing: no name,
// restore and remove do nothing, spawn returns null, toString is empty. Its
// deleteMe does nothing either, so a bare regelm put into a key's list stays
// its creator's to destroy.
#ifndef TOBRELTOOLS_REGISTRY_REGELM_H_
#define TOBRELTOOLS_REGISTRY_REGELM_H_

#include "TobrelTools/export.h"
#include "TobrelTools/registry/concrete_stream_ops.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/string/tstring.h"

class CRegistry;

class TOBREL_API regelm : public Persistable {
 public:
  regelm() {}
  regelm(const regelm& other) : Persistable(other) {}
  regelm& operator=(const regelm&) { return *this; }

  unsigned short isA() const override;
  ~regelm() override;
  void restoreContents(vistream& is) override;     // reads nothing
  void saveContents(vostream& os) const override;  // writes nothing

  // The element's name. A bare regelm has none: the const form refers to a
  // shared empty string, the non-const form to a per-thread scratch string
  // that is emptied on every call.
  virtual std::tstring& getName();
  virtual const std::tstring& getName() const;
  // Writes the element into the registry below parent's open key.
  virtual void restore(CRegistry& parent);
  // Deletes the element's contents from the registry below parent's open key.
  virtual void remove(CRegistry& parent);
  // Destroys the element; the owning key calls it. Nothing for a bare regelm.
  virtual void deleteMe();
  // A new copy of the element (a key without its children); null here.
  virtual regelm* spawn();
  // The text dump; every line ends with a line feed. Empty here.
  virtual std::tstring toString();

  static unsigned short getClassId();

 private:
  static const unsigned short regelm_id = 0xF036;
};

// The creator registered for 0xF036: a new bare regelm.
TOBREL_API Persistable* regelm_create();

// Written and read as Persistable object records. The pointer form of >>
// creates the object named by the record's class id and throws
// InternalException* (after deleting it, with the stream's fail bit set) when
// that object is not a regelm, rather than hand out a pointer of the wrong type.
TOBREL_API vostream& operator<<(vostream& os, const regelm& obj);
TOBREL_API vostream& operator<<(vostream& os, const regelm* obj);
TOBREL_API vistream& operator>>(vistream& is, regelm& obj);
TOBREL_API vistream& operator>>(vistream& is, regelm*& obj);
TOBREL_CONCRETE_STREAM_POINTER_WRITE(regelm)

#endif  // TOBRELTOOLS_REGISTRY_REGELM_H_
