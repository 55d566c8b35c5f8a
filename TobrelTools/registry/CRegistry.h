// CRegistry: one open key of the registry, named by a root key and a key
// name (a backslash-separated path below the root; empty means the root
// itself).
//
//   CRegistry reg(HKEY_CURRENT_USER, "Software\\Vendor\\App");
//   if (reg) { std::tstring text; reg.get("InstallDir", text); }
//
// Every operation is one call of the narrow (...A) registry interface (open
// makes up to two) and returns true exactly when that call returned
// ERROR_SUCCESS; the error code itself is not kept. Operations on values,
// deletions and enumerations use the key this object has open; without one
// the call is made with a null handle and fails.
//
// Texts travel as NUL-terminated narrow text in the process's ANSI code page.
// get(text), enumKey and enumValue work in fixed 1024-byte stack buffers: an
// item that does not fit (text or data over 1024 bytes, a name or class of
// 1024 bytes or more) makes the call fail; nothing is ever truncated.
//
// Handles. The object owns the key it has open and never closes its root.
// Each object holds its own handle or none:
// - the copy constructor reopens the key from the root and the key name (an
//   empty key name opens nothing);
// - assignment closes the handle the left-hand object holds, takes the root
//   and the key name of the right-hand one and, like the copy constructor,
//   reopens the key when the name is not empty and the root is not null;
//   self-assignment changes nothing;
// - open and create close the handle the object holds before they open or
//   create the new one, so replacing a key never leaks a handle.
// A handle is therefore closed exactly once: by close, by the next open,
// create or assignment, or by the destructor.
#ifndef TOBRELTOOLS_REGISTRY_CREGISTRY_H_
#define TOBRELTOOLS_REGISTRY_CREGISTRY_H_

#include "TobrelTools/export.h"
#include "TobrelTools/platform/platform.h"
#include "TobrelTools/string/tstring.h"

class regkey_t;
class regval_t;

class TOBREL_API CRegistry {
 public:
  // Size of the stack buffers of get(text), enumKey and enumValue.
  enum { bufferSize = 1024 };

  // root is not owned. With a non-null name, the key is opened as open()
  // does; the outcome shows through operator bool. A null name opens nothing.
  CRegistry(HKEY root, const char* name);
  // Same root; reopens other's key name as a handle of its own (nothing when
  // that name is empty or the root is null).
  CRegistry(const CRegistry& other);
  // See "Handles" above.
  CRegistry& operator=(const CRegistry& other);
  // Closes the key this object holds; the root stays open.
  virtual ~CRegistry();

  // Opens name below the root for all access, else for reading only (writes
  // and deletions through a read-only handle then fail). An empty name opens
  // the root itself again, as a second handle. The key name becomes name
  // whatever the outcome; on failure no key is open.
  bool open(const std::tstring& name);
  // Creates name below the root, or opens it when it exists (both succeed),
  // for all access, without a class. The key name becomes name whatever the
  // outcome. options goes to the platform unchanged (0: non-volatile).
  bool create(const std::tstring& name, unsigned long options);
  // Creates or opens the key the element names, with its class name (none
  // when empty; an existing key keeps its class). On success the key name
  // becomes the element's name; on failure it is left as it was.
  bool create(const regkey_t& key, unsigned long options);
  // Closes the open key; false when none is open or the platform refuses.
  bool close();

  // True when a key is open.
  operator bool() const;
  // The open key; null when none is open.
  operator HKEY() const;
  HKEY getKey() const;
  HKEY getRootKey() const;
  std::tstring getKeyName() const;

  // Reads a value of any type as text: its bytes up to the first NUL (all of
  // them when there is none). Data over 1024 bytes fails; on failure text is
  // unchanged.
  bool get(const std::tstring& valueName, std::tstring& text);
  // Reads the raw bytes into buffer. *size holds the capacity on entry and
  // the bytes stored on return, or the bytes needed when the buffer is too
  // small (then the result is false).
  bool get(const std::tstring& valueName, unsigned char* buffer, unsigned long* size);
  // The value's size in bytes; 0 when it cannot be queried.
  unsigned long querySize(const std::tstring& valueName);
  // The value's type; 0 (REG_NONE) when it cannot be queried.
  unsigned long queryType(const std::tstring& valueName);

  // Writes a REG_SZ value: the text and its NUL (length + 1 bytes).
  bool set(const std::tstring& valueName, const std::tstring& text);
  // Writes a REG_BINARY value of size bytes.
  bool set(const std::tstring& valueName, const unsigned char* data, unsigned long size);
  // Writes the element's name, type, data and data size as they stand.
  bool set(const regval_t& value);

  bool deleteValue(const std::tstring& valueName);
  // Deletes one subkey of the open key; the platform refuses a subkey that
  // still has subkeys (regkey_t::remove empties a whole subtree).
  bool deleteKey(const std::tstring& subkeyName);

  // Describes the subkey at index in key: name, class name and last write
  // time (its element list is not touched). On failure key is unchanged.
  bool enumKey(unsigned long index, regkey_t& key);
  // Loads the value at index into value. value is emptied first, so on
  // failure it is left empty.
  bool enumValue(unsigned long index, regval_t& value);

  // path + "\" + name; just name when path is empty. Nothing is trimmed.
  static std::tstring addKey(const std::tstring& path, const std::tstring& name);

 private:
  // Closes the held key, if any (the root never).
  void release();

  HKEY rootKey;
  HKEY key;
  std::tstring keyName;
};

#endif  // TOBRELTOOLS_REGISTRY_CREGISTRY_H_
