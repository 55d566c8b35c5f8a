// The registry database: keys and values in one SQLite file, addressed by key
// id. This is the only code that talks to SQLite; the Windows-named registry
// calls (registry_posix.cpp) add handles, access rights and buffer rules on
// top of it.
//
// Layout: table `keys` (id, parent, name, folded name, class, last write time,
// read-only flag) with a unique index on (parent, folded name), so that a
// child is found and the children are listed in Windows' order through one
// index (folded names are the fold keys of registry_names.h);
// table `vals` (key, folded name, sequence number, name, type, data) keyed by
// (key, folded name), the sequence number giving the order in which values
// were first set. Each key with values also has a state row in `vals`, folded
// name X'00' (no real name holds a NUL), whose `seq` is the last sequence
// number handed out and whose `type` is the time its values last changed; it
// sits beside the values in the same b-tree, so that setting a value usually
// writes one page. Key ids are never reused, so a handle to a deleted key
// can never reach a newer key: a new key gets the next id above both the
// largest id in `keys` and keymark.top (one row), which holds the id of the
// newest key deleted while it was the newest. That row is written only by
// such a delete, so that a create writes no page for its id (AUTOINCREMENT
// would write its counter page at every create). The four predefined roots
// are the keys 1 to 4.
//
// Concurrency and durability: SQLite as it ships (its own Unix file layer
// and locking), WAL journal with synchronous=NORMAL, and a busy handler that
// waits in short sleeps (BusyWait, registry_checkpoint.h) up to 10 s. Every
// transaction is committed before the registry call that made it returns; a
// process killed at any point loses nothing it committed, and a power loss
// may lose the last commits but leaves the file consistent. New files get
// 2 KiB pages.
//
// The log: checkpoints run on a thread of their own (registry_checkpoint.h),
// asked for after each kCheckpointBytes of log; each one has the log started
// over once it can (waiting at most kRestartWaitMs for readers and writers),
// keeping the file for the writes to come, and the file is emptied once the
// writes stop. journal_size_limit trims a file that grew past the bound. A
// writer that finds the log past kInlineCheckpointBytes (the background could
// not catch up) waits for the background, then empties the log itself if it
// is still there.
//
// Fork: an SQLite connection, and SQLite's per-file lock bookkeeping, must
// never cross a fork, or the child's locks are not real and its commits can
// be lost. The owner closes the store (destroys this object) before every
// fork and opens a new one on each side afterwards (registry_posix.cpp does
// this in its pthread_atfork handlers). The one exception is a store with a
// batch open: it cannot be closed without undoing the batch, so the child
// gets abandon(), which leaks the connection untouched.
//
// Not thread-safe by itself: the caller serialises all use (registry_posix.cpp
// holds one lock around every call).
#ifndef TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_STORE_H_
#define TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_STORE_H_

#if defined(_WIN32)
#error "registry_store.h is the registry emulation for hosts that are not Windows"
#endif

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "TobrelTools/platform/internal/registry_checkpoint.h"
#include "TobrelTools/platform/internal/registry_names.h"
#include "TobrelTools/platform/win32_types.h"

struct sqlite3;
struct sqlite3_stmt;

namespace tobrel {
namespace regstore {

typedef std::int64_t KeyId;

// Ids of the predefined roots, in the order of their handle values.
enum : KeyId { kClassesRoot = 1, kCurrentUser = 2, kLocalMachine = 3, kUsers = 4 };

// The current time as a FILETIME count (100 ns units since 1601, UTC).
std::uint64_t fileTimeNow();

struct KeyInfo {
  KeyId id = 0;
  KeyId parent = 0;  // 0 for the roots
  std::string name;
  std::string folded;
  std::string keyClass;
  std::uint64_t lastWrite = 0;
  bool readOnly = false;
};

struct ValueInfo {
  std::string name;
  DWORD type = 0;
  std::string data;
};

class RegistryStore {
 public:
  // Opens (creating it and its folder when missing) the database at `path`.
  // check status() afterwards.
  explicit RegistryStore(const std::string& path);
  ~RegistryStore();
  RegistryStore(const RegistryStore&) = delete;
  RegistryStore& operator=(const RegistryStore&) = delete;

  // ERROR_SUCCESS when the database is usable, else the reason it is not.
  LONG status() const { return status_; }
  const std::string& path() const { return path_; }

  // Drops the connection without closing it: for a child process forked
  // while a batch was open, which must not touch the parent's SQLite state.
  // Every call fails with ERROR_REGISTRY_IO_FAILED afterwards.
  void abandon();

  // Stops the background checkpoints (they start again when next needed): no
  // thread of the store is inside SQLite afterwards. For a fork that cannot
  // close the store.
  void stopBackground();

  // Waits for the background checkpoints asked for so far and has the log
  // emptied now if the writes stopped (BackgroundCheckpointer::settle).
  void settleCheckpoints();

  // Log sizes, in bytes, that ask for a background checkpoint and that make
  // a writer checkpoint itself; the longest a log restart holds writers back.
  static constexpr int kCheckpointBytes = 8 << 20;
  static constexpr int kInlineCheckpointBytes = 16 << 20;
  static constexpr int kRestartWaitMs = 200;
  // The longest a call waits for another connection's lock.
  static constexpr int kBusyTimeoutMs = 10000;

  // One transaction per registry call. Inside a batch they become savepoints
  // of the batch's transaction. A read transaction becomes a write at its
  // first change, which fails with ERROR_BUSY (at once, without waiting)
  // when another connection holds the write lock or has committed since the
  // transaction began; begin(true) waits for the lock instead.
  LONG begin(bool write);
  LONG commit();
  void rollback();

  // A batch: one transaction spanning many calls (nestable; only the outer
  // level commits).
  LONG beginBatch(bool write);
  LONG commitBatch();
  void rollbackBatch();
  bool inBatch() const { return batchDepth_ > 0; }

  // A counter that changes whenever the database content may have changed,
  // by this connection or any other. Call inside a transaction.
  LONG changeCounter(std::uint64_t* counter);

  LONG getKey(KeyId id, KeyInfo* out);                       // ERROR_KEY_DELETED when gone
  LONG findChild(KeyId parent, const std::string& folded, KeyInfo* out);  // ERROR_FILE_NOT_FOUND
  LONG insertKey(KeyId parent, const std::string& name, const std::string& folded,
                 const char* keyClass, std::uint64_t now, KeyId* id);
  LONG touchKey(KeyId id, std::uint64_t now);                // ERROR_KEY_DELETED when gone
  // touchKey for a key that gets a new subkey: ERROR_ACCESS_DENIED when it
  // is read-only.
  LONG touchParent(KeyId id, std::uint64_t now);
  LONG hasChildren(KeyId id, bool* result);
  LONG deleteKey(KeyId id);                                  // the key and its values
  // The child at `index` in name order, or (with `afterFolded`) the first
  // child after that folded name. ERROR_NO_MORE_ITEMS past the end.
  LONG childAt(KeyId parent, DWORD index, KeyInfo* out);
  LONG childAfter(KeyId parent, const std::string& afterFolded, KeyInfo* out);
  // Marks the key and every key below it read-only, or writable.
  LONG setReadOnlyTree(KeyId id, bool readOnly);

  LONG getValue(KeyId key, const std::string& folded, ValueInfo* out);  // ERROR_FILE_NOT_FOUND
  // Sets the value and the key's last write time; ERROR_KEY_DELETED when
  // the key is gone.
  LONG setValue(KeyId key, const std::string& name, const std::string& folded, DWORD type,
                const void* data, std::size_t size, std::uint64_t now);
  LONG deleteValue(KeyId key, const std::string& folded, std::uint64_t now);  // ERROR_FILE_NOT_FOUND
  // The folded names of the key's values in the order they were first set.
  LONG valueOrder(KeyId key, std::vector<std::string>* folded);

 private:
  enum Stmt {
    kBegin, kBeginImmediate, kCommit, kRollback, kSavepoint, kRelease, kRollbackTo,
    kDataVersion, kGetKey, kFindChild, kInsertKey, kTouchKey, kTouchParent, kHasChildren,
    kDeleteValues, kDeleteKey, kRetireId, kChildAt, kChildAfter, kGetValue, kUpsertValue,
    kDeleteValue, kValueOrder, kBumpValues, kFirstValues, kSetReadOnlyTree, kStmtCount
  };
  sqlite3_stmt* stmt(Stmt which);
  LONG exec(const char* sql);
  LONG fail(int rc);
  LONG openDatabase();
  LONG createSchema();
  int schemaVersion(int* rc);   // PRAGMA user_version, -1 when it cannot be read
  // From the second layout to the third, and from the third to the fourth
  // (registry_upgrade.cpp), inside createSchema's transaction.
  LONG upgradeNames();
  LONG upgradeIds();
  LONG step(sqlite3_stmt* s, bool* row);
  LONG runToEnd(sqlite3_stmt* s);
  // Steps a bound key query into `out`; `missing` when it finds no key.
  LONG keyQuery(sqlite3_stmt* s, LONG missing, KeyInfo* out);
  LONG readKeyRow(sqlite3_stmt* s, KeyInfo* out);
  LONG readValueRow(sqlite3_stmt* s, ValueInfo* out);
  LONG touchValues(KeyId key, std::uint64_t now);
  // A checkpoint in the calling thread that empties the log if it can.
  void checkpointHere();
  // After each commit: asks for a background checkpoint as the log grows.
  static int walHook(void* self, sqlite3* db, const char* name, int frames);
  std::unique_ptr<BackgroundCheckpointer> checkpointer_;
  int checkpointAsked_ = 0;    // log frames when a checkpoint was last asked for
  int checkpointFrames_ = 2048;          // log growth (frames) that asks for one
  int inlineCheckpointFrames_ = 16384;   // log size (frames) at which the writer checkpoints itself

  std::string path_;
  BusyWait callWait_{kBusyTimeoutMs, BusyWait::kCallPollUs};
  BusyWait checkpointWait_{kRestartWaitMs, BusyWait::kCheckpointPollUs};
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmts_[kStmtCount] = {};
  LONG status_ = ERROR_SUCCESS;
  int batchDepth_ = 0;
  bool batchFailed_ = false;
  std::uint64_t ownWrites_ = 0;
};

// Maps an SQLite result code to the Windows error a registry call reports.
LONG errorFromSqlite(int rc);

}  // namespace regstore
}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_INTERNAL_REGISTRY_STORE_H_
