// regtree: a snapshot of one registry subtree, addressed by a root key (a
// predefined root or a key the client opened; never closed here) and a
// subkey path below it. The snapshot is the top key element: its name is the
// subkey path, its list holds the top key's subkeys (each with its subtree)
// followed by its values.
//
//   regtree tree(HKEY_CURRENT_USER, "Software\\Vendor\\App");
//   tree.load();                                  // registry -> snapshot
//   Persistable::readyToSerialize();
//   { fvostream out("app.reg.bin"); out << tree; }
//   ...
//   Persistable::readyToSerialize();
//   fvistream in("app.reg.bin");
//   regtree* back = 0;
//   in >> back;                                   // throws InternalException*
//   back->setTop(HKEY_CURRENT_USER, "Software\\Vendor\\App.bak");
//   back->restore();                              // snapshot -> registry
//   delete back;
//
// Copies (constructor and assignment) take the address, not the snapshot.
// load, restore and remove report nothing: keys that cannot be opened,
// created or deleted are passed over.
//
// Stream contents (inside the object record of class id 0xF034):
//   int 1, unsigned long root key handle value (32 bits), subkey (tstring
//   record), the top key (regkey_t record).
// The handle value is read back sign-extended to pointer width, so a tree
// saved below a predefined root (HKEY_LOCAL_MACHINE is 0x80000002) names the
// same root in any process; the value of a key the client opened means
// nothing in another process. Reading appends to the snapshot; errors are
// those of regkey_t and of the object framing.
//
// Text dump (toString):
//   --- Registry Tree ---
//   HKEY: <handle value, 8 lower-case hex digits>, SUBKEY: <subkey>
//   followed by the top key's dump. A subkey too long for tstring::format's
//   4095 characters is appended directly: the line is never cut.
#ifndef TOBRELTOOLS_REGISTRY_REGTREE_H_
#define TOBRELTOOLS_REGISTRY_REGTREE_H_

#include "TobrelTools/export.h"
#include "TobrelTools/registry/concrete_stream_ops.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/platform/platform.h"
#include "TobrelTools/registry/regkey.h"
#include "TobrelTools/string/tstring.h"

class TOBREL_API regtree : public Persistable {
 public:
  // No root, empty subkey, empty snapshot.
  regtree();
  // A null subkey gives an empty one. Reads nothing from the registry.
  regtree(HKEY root, const char* subkey);
  // Root and subkey of other; the top key copied without elements.
  regtree(const regtree& other);
  // Root and subkey of other; the snapshot is emptied, none is copied.
  regtree& operator=(const regtree& other);

  unsigned short isA() const override;
  ~regtree() override;
  void restoreContents(vistream& is) override;
  void saveContents(vostream& os) const override;

  static unsigned short getClassId();

  // Replaces the address; the snapshot stays as it is.
  void setTop(HKEY root, const std::tstring& subkey);
  // The root key.
  HKEY getKey() const;
  const std::tstring& getSubKey() const;
  regkey_t& getTopkey();
  const regkey_t& getTopkey() const;

  // Names the top key after the subkey and appends the subtree as the
  // registry holds it now (a missing subkey adds nothing). The top key's own
  // class name and time are not read.
  void load();
  // The recursive loader: opens name below parent (all access, else read)
  // and appends to key's list its subkeys, each followed at once by its own
  // subtree, then its values, in enumeration order. key's own name, class
  // and time are not changed. Enumeration stops at the first item that does
  // not fit CRegistry's 1024-byte buffers.
  static void load(HKEY parent, std::tstring& name, regkey_t& key);
  // Writes the snapshot below the root at the subkey (created with any
  // missing keys of the path); existing keys and values are overwritten,
  // others are left in place.
  void restore();
  // Deletes the subtree at the subkey, including keys and values created
  // since an earlier load (the subtree is loaded again first), then the
  // subkey itself. The snapshot is empty afterwards whatever the outcome.
  void remove();
  std::tstring toString();

 private:
  static const unsigned short regtree_id = 0xF034;

  HKEY rootKey;
  std::tstring subKey;
  regkey_t topKey;
};

// The creator registered for 0xF034.
TOBREL_API Persistable* regtree_create();

// As for the elements; the pointer form of >> throws when the record holds
// no regtree.
TOBREL_API vostream& operator<<(vostream& os, const regtree& obj);
TOBREL_API vostream& operator<<(vostream& os, const regtree* obj);
TOBREL_API vistream& operator>>(vistream& is, regtree& obj);
TOBREL_API vistream& operator>>(vistream& is, regtree*& obj);
TOBREL_CONCRETE_STREAM_POINTER_WRITE(regtree)

#endif  // TOBRELTOOLS_REGISTRY_REGTREE_H_
