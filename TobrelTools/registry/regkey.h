// regkey_t: a registry key in memory: class name, name, last write time and
// an ordered list of child elements (subkeys and values) that it owns.
//
// Ownership. The key destroys each child through its deleteMe when the list
// is cleared (clearElements, clear, copyIn, setElements, remove, the
// destructor). An element pointer must stand in one list only, once.
// Copies (copy constructor, assignment, copyIn, spawn) take the name, class
// name and time but no children; setElements copies a whole list level.
//
// Stream contents (inside the object record of class id 0xF033):
//   int 1, class name (tstring record), name (tstring record),
//   unsigned long low word, unsigned long high word of the last write time,
//   int element count, then each element as its own record.
// Reading appends to the list and replaces name, class name and time.
// A damaged stream ends the read with InternalException* and the stream's
// fail bit set when
//   - the element count is negative:
//       "regkey_t: negative element count <n>";
//   - an element record is a back-reference (a saved key never holds one
//     element twice, and taking over a shared object would destroy it twice):
//       "regkey_t: element <i> is a back-reference, not an element of its own";
//   - an element record holds an object that is not a registry element, or a
//     bare regelm (which its key could not destroy through deleteMe); the
//     object is destroyed:
//       "regkey_t: element <i> has class id 0x<id>, not a registry key or value";
// or with the exceptions of the object framing. A stream that fails between
// elements stops the read there (no element is appended for it), however
// large the count. Elements read whole before a failure stay in the list;
// an element whose own reading failed is destroyed, not appended.
//
// Text dump (toString), every line ending in a line feed:
//   --- regkey ---
//   Class Name: <class name>
//   Name: "<name>"
//   Last Write: <y>/<m>/<d> <h>:<min>:<s>   (only when the time converts to
//                                          a DOS date and time)
//   followed by the dump of each element, depth first.
// Lines are never cut: a name or class name too long for tstring::format's
// 4095 characters is appended directly, giving the same text.
#ifndef TOBRELTOOLS_REGISTRY_REGKEY_H_
#define TOBRELTOOLS_REGISTRY_REGKEY_H_

#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/registry/concrete_stream_ops.h"
#include "TobrelTools/registry/filetime.h"
#include "TobrelTools/registry/regelm.h"

class TOBREL_API regkey_t : public regelm {
 public:
  // Empty names, time 0, no elements.
  regkey_t();
  // Name, class name and time of other; no elements.
  regkey_t(const regkey_t& other);
  // copyIn(other).
  regkey_t& operator=(const regkey_t& other);

  unsigned short isA() const override;
  ~regkey_t() override;
  void restoreContents(vistream& is) override;
  void saveContents(vostream& os) const override;
  std::tstring& getName() override;
  const std::tstring& getName() const override;
  // Creates (or opens) this key below parent's open key, with the class
  // name, then restores each element below it in list order. A key that
  // cannot be created is skipped with everything below it; nothing is
  // reported. The last write time is not written.
  void restore(CRegistry& parent) override;
  // Opens this key below parent's open key (all access, else read) and
  // deletes what the list holds: each subkey's own contents first, then the
  // subkey itself, then the values; then empties the list. The key itself
  // stays (its parent deletes it). When the key cannot be opened the list is
  // left as it is. Failed deletions are not reported.
  void remove(CRegistry& parent) override;
  // delete this.
  void deleteMe() override;
  // new regkey_t(*this): no children.
  regelm* spawn() override;
  std::tstring toString() override;

  static unsigned short getClassId();

  // Name, class name and time become other's; then clearElements().
  void copyIn(const regkey_t& other);

  const std::tstring& getClass() const;
  void setClass(const std::tstring& cls);
  void setName(const std::tstring& name);
  const filetime& getLastWriteTime() const;
  void setLastWriteTime(const filetime& time);

  // The list itself. Removing a pointer takes the element over; adding one
  // hands it to the key.
  std::vector<regelm*>& getElements();
  const std::vector<regelm*>& getElements() const;
  // Appends element; the key takes ownership.
  void addElements(regelm* element);
  // clearElements(), then appends spawn() of each of elements (a null spawn
  // result is left out). The caller keeps its elements.
  void setElements(const std::vector<regelm*>& elements);
  // deleteMe() of each element in list order, then the list is emptied and
  // its storage released.
  void clearElements();
  // Empty names, time 0, no elements.
  void clear();

 private:
  static const unsigned short regkey_t_id = 0xF033;

  std::tstring className;
  std::tstring name;
  filetime lastWriteTime;
  std::vector<regelm*> elements;
};

// The creator registered for 0xF033.
TOBREL_API Persistable* regkey_t_create();

// As for regelm; the pointer form of >> throws when the record holds no regkey_t.
TOBREL_API vostream& operator<<(vostream& os, const regkey_t& obj);
TOBREL_API vostream& operator<<(vostream& os, const regkey_t* obj);
TOBREL_API vistream& operator>>(vistream& is, regkey_t& obj);
TOBREL_API vistream& operator>>(vistream& is, regkey_t*& obj);
TOBREL_CONCRETE_STREAM_POINTER_WRITE(regkey_t)

#endif  // TOBRELTOOLS_REGISTRY_REGKEY_H_
