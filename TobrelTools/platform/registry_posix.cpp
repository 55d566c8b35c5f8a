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
#include "TobrelTools/platform/internal/registry_store.h"

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

// The rights that change a key: refused on a read-only key.
const REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

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

// The common start of every call on a handle: the process lock, the store,
// the handle, the access right the call needs on it, the key path it is
// given (split into components), and the call's one store transaction,
// rolled back unless committed. A write transaction takes the store's write
// lock at once; a read one becomes a write at its first change (ERROR_BUSY
// when that cannot be done at once, see restartAsWrite). A write right on a
// predefined root is also checked against the root's read-only flag as it
// stands now: a root's handle is never opened, whereas an opened handle had
// its rights checked at the open and keeps them, as on Windows.
// status() is the first of these steps that failed, or ERROR_SUCCESS.
class Call {
 public:
  Call(HKEY hKey, REGSAM right, bool write, const char* path = nullptr)
      : r_(reg()), lock_(r_.mutex), handle_(resolve(r_, hKey)), status_(start(right, write, path)) {}
  ~Call() {
    if (open_) r_.store->rollback();
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;

  LONG status() const { return status_; }
  Registry& registry() { return r_; }
  RegistryStore& store() { return *r_.store; }
  Handle& handle() { return *handle_; }
  KeyId key() const { return handle_->key; }
  const std::vector<std::string>& parts() const { return parts_; }

  LONG commit() {
    open_ = false;
    return r_.store->commit();
  }
  // Undoes the transaction and begins it again as a write.
  LONG restartAsWrite() {
    open_ = false;
    r_.store->rollback();
    LONG err = r_.store->begin(true);
    open_ = err == ERROR_SUCCESS;
    return err;
  }
  // What a lookup below the handle's key that found nothing reports: the
  // key's own error when the key is gone meanwhile (ERROR_KEY_DELETED), else
  // `notFound`.
  LONG missing(LONG notFound) {
    KeyInfo self;
    LONG err = r_.store->getKey(handle_->key, &self);
    return err != ERROR_SUCCESS ? err : notFound;
  }

 private:
  LONG start(REGSAM right, bool write, const char* path) {
    if (!handle_) return ERROR_INVALID_HANDLE;
    LONG err = ensureStore(r_);
    if (err != ERROR_SUCCESS) return err;
    if (right && !(handle_->access & right)) return ERROR_ACCESS_DENIED;
    err = splitPath(path, &parts_);
    if (err != ERROR_SUCCESS) return err;
    err = r_.store->begin(write);
    if (err != ERROR_SUCCESS) return err;
    open_ = true;
    if (handle_->predefined && (right & kWriteRights)) {
      KeyInfo root;
      err = r_.store->getKey(handle_->key, &root);
      if (err == ERROR_SUCCESS && root.readOnly) err = ERROR_ACCESS_DENIED;
    }
    return err;
  }

  Registry& r_;
  std::lock_guard<CallLock> lock_;
  Handle* handle_;
  std::vector<std::string> parts_;
  bool open_ = false;
  LONG status_;
};

// Walks the call's path down from its handle's key.
LONG walk(Call& call, KeyInfo* out) {
  RegistryStore& s = call.store();
  const std::vector<std::string>& parts = call.parts();
  if (parts.empty()) return s.getKey(call.key(), out);
  KeyId cur = call.key();
  for (std::size_t i = 0; i < parts.size(); ++i) {
    LONG err = s.findChild(cur, foldName(parts[i].data(), parts[i].size()), out);
    if (err == ERROR_FILE_NOT_FOUND && i == 0) return call.missing(err);
    if (err != ERROR_SUCCESS) return err;
    cur = out->id;
  }
  return ERROR_SUCCESS;
}

bool copyName(const std::string& name, LPSTR buffer, LPDWORD size) {
  if (name.size() >= *size) return false;
  std::memcpy(buffer, name.data(), name.size());
  buffer[name.size()] = '\0';
  *size = static_cast<DWORD>(name.size());
  return true;
}

// Finds the subkey (or value) at `index` of the call's key, moving the
// handle's cursor: the next index is one index lookup, any other a scan.
LONG subkeyAt(Call& call, DWORD index, KeyInfo* out) {
  RegistryStore& s = call.store();
  std::uint64_t counter = 0;
  LONG err = s.changeCounter(&counter);
  if (err != ERROR_SUCCESS) return err;
  Cursor& c = call.handle().keys;
  bool fresh = c.valid && c.counter == counter;
  if (fresh && index == c.index + 1) {
    err = s.childAfter(call.key(), c.folded, out);
  } else if (fresh && index == c.index) {
    err = s.findChild(call.key(), c.folded, out);
  } else {
    err = s.childAt(call.key(), index, out);
  }
  if (err == ERROR_NO_MORE_ITEMS || err == ERROR_FILE_NOT_FOUND) {
    c.valid = false;
    return call.missing(ERROR_NO_MORE_ITEMS);
  }
  if (err != ERROR_SUCCESS) return err;
  c.valid = true;
  c.counter = counter;
  c.index = index;
  c.folded = out->folded;
  return ERROR_SUCCESS;
}

LONG valueAt(Call& call, DWORD index, ValueInfo* out) {
  RegistryStore& s = call.store();
  std::uint64_t counter = 0;
  LONG err = s.changeCounter(&counter);
  if (err != ERROR_SUCCESS) return err;
  Cursor& c = call.handle().values;
  if (!c.valid || c.counter != counter) {
    err = s.valueOrder(call.key(), &c.order);
    if (err != ERROR_SUCCESS) return err;
    c.valid = true;
    c.counter = counter;
  }
  if (index >= c.order.size()) return call.missing(ERROR_NO_MORE_ITEMS);
  return s.getValue(call.key(), c.order[index], out);
}

// What RegCreateKeyExA opened or created.
struct Opened {
  KeyInfo key;
  REGSAM access = 0;   // the rights granted
  bool created = false;
};

// Opens the key at the call's path below its handle's key, creating what is
// missing, and commits.
LONG openOrCreate(Call& call, const char* keyClass, REGSAM samDesired, Opened* out) {
  RegistryStore& s = call.store();
  const std::vector<std::string>& parts = call.parts();
  KeyInfo* key = &out->key;
  out->created = false;
  // As far as the path exists.
  LONG err = ERROR_SUCCESS;
  std::size_t i = 0;
  std::string folded;
  if (parts.empty()) {
    err = s.getKey(call.key(), key);
    if (err != ERROR_SUCCESS) return err;
  }
  KeyId parent = call.key();
  for (; i < parts.size(); ++i) {
    folded = foldName(parts[i].data(), parts[i].size());
    err = s.findChild(parent, folded, key);
    if (err == ERROR_FILE_NOT_FOUND) break;
    if (err != ERROR_SUCCESS) return err;
    parent = key->id;
  }
  if (i < parts.size()) {
    // The rest is created, below a key that must still exist and be writable.
    if (!(call.handle().access & KEY_CREATE_SUB_KEY)) {
      return i == 0 ? call.missing(ERROR_ACCESS_DENIED) : ERROR_ACCESS_DENIED;
    }
    const std::uint64_t now = tobrel::regstore::fileTimeNow();
    err = s.touchParent(parent, now);
    if (err != ERROR_SUCCESS) return err;
    for (bool first = true; i < parts.size(); ++i, first = false) {
      if (!first) folded = foldName(parts[i].data(), parts[i].size());
      KeyId child = 0;
      const bool last = i + 1 == parts.size();
      const std::string name = ansiText(parts[i].data(), parts[i].size());
      err = s.insertKey(parent, name, folded, last ? keyClass : nullptr, now, &child);
      if (err != ERROR_SUCCESS) return err;
      key->parent = parent;
      key->id = parent = child;
      key->name = name;
      key->folded = folded;
      key->keyClass = last && keyClass ? keyClass : "";
      key->lastWrite = now;
      key->readOnly = false;
    }
    out->created = true;
  }
  out->access = mapAccess(samDesired, key->readOnly);
  if (key->readOnly && (out->access & kWriteRights)) return ERROR_ACCESS_DENIED;
  return call.commit();
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
  Call call(hKey, 0, false, lpSubKey);
  if (call.status() != ERROR_SUCCESS) return call.status();
  KeyInfo key;
  LONG err = walk(call, &key);
  if (err != ERROR_SUCCESS) return err;
  REGSAM access = mapAccess(samDesired, key.readOnly);
  if (key.readOnly && (access & kWriteRights)) return ERROR_ACCESS_DENIED;
  err = call.commit();
  if (err != ERROR_SUCCESS) return err;
  *phkResult = newHandle(call.registry(), key.id, access);
  return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                     LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  if (dwOptions & ~static_cast<DWORD>(REG_OPTION_VOLATILE)) return ERROR_INVALID_PARAMETER;
  // The call starts as a read, so that opening an existing key never takes
  // the store's write lock; should turning it into a write find the lock
  // taken or the store changed meanwhile, it runs again as a write from the
  // start.
  Call call(hKey, 0, false, lpSubKey);
  if (call.status() != ERROR_SUCCESS) return call.status();
  Opened opened;
  LONG err = openOrCreate(call, lpClass, samDesired, &opened);
  if (err == ERROR_BUSY) {
    err = call.restartAsWrite();
    if (err == ERROR_SUCCESS) err = openOrCreate(call, lpClass, samDesired, &opened);
  }
  if (err != ERROR_SUCCESS) return err;
  *phkResult = newHandle(call.registry(), opened.key.id, opened.access);
  if (lpdwDisposition) *lpdwDisposition = opened.created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
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
  Call call(hKey, KEY_ENUMERATE_SUB_KEYS, false);
  if (call.status() != ERROR_SUCCESS) return call.status();
  KeyInfo key;
  LONG err = subkeyAt(call, dwIndex, &key);
  if (err != ERROR_SUCCESS) return err;
  call.commit();
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
  Call call(hKey, KEY_QUERY_VALUE, false);
  if (call.status() != ERROR_SUCCESS) return call.status();
  ValueInfo value;
  LONG err = valueAt(call, dwIndex, &value);
  if (err != ERROR_SUCCESS) return err;
  call.commit();
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
  Call call(hKey, KEY_QUERY_VALUE, false);
  if (call.status() != ERROR_SUCCESS) return call.status();
  std::string name = valueNameOf(lpValueName);
  ValueInfo value;
  LONG err = call.store().getValue(call.key(), foldName(name.data(), name.size()), &value);
  if (err == ERROR_FILE_NOT_FOUND) err = call.missing(err);
  if (err != ERROR_SUCCESS) return err;
  call.commit();
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
  Call call(hKey, KEY_SET_VALUE, true);
  if (call.status() != ERROR_SUCCESS) return call.status();
  const std::string data = tobrel::regstore::storedData(dwType, lpData, cbData);
  LONG err = call.store().setValue(call.key(), ansiText(name.data(), name.size()), foldName(name.data(), name.size()),
                                   dwType, data.data(), data.size(), tobrel::regstore::fileTimeNow());
  if (err != ERROR_SUCCESS) return err;
  return call.commit();
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  std::string name = valueNameOf(lpValueName);
  Call call(hKey, KEY_SET_VALUE, true);
  if (call.status() != ERROR_SUCCESS) return call.status();
  LONG err = call.store().deleteValue(call.key(), foldName(name.data(), name.size()), tobrel::regstore::fileTimeNow());
  if (err == ERROR_FILE_NOT_FOUND) err = call.missing(err);
  if (err != ERROR_SUCCESS) return err;
  return call.commit();
}

LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  Call call(hKey, 0, true, lpSubKey);
  if (call.status() != ERROR_SUCCESS) return call.status();
  RegistryStore& s = call.store();
  KeyInfo key;
  LONG err = walk(call, &key);
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
  return call.commit();
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

LONG registrySetReadOnly(HKEY root, const char* subkey, bool readOnly) {
  Call call(root, 0, true, subkey);
  if (call.status() != ERROR_SUCCESS) return call.status();
  KeyInfo key;
  LONG err = walk(call, &key);
  if (err == ERROR_SUCCESS) err = call.store().setReadOnlyTree(key.id, readOnly);
  if (err != ERROR_SUCCESS) return err;
  return call.commit();
}

LONG registryIsReadOnly(HKEY root, const char* subkey, bool* readOnly) {
  if (!readOnly) return ERROR_INVALID_PARAMETER;
  Call call(root, 0, false, subkey);
  if (call.status() != ERROR_SUCCESS) return call.status();
  KeyInfo key;
  LONG err = walk(call, &key);
  if (err != ERROR_SUCCESS) return err;
  *readOnly = key.readOnly;
  return call.commit();
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
