// The SQLite side of the registry store: schema, prepared statements,
// transactions and the row operations the registry calls are built from.
#include "TobrelTools/platform/internal/registry_store.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <sqlite3.h>

#include "TobrelTools/export.h"

TOBREL_MODULE_ID("registry_store.cpp", "2026.12.05");

namespace tobrel {
namespace regstore {

namespace {

const int kSchemaVersion = 4;

const char* const kSchema =
    "CREATE TABLE keys("
    "  id INTEGER PRIMARY KEY,"
    "  parent INTEGER,"
    "  name BLOB NOT NULL,"
    "  uname BLOB NOT NULL,"
    "  class BLOB,"
    "  mtime INTEGER NOT NULL,"
    "  readonly INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX keys_child ON keys(parent, uname);"
    "CREATE TABLE vals("
    "  key INTEGER NOT NULL,"
    "  uname BLOB NOT NULL,"
    "  seq INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, uname)) WITHOUT ROWID;"
    "CREATE TABLE keymark(top INTEGER NOT NULL);"
    "INSERT INTO keymark VALUES(0);";

// From the first layout, where values had a row id and two indexes.
const char* const kUpgradeFrom1 =
    "CREATE TABLE vals2("
    "  key INTEGER NOT NULL,"
    "  uname BLOB NOT NULL,"
    "  seq INTEGER NOT NULL,"
    "  name BLOB NOT NULL,"
    "  type INTEGER NOT NULL,"
    "  data BLOB NOT NULL,"
    "  PRIMARY KEY(key, uname)) WITHOUT ROWID;"
    "INSERT INTO vals2(key, uname, seq, name, type, data) SELECT key, uname, id, name, type, data FROM vals;"
    "INSERT INTO vals2(key, uname, seq, name, type, data)"
    "  SELECT key, X'00', max(id), X'', (SELECT mtime FROM keys WHERE keys.id = key), X'' FROM vals GROUP BY key;"
    "DROP TABLE vals;"
    "ALTER TABLE vals2 RENAME TO vals;";

// The columns of a key row, in the order readKeyRow reads them. The last
// write time is the later of the key's own (creation, subkeys) and its
// values' (kept in the values' state row).
#define KEY_COLUMNS                                                                                      \
  "SELECT id, name, uname, class,"                                                                      \
  " max(mtime, coalesce((SELECT type FROM vals WHERE vals.key = keys.id AND vals.uname = X'00'), 0)),"  \
  " readonly, parent FROM keys "

// Statement texts, in the order of RegistryStore::Stmt.
const char* const kStatements[] = {
    "BEGIN",
    "BEGIN IMMEDIATE",
    "COMMIT",
    "ROLLBACK",
    "SAVEPOINT call",
    "RELEASE call",
    "ROLLBACK TO call",
    "PRAGMA data_version",
    KEY_COLUMNS "WHERE id = ?1",
    KEY_COLUMNS "WHERE parent = ?1 AND uname = ?2",
    "INSERT INTO keys(id, parent, name, uname, class, mtime)"
    " VALUES(max((SELECT max(id) FROM keys), (SELECT top FROM keymark)) + 1, ?1, ?2, ?3, ?4, ?5)",
    "UPDATE keys SET mtime = ?2 WHERE id = ?1",
    "UPDATE keys SET mtime = ?2 WHERE id = ?1 AND readonly = 0",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM keys WHERE id = ?1",
    "UPDATE keymark SET top = ?1 WHERE ?1 > top AND ?1 > coalesce((SELECT max(id) FROM keys), 0)",
    KEY_COLUMNS "WHERE parent = ?1 ORDER BY uname LIMIT 1 OFFSET ?2",
    KEY_COLUMNS "WHERE parent = ?1 AND uname > ?2 ORDER BY uname LIMIT 1",
    "SELECT name, type, data FROM vals WHERE key = ?1 AND uname = ?2",
    "INSERT INTO vals(key, uname, seq, name, type, data)"
    " VALUES(?1, ?3, (SELECT seq FROM vals WHERE key = ?1 AND uname = X'00'), ?2, ?4, ?5)"
    " ON CONFLICT(key, uname) DO UPDATE SET type = excluded.type, data = excluded.data",
    "DELETE FROM vals WHERE key = ?1 AND uname = ?2",
    "SELECT uname FROM vals WHERE key = ?1 AND uname <> X'00' ORDER BY seq",
    "UPDATE vals SET seq = seq + 1, type = ?2 WHERE key = ?1 AND uname = X'00'",
    "INSERT INTO vals(key, uname, seq, name, type, data)"
    " SELECT ?1, X'00', 1, X'', ?2, X'' WHERE EXISTS (SELECT 1 FROM keys WHERE id = ?1)",
    "WITH RECURSIVE tree(id) AS (SELECT ?1 UNION ALL"
    "  SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id)"
    " UPDATE keys SET readonly = ?2 WHERE id IN tree",
};

// mkdir -p with mode 0700 for every folder it creates.
bool makeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::size_t slash = folder.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash))) return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// Bound without a copy: every statement is reset before the call that bound
// it returns, and its bindings are cleared before it is used again.
void bindText(sqlite3_stmt* s, int i, const std::string& v) {
  sqlite3_bind_blob(s, i, v.data(), static_cast<int>(v.size()), SQLITE_STATIC);
}

std::string columnBlob(sqlite3_stmt* s, int i) {
  const void* p = sqlite3_column_blob(s, i);
  int n = sqlite3_column_bytes(s, i);
  return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

std::uint64_t fileTimeNow() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  const std::uint64_t kEpochDelta = 11644473600ULL;  // seconds from 1601 to 1970
  return (static_cast<std::uint64_t>(ts.tv_sec) + kEpochDelta) * 10000000ULL +
         static_cast<std::uint64_t>(ts.tv_nsec) / 100;
}

LONG errorFromSqlite(int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
      return ERROR_SUCCESS;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return ERROR_BUSY;
    case SQLITE_NOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_SCHEMA:
      return ERROR_REGISTRY_CORRUPT;
    case SQLITE_FULL:
    case SQLITE_READONLY:
      return ERROR_CANTWRITE;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return ERROR_CANTOPEN;
    case SQLITE_TOOBIG:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_REGISTRY_IO_FAILED;
  }
}

RegistryStore::RegistryStore(const std::string& path) : path_(path) {
  static_assert(sizeof(kStatements) / sizeof(kStatements[0]) == kStmtCount, "one text per statement");
  status_ = openDatabase();
}

RegistryStore::~RegistryStore() {
  checkpointer_.reset();   // its connection closes before ours
  for (sqlite3_stmt*& s : stmts_) {
    if (s) sqlite3_finalize(s);
    s = nullptr;
  }
  if (db_) sqlite3_close(db_);
}

void RegistryStore::abandon() {
  // The checkpointer was stopped before the fork (the caller's fork handler
  // makes sure no thread of the store runs then); the connection is the
  // parent's and is left as it is, a deliberate leak.
  checkpointer_.reset();
  for (sqlite3_stmt*& s : stmts_) s = nullptr;
  db_ = nullptr;
  batchDepth_ = 0;
  status_ = ERROR_REGISTRY_IO_FAILED;
}

LONG RegistryStore::fail(int rc) { return errorFromSqlite(rc); }

LONG RegistryStore::exec(const char* sql) { return fail(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr)); }

LONG RegistryStore::openDatabase() {
  std::size_t slash = path_.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !makeFolders(path_.substr(0, slash))) return ERROR_CANTOPEN;
  // Create the file ourselves so that it is private from its first byte;
  // SQLite gives its -wal and -shm files the mode of the database file.
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return ERROR_CANTOPEN;
  ::close(fd);

  int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (rc != SQLITE_OK) return fail(rc);
  sqlite3_extended_result_codes(db_, 1);
  callWait_.install(db_);
  // Small pages for a new file (an existing one keeps its own): registry
  // rows are small, and a commit writes and checksums every page it
  // touched. Not the smallest: each page a commit writes costs two writes to
  // the log, and with 1 KiB pages the values' b-tree splits (a commit of
  // five or six pages) every few keys created; 2 KiB pages cut the log
  // writes of building a tree by a sixth and cost next to nothing more.
  LONG err = exec("PRAGMA page_size=2048; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                  " PRAGMA foreign_keys=OFF;");
  // What the log file is trimmed to when the log starts over: the log's
  // bound, so that a log that keeps to it keeps its file (writes reuse its
  // blocks rather than grow it again).
  if (err == ERROR_SUCCESS) {
    err = exec(("PRAGMA journal_size_limit=" + std::to_string(kInlineCheckpointBytes + kCheckpointBytes) + ";").c_str());
  }
  if (err != ERROR_SUCCESS) return err;
  // Checkpoints as the log grows, in the background (see walHook); this
  // replaces SQLite's own, which would run in the committing call.
  sqlite3_wal_hook(db_, walHook, this);
  err = createSchema();
  if (err != ERROR_SUCCESS) return err;
  // The log's growth is counted in pages; new files have small ones, older
  // files may have larger ones.
  int pageSize = 0;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, "PRAGMA page_size", -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
    pageSize = sqlite3_column_int(s, 0);
  }
  sqlite3_finalize(s);
  if (pageSize < 512) pageSize = 4096;
  checkpointFrames_ = kCheckpointBytes / pageSize;
  inlineCheckpointFrames_ = kInlineCheckpointBytes / pageSize;
  return ERROR_SUCCESS;
}

void RegistryStore::stopBackground() { checkpointer_.reset(); }

void RegistryStore::settleCheckpoints() {
  if (checkpointer_) checkpointer_->settle();
}

void RegistryStore::checkpointHere() {
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
  checkpointWait_.install(db_);
  sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
  callWait_.install(db_);
}

int RegistryStore::walHook(void* self, sqlite3*, const char*, int frames) {
  RegistryStore* store = static_cast<RegistryStore*>(self);
  if (frames < store->checkpointAsked_) store->checkpointAsked_ = 0;   // the log started over
  if (frames < store->checkpointAsked_ + store->checkpointFrames_) return SQLITE_OK;
  store->checkpointAsked_ = frames;
  if (frames < store->inlineCheckpointFrames_) {
    if (!store->checkpointer_) store->checkpointer_.reset(new BackgroundCheckpointer(store->path_, kRestartWaitMs));
    if (store->checkpointer_->request()) return SQLITE_OK;
  }
  // No thread to run it, or the background cannot keep up with the writes
  // coming in (readers held every restart off): the writer waits for the
  // background to finish and, unless that emptied the log, does it itself.
  if (store->checkpointer_ && store->checkpointer_->settle()) return SQLITE_OK;
  store->checkpointHere();
  return SQLITE_OK;
}

int RegistryStore::schemaVersion(int* rc) {
  sqlite3_stmt* s = nullptr;
  int version = -1;
  *rc = sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &s, nullptr);
  if (*rc == SQLITE_OK) {
    *rc = sqlite3_step(s);
    if (*rc == SQLITE_ROW) version = sqlite3_column_int(s, 0);
  }
  sqlite3_finalize(s);
  return version;
}

LONG RegistryStore::createSchema() {
  // A file of the current layout needs no write lock (every open after a
  // fork comes here).
  int rc = SQLITE_OK;
  if (schemaVersion(&rc) == kSchemaVersion) return ERROR_SUCCESS;
  LONG err = exec("BEGIN IMMEDIATE");
  if (err != ERROR_SUCCESS) return err;
  int version = schemaVersion(&rc);
  if (version < 0 || version > kSchemaVersion) {
    exec("ROLLBACK");
    return version < 0 ? fail(rc) : ERROR_BADDB;
  }
  // Older layouts are brought up to date step by step, in this one
  // transaction: a failure leaves the file as it was.
  if (version == 1) err = exec(kUpgradeFrom1);
  if (err == ERROR_SUCCESS && (version == 1 || version == 2)) err = upgradeNames();
  if (err == ERROR_SUCCESS && version >= 1 && version <= 3) err = upgradeIds();
  if (err == ERROR_SUCCESS && version >= 1 && version < kSchemaVersion) {
    err = exec(("PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";").c_str());
  }
  if (err != ERROR_SUCCESS) {
    exec("ROLLBACK");
    return err;
  }
  if (version == 0) {
    std::uint64_t now = fileTimeNow();
    std::string roots = "INSERT OR IGNORE INTO keys(id, parent, name, uname, mtime) VALUES"
                        "(1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT', " + std::to_string(now) + "),"
                        "(2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', " + std::to_string(now) + "),"
                        "(3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', " + std::to_string(now) + "),"
                        "(4, NULL, 'HKEY_USERS', 'HKEY_USERS', " + std::to_string(now) + ");";
    std::string sql = std::string(kSchema) + roots + "PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
    err = exec(sql.c_str());
    if (err != ERROR_SUCCESS) {
      exec("ROLLBACK");
      return err;
    }
  }
  return exec("COMMIT");
}

sqlite3_stmt* RegistryStore::stmt(Stmt which) {
  sqlite3_stmt*& s = stmts_[which];
  if (!s && db_) {
    if (sqlite3_prepare_v3(db_, kStatements[which], -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
      s = nullptr;
    }
  } else if (s) {
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
  }
  return s;
}

LONG RegistryStore::step(sqlite3_stmt* s, bool* row) {
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  int rc = sqlite3_step(s);
  *row = rc == SQLITE_ROW;
  if (rc == SQLITE_ROW || rc == SQLITE_DONE) return ERROR_SUCCESS;
  LONG err = fail(rc);
  sqlite3_reset(s);
  return err;
}

LONG RegistryStore::runToEnd(sqlite3_stmt* s) {
  bool row = false;
  LONG err = step(s, &row);
  if (s) sqlite3_reset(s);
  return err;
}

LONG RegistryStore::begin(bool write) {
  if (status_ != ERROR_SUCCESS) return status_;
  if (write) ++ownWrites_;
  if (batchDepth_ > 0) return runToEnd(stmt(kSavepoint));
  return runToEnd(stmt(write ? kBeginImmediate : kBegin));
}

LONG RegistryStore::commit() {
  // A read transaction that turned into a write counts as one of ours.
  if (db_ && sqlite3_txn_state(db_, nullptr) == SQLITE_TXN_WRITE) ++ownWrites_;
  if (batchDepth_ > 0) return runToEnd(stmt(kRelease));
  LONG err = runToEnd(stmt(kCommit));
  if (err != ERROR_SUCCESS) rollback();
  return err;
}

void RegistryStore::rollback() {
  if (batchDepth_ > 0) {
    runToEnd(stmt(kRollbackTo));
    runToEnd(stmt(kRelease));
    return;
  }
  if (db_ && !sqlite3_get_autocommit(db_)) runToEnd(stmt(kRollback));
}

LONG RegistryStore::beginBatch(bool write) {
  if (status_ != ERROR_SUCCESS) return status_;
  if (batchDepth_ == 0) {
    LONG err = runToEnd(stmt(write ? kBeginImmediate : kBegin));
    if (err != ERROR_SUCCESS) return err;
    batchFailed_ = false;
  }
  if (write) ++ownWrites_;
  ++batchDepth_;
  return ERROR_SUCCESS;
}

LONG RegistryStore::commitBatch() {
  if (batchDepth_ == 0) return status_ != ERROR_SUCCESS ? status_ : ERROR_INVALID_PARAMETER;
  if (--batchDepth_ > 0) return ERROR_SUCCESS;
  if (batchFailed_) {
    runToEnd(stmt(kRollback));
    return ERROR_REGISTRY_IO_FAILED;
  }
  LONG err = runToEnd(stmt(kCommit));
  if (err != ERROR_SUCCESS && !sqlite3_get_autocommit(db_)) runToEnd(stmt(kRollback));
  return err;
}

void RegistryStore::rollbackBatch() {
  if (batchDepth_ == 0) return;
  if (--batchDepth_ > 0) {
    batchFailed_ = true;
    return;
  }
  ++ownWrites_;
  if (db_ && !sqlite3_get_autocommit(db_)) runToEnd(stmt(kRollback));
}

LONG RegistryStore::changeCounter(std::uint64_t* counter) {
  sqlite3_stmt* s = stmt(kDataVersion);
  bool row = false;
  LONG err = step(s, &row);
  if (err != ERROR_SUCCESS) return err;
  *counter = (row ? static_cast<std::uint64_t>(sqlite3_column_int64(s, 0)) : 0) + ownWrites_;
  sqlite3_reset(s);
  return ERROR_SUCCESS;
}

LONG RegistryStore::keyQuery(sqlite3_stmt* s, LONG missing, KeyInfo* out) {
  bool row = false;
  LONG err = step(s, &row);
  if (err != ERROR_SUCCESS) return err;
  if (!row) {
    sqlite3_reset(s);
    return missing;
  }
  return readKeyRow(s, out);
}

LONG RegistryStore::readKeyRow(sqlite3_stmt* s, KeyInfo* out) {
  out->id = sqlite3_column_int64(s, 0);
  out->name = columnBlob(s, 1);
  out->folded = columnBlob(s, 2);
  out->keyClass = columnBlob(s, 3);
  out->lastWrite = static_cast<std::uint64_t>(sqlite3_column_int64(s, 4));
  out->readOnly = sqlite3_column_int(s, 5) != 0;
  out->parent = sqlite3_column_int64(s, 6);
  sqlite3_reset(s);
  return ERROR_SUCCESS;
}

LONG RegistryStore::readValueRow(sqlite3_stmt* s, ValueInfo* out) {
  out->name = columnBlob(s, 0);
  out->type = static_cast<DWORD>(static_cast<std::uint32_t>(sqlite3_column_int64(s, 1)));
  out->data = columnBlob(s, 2);
  sqlite3_reset(s);
  return ERROR_SUCCESS;
}

LONG RegistryStore::getKey(KeyId id, KeyInfo* out) {
  sqlite3_stmt* s = stmt(kGetKey);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  return keyQuery(s, ERROR_KEY_DELETED, out);
}

LONG RegistryStore::findChild(KeyId parent, const std::string& folded, KeyInfo* out) {
  sqlite3_stmt* s = stmt(kFindChild);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, parent);
  bindText(s, 2, folded);
  return keyQuery(s, ERROR_FILE_NOT_FOUND, out);
}

LONG RegistryStore::insertKey(KeyId parent, const std::string& name, const std::string& folded,
                              const char* keyClass, std::uint64_t now, KeyId* id) {
  sqlite3_stmt* s = stmt(kInsertKey);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, parent);
  bindText(s, 2, name);
  bindText(s, 3, folded);
  if (keyClass && *keyClass) {
    sqlite3_bind_blob(s, 4, keyClass, static_cast<int>(std::char_traits<char>::length(keyClass)), SQLITE_STATIC);
  }
  sqlite3_bind_int64(s, 5, static_cast<sqlite3_int64>(now));
  LONG err = runToEnd(s);
  if (err == ERROR_SUCCESS) *id = sqlite3_last_insert_rowid(db_);
  return err;
}

LONG RegistryStore::touchKey(KeyId id, std::uint64_t now) {
  sqlite3_stmt* s = stmt(kTouchKey);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(now));
  LONG err = runToEnd(s);
  if (err == ERROR_SUCCESS && sqlite3_changes(db_) == 0) return ERROR_KEY_DELETED;
  return err;
}

LONG RegistryStore::touchParent(KeyId id, std::uint64_t now) {
  sqlite3_stmt* s = stmt(kTouchParent);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(now));
  LONG err = runToEnd(s);
  if (err != ERROR_SUCCESS || sqlite3_changes(db_) != 0) return err;
  KeyInfo key;   // gone, or read-only
  err = getKey(id, &key);
  return err != ERROR_SUCCESS ? err : ERROR_ACCESS_DENIED;
}

LONG RegistryStore::hasChildren(KeyId id, bool* result) {
  sqlite3_stmt* s = stmt(kHasChildren);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  LONG err = step(s, result);
  sqlite3_reset(s);
  return err;
}

LONG RegistryStore::deleteKey(KeyId id) {
  sqlite3_stmt* s = stmt(kDeleteValues);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  LONG err = runToEnd(s);
  if (err != ERROR_SUCCESS) return err;
  s = stmt(kDeleteKey);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  err = runToEnd(s);
  if (err != ERROR_SUCCESS) return err;
  // The newest key leaves its id behind in keymark, which new ids start
  // above; any other key's id stays below the newest one's.
  s = stmt(kRetireId);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  return runToEnd(s);
}

LONG RegistryStore::childAt(KeyId parent, DWORD index, KeyInfo* out) {
  sqlite3_stmt* s = stmt(kChildAt);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, parent);
  sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(index));
  return keyQuery(s, ERROR_NO_MORE_ITEMS, out);
}

LONG RegistryStore::childAfter(KeyId parent, const std::string& afterFolded, KeyInfo* out) {
  sqlite3_stmt* s = stmt(kChildAfter);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, parent);
  bindText(s, 2, afterFolded);
  return keyQuery(s, ERROR_NO_MORE_ITEMS, out);
}

LONG RegistryStore::setReadOnlyTree(KeyId id, bool readOnly) {
  sqlite3_stmt* s = stmt(kSetReadOnlyTree);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, id);
  sqlite3_bind_int(s, 2, readOnly ? 1 : 0);
  return runToEnd(s);
}

LONG RegistryStore::getValue(KeyId key, const std::string& folded, ValueInfo* out) {
  sqlite3_stmt* s = stmt(kGetValue);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, key);
  bindText(s, 2, folded);
  bool row = false;
  LONG err = step(s, &row);
  if (err != ERROR_SUCCESS) return err;
  if (!row) return ERROR_FILE_NOT_FOUND;
  return readValueRow(s, out);
}

LONG RegistryStore::touchValues(KeyId key, std::uint64_t now) {
  // The state row exists only while its key does; only a key without one is
  // looked up.
  for (Stmt which : {kBumpValues, kFirstValues}) {
    sqlite3_stmt* s = stmt(which);
    if (!s) return ERROR_REGISTRY_IO_FAILED;
    sqlite3_bind_int64(s, 1, key);
    sqlite3_bind_int64(s, 2, static_cast<sqlite3_int64>(now));
    LONG err = runToEnd(s);
    if (err != ERROR_SUCCESS || sqlite3_changes(db_) != 0) return err;
  }
  return ERROR_KEY_DELETED;
}

LONG RegistryStore::setValue(KeyId key, const std::string& name, const std::string& folded, DWORD type,
                             const void* data, std::size_t size, std::uint64_t now) {
  LONG err = touchValues(key, now);   // ERROR_KEY_DELETED when the key is gone
  if (err != ERROR_SUCCESS) return err;
  sqlite3_stmt* s = stmt(kUpsertValue);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, key);
  bindText(s, 2, name);
  bindText(s, 3, folded);
  sqlite3_bind_int64(s, 4, static_cast<sqlite3_int64>(static_cast<std::uint32_t>(type)));
  static const char kEmpty = 0;
  sqlite3_bind_blob64(s, 5, size ? data : &kEmpty, static_cast<sqlite3_uint64>(size), SQLITE_STATIC);
  return runToEnd(s);
}

LONG RegistryStore::deleteValue(KeyId key, const std::string& folded, std::uint64_t now) {
  sqlite3_stmt* s = stmt(kDeleteValue);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, key);
  bindText(s, 2, folded);
  LONG err = runToEnd(s);
  if (err == ERROR_SUCCESS && sqlite3_changes(db_) == 0) return ERROR_FILE_NOT_FOUND;
  return err == ERROR_SUCCESS ? touchValues(key, now) : err;
}

LONG RegistryStore::valueOrder(KeyId key, std::vector<std::string>* folded) {
  folded->clear();
  sqlite3_stmt* s = stmt(kValueOrder);
  if (!s) return ERROR_REGISTRY_IO_FAILED;
  sqlite3_bind_int64(s, 1, key);
  for (;;) {
    bool row = false;
    LONG err = step(s, &row);
    if (err != ERROR_SUCCESS) return err;
    if (!row) break;
    folded->push_back(columnBlob(s, 0));
  }
  sqlite3_reset(s);
  return ERROR_SUCCESS;
}

}  // namespace regstore
}  // namespace tobrel
