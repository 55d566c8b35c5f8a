// The Windows registry calls over the registry store: handles, access rights,
// path walking, enumeration cursors and the Windows buffer rules. One lock
// serialises every call of the process (and a RegistryBatch holds it for its
// whole life); each call that changes the registry is one store transaction,
// committed before the call returns.
//
// Fork: the store is closed before every fork and opened again, on each
// side, at the next call (see the fork handlers below); handles name keys by
// their ids in the database, so they stay valid on both sides.
#include "TobrelTools/platform/registry.h"

#include <pthread.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/registry_store.h"

TOBREL_MODULE_ID("registry_posix.cpp", "2026.12.05");

namespace {

using tobrel::regstore::KeyId;
using tobrel::regstore::KeyInfo;
using tobrel::regstore::RegistryStore;
using tobrel::regstore::ValueInfo;
using tobrel::regstore::ansiText;
using tobrel::regstore::foldName;
using tobrel::regstore::nameUnits;

const std::size_t kMaxKeyNameChars = 255;
const std::size_t kMaxValueNameChars = 16383;
// A closed handle number is handed out again only once this many others are
// free, so that a stale handle is caught as invalid rather than landing on
// another key.
const std::size_t kReuseDelay = 256;

const REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | 0x00040000L /*WRITE_DAC*/ |
                            0x00080000L /*WRITE_OWNER*/;

// Where an enumeration of one handle stands, valid while the store's change
// counter stays the same: for subkeys the entry last returned (the next one
// is one index step away), for values the whole order of the key's values.
struct Cursor {
  bool valid = false;
  std::uint64_t counter = 0;
  DWORD index = 0;
  std::string folded;               // subkeys: folded name of the entry at `index`
  std::vector<std::string> order;   // values: folded names in enumeration order
};

struct Handle {
  bool used = false;
  bool predefined = false;
  KeyId key = 0;
  REGSAM access = 0;
  Cursor keys;
  Cursor values;
};

// A recursive lock that a fork handler can take in the parent and give back
// in the child (where the thread has another kernel id, which a recursive
// pthread mutex would refuse).
class CallLock {
 public:
  void lock() {
    std::thread::id self = std::this_thread::get_id();
    if (owner_.load(std::memory_order_relaxed) == self) {
      ++depth_;
      return;
    }
    mutex_.lock();
    owner_.store(self, std::memory_order_relaxed);
    depth_ = 1;
  }
  void unlock() {
    if (--depth_ > 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{std::thread::id()};
  int depth_ = 0;
};

struct Registry {
  CallLock mutex;
  std::unique_ptr<RegistryStore> store;
  bool forkInBatch = false;   // a fork is under way while this thread's batch is open
  bool orphaned = false;      // a child forked in a batch: the store cannot be used
  bool pathSet = false;   // a path was given by registryStoreReset
  std::string path;       // the path given, or the one in use
  std::vector<Handle> handles;   // slot i is the handle value (i + 1) * 4
  std::deque<std::size_t> freeSlots;
  Handle roots[4];

  Registry() {
    for (int i = 0; i < 4; ++i) {
      roots[i].used = true;
      roots[i].predefined = true;
      roots[i].key = tobrel::regstore::kClassesRoot + i;
      roots[i].access = KEY_ALL_ACCESS;
    }
  }
};

Registry* theRegistry = nullptr;

// Before a fork: waits for the registry calls and batches of other threads
// to end (the lock), then closes the store, so that no SQLite connection and
// none of SQLite's lock bookkeeping for the file crosses into the child. A
// batch of the forking thread itself cannot be closed without undoing it:
// the parent keeps it, the child cannot use the store at all.
void beforeFork() {
  Registry& r = *theRegistry;
  r.mutex.lock();
  if (!r.store) return;
  if (r.store->inBatch()) {
    r.store->stopBackground();
    r.forkInBatch = true;
  } else {
    r.store.reset();
  }
}

void afterForkInParent() {
  Registry& r = *theRegistry;
  r.forkInBatch = false;
  r.mutex.unlock();
}

void afterForkInChild() {
  Registry& r = *theRegistry;
  if (r.forkInBatch) {
    r.store->abandon();
    r.orphaned = true;
    r.forkInBatch = false;
  }
  r.mutex.unlock();
}

// Never destroyed: registry calls made by other static destructors at exit
// still find it.
Registry& reg() {
  static Registry* r = [] {
    theRegistry = new Registry;
    pthread_atfork(beforeFork, afterForkInParent, afterForkInChild);
    return theRegistry;
  }();
  return *r;
}

std::string defaultPath() {
  const char* env = std::getenv("TOBREL_REGISTRY");
  if (env && *env) return env;
  std::string base;
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && *xdg == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
      struct passwd* pw = getpwuid(getuid());
      home = pw ? pw->pw_dir : "/tmp";
    }
    base = std::string(home) + "/.local/share";
  }
  return base + "/TobrelTools/registry.db";
}

// Opens the store at the first call, and again after a fork or a reset.
// Enumeration cursors are kept only for the connection that made them.
LONG ensureStore(Registry& r) {
  if (r.orphaned) return ERROR_REGISTRY_IO_FAILED;
  if (!r.store) {
    if (!r.pathSet) r.path = defaultPath();
    std::unique_ptr<RegistryStore> s(new RegistryStore(r.path));
    if (s->status() != ERROR_SUCCESS) return s->status();
    r.store = std::move(s);
    for (Handle& h : r.handles) h.keys = h.values = Cursor();
    for (Handle& h : r.roots) h.keys = h.values = Cursor();
  }
  return ERROR_SUCCESS;
}

Handle* resolve(Registry& r, HKEY hKey) {
  std::uintptr_t full = reinterpret_cast<std::uintptr_t>(hKey);
  std::uint32_t v = static_cast<std::uint32_t>(full);
  // Accept a handle written as 32 bits and read back zero- or sign-extended.
  if (full != v && full != static_cast<std::uintptr_t>(static_cast<std::intptr_t>(static_cast<std::int32_t>(v)))) {
    return nullptr;
  }
  if (v >= 0x80000000u && v <= 0x80000003u) return &r.roots[v - 0x80000000u];
  if (v == 0 || v % 4 != 0) return nullptr;
  std::size_t slot = v / 4 - 1;
  if (slot >= r.handles.size() || !r.handles[slot].used) return nullptr;
  return &r.handles[slot];
}

HKEY newHandle(Registry& r, KeyId key, REGSAM access) {
  std::size_t slot;
  if (r.freeSlots.size() > kReuseDelay) {
    slot = r.freeSlots.front();
    r.freeSlots.pop_front();
  } else {
    slot = r.handles.size();
    r.handles.emplace_back();
  }
  Handle& h = r.handles[slot];
  h = Handle();
  h.used = true;
  h.key = key;
  h.access = access;
  return reinterpret_cast<HKEY>(static_cast<std::uintptr_t>((slot + 1) * 4));
}

// The rights a request for `sam` is granted on a key, as Windows maps the
// generic rights and MAXIMUM_ALLOWED.
REGSAM mapAccess(REGSAM sam, bool readOnly) {
  REGSAM out = sam & 0x00FFFFFFL & ~static_cast<REGSAM>(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
  if (sam & GENERIC_READ) out |= KEY_READ;
  if (sam & GENERIC_WRITE) out |= KEY_WRITE;
  if (sam & GENERIC_EXECUTE) out |= KEY_EXECUTE;
  if (sam & GENERIC_ALL) out |= KEY_ALL_ACCESS;
  if (sam & MAXIMUM_ALLOWED) out |= readOnly ? KEY_READ : KEY_ALL_ACCESS;
  return out;
}

std::size_t charCount(const std::string& s) { return nameUnits(s.data(), s.size()); }

// Splits a key path into its components.
LONG splitPath(const char* path, std::vector<std::string>* out) {
  out->clear();
  if (!path) return ERROR_SUCCESS;
  if (*path == '\\') return ERROR_BAD_PATHNAME;
  const char* p = path;
  while (*p) {
    const char* end = p;
    while (*end && *end != '\\') {
      unsigned char c = static_cast<unsigned char>(*end);
      // A trail byte may be 0x5C: never split a double-byte character.
      if (tobrel::cp932IsLeadByte(c) && end[1]) ++end;
      ++end;
    }
    if (end != p) {
      out->emplace_back(p, static_cast<std::size_t>(end - p));
      if (charCount(out->back()) > kMaxKeyNameChars) return ERROR_INVALID_PARAMETER;
    }
    p = *end ? end + 1 : end;
  }
  return ERROR_SUCCESS;
}

// One store transaction, rolled back unless committed.
class Txn {
 public:
  Txn(RegistryStore& s, bool write) : store_(s), status_(s.begin(write)) {}
  ~Txn() {
    if (status_ == ERROR_SUCCESS && !done_) store_.rollback();
  }
  LONG status() const { return status_; }
  LONG commit() {
    done_ = true;
    return store_.commit();
  }

 private:
  RegistryStore& store_;
  LONG status_;
  bool done_ = false;
};

// Walks `parts` down from `start`. A missing start key is ERROR_KEY_DELETED.
LONG walk(RegistryStore& s, KeyId start, const std::vector<std::string>& parts, KeyInfo* out) {
  if (parts.empty()) return s.getKey(start, out);
  KeyId cur = start;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    LONG err = s.findChild(cur, foldName(parts[i].data(), parts[i].size()), out);
    if (err == ERROR_FILE_NOT_FOUND && i == 0) {
      KeyInfo startInfo;
      LONG exists = s.getKey(start, &startInfo);
      if (exists != ERROR_SUCCESS) return exists;
    }
    if (err != ERROR_SUCCESS) return err;
    cur = out->id;
  }
  return ERROR_SUCCESS;
}

// Write access through a handle: the right itself, and for a predefined root
// handle the root's read-only flag as it stands now.
LONG checkWrite(RegistryStore& s, const Handle& h, REGSAM right) {
  if (!(h.access & right)) return ERROR_ACCESS_DENIED;
  if (h.predefined) {
    KeyInfo k;
    LONG err = s.getKey(h.key, &k);
    if (err != ERROR_SUCCESS) return err;
    if (k.readOnly) return ERROR_ACCESS_DENIED;
  }
  return ERROR_SUCCESS;
}

// The common start of every call: the lock, the store and the handle.
struct Call {
  Registry& r;
  std::unique_lock<CallLock> lock;
  Handle* handle = nullptr;
  LONG status = ERROR_SUCCESS;

  explicit Call(HKEY hKey) : r(reg()), lock(r.mutex) {
    handle = resolve(r, hKey);
    if (!handle) {
      status = ERROR_INVALID_HANDLE;
      return;
    }
    status = ensureStore(r);
  }
  RegistryStore& store() { return *r.store; }
};

bool copyName(const std::string& name, LPSTR buffer, LPDWORD size) {
  if (name.size() >= *size) return false;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *size = static_cast<DWORD>(name.size());
  return true;
}

// Finds the subkey (or value) at `index` of a handle's key, moving the
// handle's cursor: the next index is one index lookup, any other a scan.
LONG subkeyAt(RegistryStore& s, Handle& h, DWORD index, KeyInfo* out) {
  std::uint64_t counter = 0;
  LONG err = s.changeCounter(&counter);
  if (err != ERROR_SUCCESS) return err;
  Cursor& c = h.keys;
  bool fresh = c.valid && c.counter == counter;
  if (fresh && index == c.index + 1) {
    err = s.childAfter(h.key, c.folded, out);
  } else if (fresh && index == c.index) {
    err = s.findChild(h.key, c.folded, out);
  } else {
    err = s.childAt(h.key, index, out);
  }
  if (err == ERROR_NO_MORE_ITEMS || err == ERROR_FILE_NOT_FOUND) {
    c.valid = false;
    KeyInfo self;
    LONG exists = s.getKey(h.key, &self);
    return exists != ERROR_SUCCESS ? exists : ERROR_NO_MORE_ITEMS;
  }
  if (err != ERROR_SUCCESS) return err;
  c.valid = true;
  c.counter = counter;
  c.index = index;
  c.folded = out->folded;
  return ERROR_SUCCESS;
}

LONG valueAt(RegistryStore& s, Handle& h, DWORD index, ValueInfo* out) {
  std::uint64_t counter = 0;
  LONG err = s.changeCounter(&counter);
  if (err != ERROR_SUCCESS) return err;
  Cursor& c = h.values;
  if (!c.valid || c.counter != counter) {
    err = s.valueOrder(h.key, &c.order);
    if (err != ERROR_SUCCESS) return err;
    c.valid = true;
    c.counter = counter;
  }
  if (index >= c.order.size()) {
    KeyInfo self;
    LONG exists = s.getKey(h.key, &self);
    return exists != ERROR_SUCCESS ? exists : ERROR_NO_MORE_ITEMS;
  }
  return s.getValue(h.key, c.order[index], out);
}

// Opens the key at `parts` below the handle's key, creating what is missing,
// in one transaction: a write from the start when `write`, else a read that
// becomes a write at the first insert (ERROR_BUSY when that cannot be done
// at once). `access` receives the rights granted for `samDesired`.
LONG openOrCreate(RegistryStore& s, const Handle& h, const std::vector<std::string>& parts, const char* keyClass,
                  REGSAM samDesired, bool write, KeyInfo* key, REGSAM* access, bool* created) {
  *created = false;
  Txn txn(s, write);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  // As far as the path exists.
  LONG err = ERROR_SUCCESS;
  std::size_t i = 0;
  std::string folded;
  if (parts.empty()) {
    err = s.getKey(h.key, key);
    if (err != ERROR_SUCCESS) return err;
  }
  KeyId parent = h.key;
  for (; i < parts.size(); ++i) {
    folded = foldName(parts[i].data(), parts[i].size());
    err = s.findChild(parent, folded, key);
    if (err == ERROR_FILE_NOT_FOUND) break;
    if (err != ERROR_SUCCESS) return err;
    parent = key->id;
  }
  if (i < parts.size()) {
    // The rest is created: a missing start key is ERROR_KEY_DELETED.
    if (i == 0) {
      err = s.getKey(h.key, key);
      if (err != ERROR_SUCCESS) return err;
    }
    if (!(h.access & KEY_CREATE_SUB_KEY) || key->readOnly) return ERROR_ACCESS_DENIED;
    std::uint64_t now = tobrel::regstore::fileTimeNow();
    for (bool first = true; i < parts.size(); ++i, first = false) {
      if (!first) folded = foldName(parts[i].data(), parts[i].size());
      KeyId child = 0;
      const bool last = i + 1 == parts.size();
      const std::string name = ansiText(parts[i].data(), parts[i].size());
      err = s.insertKey(key->id, name, folded, last ? keyClass : nullptr, now, &child);
      if (err == ERROR_SUCCESS) err = s.touchKey(key->id, now);
      if (err != ERROR_SUCCESS) return err;
      key->parent = key->id;
      key->id = child;
      key->name = name;
      key->folded = folded;
      key->keyClass = last && keyClass ? keyClass : "";
      key->lastWrite = now;
      key->readOnly = false;
    }
    *created = true;
  }
  *access = mapAccess(samDesired, key->readOnly);
  if (key->readOnly && (*access & kWriteRights)) return ERROR_ACCESS_DENIED;
  return txn.commit();
}

// Copies the data of a value that fits the caller's buffer and sets its
// size. Text of a string type that does not end with a NUL gets one after
// it when the buffer has room (not counted in the size), as Windows does.
void copyData(const ValueInfo& value, LPBYTE lpData, LPDWORD lpcbData) {
  const std::size_t size = value.data.size();
  if (lpData) {
    std::memcpy(lpData, value.data.data(), size);
    if (tobrel::regstore::isStringType(value.type) && size > 0 && size < *lpcbData && value.data.back() != '\0') {
      lpData[size] = 0;
    }
  }
  if (lpcbData) *lpcbData = static_cast<DWORD>(size);
}

std::string valueNameOf(LPCSTR name) { return name ? std::string(name) : std::string(); }

}  // namespace

extern "C" {

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  std::vector<std::string> parts;
  LONG err = splitPath(lpSubKey, &parts);
  if (err != ERROR_SUCCESS) return err;
  RegistryStore& s = call.store();
  Txn txn(s, false);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  KeyInfo key;
  err = walk(s, call.handle->key, parts, &key);
  if (err != ERROR_SUCCESS) return err;
  REGSAM access = mapAccess(samDesired, key.readOnly);
  if (key.readOnly && (access & kWriteRights)) return ERROR_ACCESS_DENIED;
  err = txn.commit();
  if (err != ERROR_SUCCESS) return err;
  *phkResult = newHandle(call.r, key.id, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (dwOptions & ~static_cast<DWORD>(REG_OPTION_VOLATILE)) return ERROR_INVALID_PARAMETER;
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  std::vector<std::string> parts;
  LONG err = splitPath(lpSubKey, &parts);
  if (err != ERROR_SUCCESS) return err;
  RegistryStore& s = call.store();
  KeyInfo key;
  bool created = false;
  // The first attempt starts as a read, so that opening an existing key never
  // takes the store's write lock; should turning it into a write find the
  // lock taken or the store changed meanwhile, the call runs again as a write
  // from the start.
  REGSAM access = 0;
  err = openOrCreate(s, *call.handle, parts, lpClass, samDesired, false, &key, &access, &created);
  if (err == ERROR_BUSY) err = openOrCreate(s, *call.handle, parts, lpClass, samDesired, true, &key, &access, &created);
  if (err != ERROR_SUCCESS) return err;
  *phkResult = newHandle(call.r, key.id, access);
  if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY hKey) {
  Registry& r = reg();
  std::lock_guard<CallLock> lock(r.mutex);
  Handle* h = resolve(r, hKey);
  if (!h) return ERROR_INVALID_HANDLE;
  if (h->predefined) return ERROR_SUCCESS;
  *h = Handle();
  r.freeSlots.push_back(static_cast<std::size_t>(h - r.handles.data()));
  return ERROR_SUCCESS;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD, LPSTR lpClass,
                   LPDWORD lpcchClass, FILETIME* lpftLastWriteTime) {
  if (!lpName || !lpcchName || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  if (!(call.handle->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
  RegistryStore& s = call.store();
  Txn txn(s, false);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  KeyInfo key;
  LONG err = subkeyAt(s, *call.handle, dwIndex, &key);
  if (err != ERROR_SUCCESS) return err;
  txn.commit();
  if (key.name.size() >= *lpcchName || (lpClass && key.keyClass.size() >= *lpcchClass)) return ERROR_MORE_DATA;
  copyName(key.name, lpName, lpcchName);
  if (lpClass) copyName(key.keyClass, lpClass, lpcchClass);
  if (lpftLastWriteTime) {
    lpftLastWriteTime->dwLowDateTime = static_cast<std::uint32_t>(key.lastWrite);
    lpftLastWriteTime->dwHighDateTime = static_cast<std::uint32_t>(key.lastWrite >> 32);
  }
  return ERROR_SUCCESS;
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName, LPDWORD, LPDWORD lpType,
                   LPBYTE lpData, LPDWORD lpcbData) {
  if (!lpValueName || !lpcchValueName || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  if (!(call.handle->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  RegistryStore& s = call.store();
  Txn txn(s, false);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  ValueInfo value;
  LONG err = valueAt(s, *call.handle, dwIndex, &value);
  if (err != ERROR_SUCCESS) return err;
  txn.commit();
  if (!copyName(value.name, lpValueName, lpcchValueName)) return ERROR_MORE_DATA;
  if (lpType) *lpType = value.type;
  if (lpData && value.data.size() > *lpcbData) {
    *lpcbData = static_cast<DWORD>(value.data.size());
    return ERROR_MORE_DATA;
  }
  copyData(value, lpData, lpcbData);
  return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
  if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  if (!(call.handle->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
  RegistryStore& s = call.store();
  Txn txn(s, false);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  std::string name = valueNameOf(lpValueName);
  ValueInfo value;
  LONG err = s.getValue(call.handle->key, foldName(name.data(), name.size()), &value);
  if (err == ERROR_FILE_NOT_FOUND) {
    KeyInfo self;
    LONG exists = s.getKey(call.handle->key, &self);
    if (exists != ERROR_SUCCESS) return exists;
  }
  if (err != ERROR_SUCCESS) return err;
  txn.commit();
  if (lpType) *lpType = value.type;
  if (lpData && value.data.size() > *lpcbData) {
    *lpcbData = static_cast<DWORD>(value.data.size());
    return ERROR_MORE_DATA;
  }
  copyData(value, lpData, lpcbData);
  return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_NOACCESS;
  std::string name = valueNameOf(lpValueName);
  if (charCount(name) > kMaxValueNameChars) return ERROR_INVALID_PARAMETER;
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  RegistryStore& s = call.store();
  Txn txn(s, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  LONG err = checkWrite(s, *call.handle, KEY_SET_VALUE);
  if (err != ERROR_SUCCESS) return err;
  const std::string data = tobrel::regstore::storedData(dwType, lpData, cbData);
  err = s.setValue(call.handle->key, ansiText(name.data(), name.size()), foldName(name.data(), name.size()), dwType,
                   data.data(), data.size(), tobrel::regstore::fileTimeNow());
  if (err != ERROR_SUCCESS) return err;
  return txn.commit();
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  std::string name = valueNameOf(lpValueName);
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  RegistryStore& s = call.store();
  Txn txn(s, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  LONG err = checkWrite(s, *call.handle, KEY_SET_VALUE);
  if (err != ERROR_SUCCESS) return err;
  err = s.deleteValue(call.handle->key, foldName(name.data(), name.size()), tobrel::regstore::fileTimeNow());
  if (err == ERROR_FILE_NOT_FOUND) {
    KeyInfo self;
    LONG exists = s.getKey(call.handle->key, &self);
    if (exists != ERROR_SUCCESS) return exists;
  }
  if (err != ERROR_SUCCESS) return err;
  return txn.commit();
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  Call call(hKey);
  if (call.status != ERROR_SUCCESS) return call.status;
  std::vector<std::string> parts;
  LONG err = splitPath(lpSubKey, &parts);
  if (err != ERROR_SUCCESS) return err;
  RegistryStore& s = call.store();
  Txn txn(s, true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  KeyInfo key;
  err = walk(s, call.handle->key, parts, &key);
  if (err != ERROR_SUCCESS) return err;
  // The roots cannot go, nor a read-only key, nor one with subkeys left.
  if (key.parent == 0 || key.readOnly) return ERROR_ACCESS_DENIED;
  bool children = false;
  err = s.hasChildren(key.id, &children);
  if (err != ERROR_SUCCESS) return err;
  if (children) return ERROR_ACCESS_DENIED;
  err = s.deleteKey(key.id);
  if (err == ERROR_SUCCESS) err = s.touchKey(key.parent, tobrel::regstore::fileTimeNow());
  if (err != ERROR_SUCCESS) return err;
  return txn.commit();
}

}  // extern "C"

namespace tobrel {

void registryStoreReset(const char* path) {
  Registry& r = reg();
  std::lock_guard<CallLock> lock(r.mutex);
  r.store.reset();
  r.handles.clear();
  r.freeSlots.clear();
  for (Handle& h : r.roots) h.keys = h.values = Cursor();
  r.pathSet = path != nullptr;
  r.path = path ? path : "";
}

std::string registryStorePath() {
  Registry& r = reg();
  std::lock_guard<CallLock> lock(r.mutex);
  return r.store || r.pathSet ? r.path : defaultPath();
}

static LONG findKey(HKEY root, const char* subkey, KeyInfo* key, Call& call) {
  if (call.status != ERROR_SUCCESS) return call.status;
  std::vector<std::string> parts;
  LONG err = splitPath(subkey, &parts);
  if (err != ERROR_SUCCESS) return err;
  (void)root;
  return walk(call.store(), call.handle->key, parts, key);
}

LONG registrySetReadOnly(HKEY root, const char* subkey, bool readOnly) {
  Call call(root);
  if (call.status != ERROR_SUCCESS) return call.status;
  Txn txn(call.store(), true);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  KeyInfo key;
  LONG err = findKey(root, subkey, &key, call);
  if (err == ERROR_SUCCESS) err = call.store().setReadOnlyTree(key.id, readOnly);
  if (err != ERROR_SUCCESS) return err;
  return txn.commit();
}

LONG registryIsReadOnly(HKEY root, const char* subkey, bool* readOnly) {
  if (!readOnly) return ERROR_INVALID_PARAMETER;
  Call call(root);
  if (call.status != ERROR_SUCCESS) return call.status;
  Txn txn(call.store(), false);
  if (txn.status() != ERROR_SUCCESS) return txn.status();
  KeyInfo key;
  LONG err = findKey(root, subkey, &key, call);
  if (err != ERROR_SUCCESS) return err;
  *readOnly = key.readOnly;
  return txn.commit();
}

RegistryBatch::RegistryBatch(bool write) : status_(ERROR_SUCCESS), active_(false) {
  Registry& r = reg();
  r.mutex.lock();
  status_ = ensureStore(r);
  if (status_ == ERROR_SUCCESS) status_ = r.store->beginBatch(write);
  active_ = status_ == ERROR_SUCCESS;
  if (!active_) r.mutex.unlock();
}

RegistryBatch::~RegistryBatch() {
  if (!active_) return;
  Registry& r = reg();
  if (r.store) r.store->rollbackBatch();
  r.mutex.unlock();
}

LONG RegistryBatch::commit() {
  if (!active_) return status_ != ERROR_SUCCESS ? status_ : ERROR_INVALID_PARAMETER;
  Registry& r = reg();
  active_ = false;
  LONG err = r.store ? r.store->commitBatch() : ERROR_REGISTRY_IO_FAILED;
  r.mutex.unlock();
  return err;
}

}  // namespace tobrel
