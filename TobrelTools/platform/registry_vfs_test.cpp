// The store's file layer: what it saves (one log write per small commit, no
// reader-mark moves) and what it must keep (every commit visible to other
// connections at once, large and rolled-back transactions intact, checkpoints
// and log restarts still working, compatibility with SQLite's own layer).
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "TobrelTools/platform/registry_vfs.h"
#include "tests/test_util.h"

namespace {

using tobrel::regstore::storeVfsName;
using tobrel::test::tempPath;

// A counting layer installed as SQLite's default before anything opens a
// database, so that the store's layer sits on top of it: it counts what
// reaches the system below.
struct Counts {
  int logWrites = 0;     // writes to write-ahead log files
  int markMoves = 0;     // exclusive locks asked for on a reader slot with a mark
  int readerLocks = 0;   // reader slot locks and releases
  int shmLocks = 0;      // all lock calls on the shared index
};
Counts counts;
sqlite3_vfs* unixVfs = nullptr;
sqlite3_vfs counting;

struct CountingFile {
  sqlite3_file file;
  sqlite3_file* real;
  bool log;
};
sqlite3_file* realOf(sqlite3_file* f) { return reinterpret_cast<CountingFile*>(f)->real; }

int cClose(sqlite3_file* f) { return realOf(f)->pMethods->xClose(realOf(f)); }
int cRead(sqlite3_file* f, void* p, int n, sqlite3_int64 o) { return realOf(f)->pMethods->xRead(realOf(f), p, n, o); }
int cWrite(sqlite3_file* f, const void* p, int n, sqlite3_int64 o) {
  if (reinterpret_cast<CountingFile*>(f)->log) ++counts.logWrites;
  return realOf(f)->pMethods->xWrite(realOf(f), p, n, o);
}
int cTruncate(sqlite3_file* f, sqlite3_int64 n) { return realOf(f)->pMethods->xTruncate(realOf(f), n); }
int cSync(sqlite3_file* f, int flags) { return realOf(f)->pMethods->xSync(realOf(f), flags); }
int cFileSize(sqlite3_file* f, sqlite3_int64* n) { return realOf(f)->pMethods->xFileSize(realOf(f), n); }
int cLock(sqlite3_file* f, int l) { return realOf(f)->pMethods->xLock(realOf(f), l); }
int cUnlock(sqlite3_file* f, int l) { return realOf(f)->pMethods->xUnlock(realOf(f), l); }
int cCheck(sqlite3_file* f, int* out) { return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out); }
int cControl(sqlite3_file* f, int op, void* arg) { return realOf(f)->pMethods->xFileControl(realOf(f), op, arg); }
int cSector(sqlite3_file* f) { return realOf(f)->pMethods->xSectorSize(realOf(f)); }
int cDevice(sqlite3_file* f) { return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f)); }
int cShmMap(sqlite3_file* f, int r, int s, int e, void volatile** p) {
  return realOf(f)->pMethods->xShmMap(realOf(f), r, s, e, p);
}
int cShmLock(sqlite3_file* f, int ofst, int n, int flags) {
  if (flags == (SQLITE_SHM_LOCK | SQLITE_SHM_EXCLUSIVE) && n == 1 && ofst >= 4 && ofst <= 7) ++counts.markMoves;
  if (ofst >= 3 && ofst <= 7) ++counts.readerLocks;
  ++counts.shmLocks;
  return realOf(f)->pMethods->xShmLock(realOf(f), ofst, n, flags);
}
void cShmBarrier(sqlite3_file* f) { realOf(f)->pMethods->xShmBarrier(realOf(f)); }
int cShmUnmap(sqlite3_file* f, int d) { return realOf(f)->pMethods->xShmUnmap(realOf(f), d); }
const sqlite3_io_methods kCountingMethods = {2,        cClose,  cRead,       cWrite,   cTruncate, cSync,
                                             cFileSize, cLock,   cUnlock,     cCheck,   cControl,  cSector,
                                             cDevice,   cShmMap, cShmLock,    cShmBarrier, cShmUnmap, nullptr,
                                             nullptr};

int cOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* out) {
  CountingFile* c = reinterpret_cast<CountingFile*>(f);
  c->real = reinterpret_cast<sqlite3_file*>(c + 1);
  c->log = (flags & SQLITE_OPEN_WAL) != 0;
  c->file.pMethods = nullptr;
  int rc = unixVfs->xOpen(unixVfs, name, c->real, flags, out);
  if (rc == SQLITE_OK && c->real->pMethods) c->file.pMethods = &kCountingMethods;
  return rc;
}

bool installCounting() {
  unixVfs = sqlite3_vfs_find(nullptr);
  counting = *unixVfs;
  counting.zName = "tobrel-test-counting";
  counting.szOsFile = static_cast<int>(sizeof(CountingFile)) + unixVfs->szOsFile;
  counting.xOpen = cOpen;
  counting.pNext = nullptr;
  return sqlite3_vfs_register(&counting, 1) == SQLITE_OK;
}
const bool countingInstalled = installCounting();

// A connection through the store's layer (or SQLite's own with `plain`).
sqlite3* open(const std::string& path, bool plain = false) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                           plain ? nullptr : storeVfsName());
  EXPECT_EQ(rc, SQLITE_OK) << path;
  sqlite3_busy_timeout(db, 5000);
  return db;
}

void run(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  EXPECT_EQ(rc, SQLITE_OK) << sql << ": " << (error ? error : "");
  sqlite3_free(error);
}

std::string one(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* s = nullptr;
  std::string out = "(error)";
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK) {
    int rc = sqlite3_step(s);
    if (rc == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(s, 0);
      out = t ? reinterpret_cast<const char*>(t) : "";
    } else {
      out = rc == SQLITE_DONE ? "(none)" : sqlite3_errmsg(db);
    }
  }
  sqlite3_finalize(s);
  return out;
}

// A fresh database in WAL mode with 1 KiB pages and a table t(k, v).
std::string freshDatabase(const char* name) {
  std::string path = tempPath(name);
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  sqlite3* db = open(path);
  run(db, "PRAGMA page_size=1024; PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
          "CREATE TABLE t(k INTEGER PRIMARY KEY, v BLOB NOT NULL);");
  sqlite3_close(db);
  return path;
}

void control(sqlite3* db, int op, bool on) {
  int value = on ? 1 : 0;
  EXPECT_EQ(sqlite3_file_control(db, "main", op, &value), SQLITE_OK);
}

// A write transaction as the store makes one: announced, and ended with
// nothing left running.
void announcedWrite(sqlite3* db, const std::string& sql) {
  control(db, tobrel::regstore::kWriteIntentControl, true);
  run(db, "BEGIN IMMEDIATE");
  control(db, tobrel::regstore::kWriteIntentControl, false);
  run(db, sql);
  control(db, tobrel::regstore::kTransactionEndsControl, true);
  run(db, "COMMIT");
  control(db, tobrel::regstore::kTransactionEndsControl, false);
}

long long fileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

TEST(RegistryVfsTest, IsRegisteredAboveTheDefaultLayer) {
  ASSERT_TRUE(countingInstalled);
  ASSERT_NE(storeVfsName(), nullptr);
  EXPECT_STREQ(storeVfsName(), storeVfsName());
  sqlite3_vfs* layer = sqlite3_vfs_find(storeVfsName());
  ASSERT_NE(layer, nullptr);
  EXPECT_NE(layer, sqlite3_vfs_find(nullptr));   // never made the default
}

TEST(RegistryVfsTest, ASmallCommitWritesTheLogOnceAndSeldomMovesAMark) {
  std::string path = freshDatabase("small.db");
  sqlite3* db = open(path);
  sqlite3* reader = open(path);
  run(db, "INSERT INTO t(v) VALUES(zeroblob(10))");   // settles the log's first frames
  counts = Counts();
  const int commits = 40;
  for (int i = 0; i < commits; ++i) {
    run(db, "BEGIN IMMEDIATE; INSERT INTO t(v) VALUES(randomblob(50)); COMMIT;");
    EXPECT_EQ(one(reader, "SELECT count(*) FROM t"), std::to_string(i + 2));
  }
  EXPECT_EQ(counts.logWrites, commits);   // SQLite's own layer: two per frame
  // SQLite's own layer: one per transaction after a commit (80 here); the
  // store's layer moves one in every 16th transaction of each connection.
  EXPECT_LE(counts.markMoves, 2 * (commits / 16 + 1));

  // The same through SQLite's own layer, to show what is being counted.
  sqlite3* plain = open(path, true);
  counts = Counts();
  for (int i = 0; i < 5; ++i) run(plain, "BEGIN IMMEDIATE; INSERT INTO t(v) VALUES(randomblob(50)); COMMIT;");
  EXPECT_GE(counts.logWrites, 10);
  EXPECT_GE(counts.markMoves, 4);
  sqlite3_close(plain);
  sqlite3_close(reader);
  sqlite3_close(db);
}

TEST(RegistryVfsTest, AnAnnouncedWriteTakesOnlyTheWriterLock) {
  std::string path = freshDatabase("announced.db");
  sqlite3* db = open(path);
  sqlite3* reader = open(path);
  run(db, "INSERT INTO t(v) VALUES(zeroblob(10))");
  counts = Counts();
  for (int i = 0; i < 10; ++i) announcedWrite(db, "INSERT INTO t(v) VALUES(randomblob(50))");
  EXPECT_EQ(counts.shmLocks, 20);    // the writer lock taken and given back; SQLite's own layer: 40 and more
  EXPECT_EQ(counts.readerLocks, 0);
  EXPECT_EQ(counts.logWrites, 10);
  EXPECT_EQ(one(reader, "SELECT count(*) FROM t"), "11");
  // Unannounced transactions on the same connection are as before.
  counts = Counts();
  run(db, "BEGIN IMMEDIATE; INSERT INTO t(v) VALUES(1); COMMIT;");
  EXPECT_EQ(counts.readerLocks, 2);
  sqlite3_close(reader);
  sqlite3_close(db);
}

// While an announced write runs, others read the last commit, cannot write,
// and cannot restart the log under it.
TEST(RegistryVfsTest, AnAnnouncedWriteIsIsolatedAsAnyOther) {
  std::string path = freshDatabase("isolated.db");
  sqlite3* db = open(path);
  sqlite3* other = open(path);
  sqlite3_busy_timeout(other, 0);
  run(db, "INSERT INTO t(v) VALUES(randomblob(100))");
  control(db, tobrel::regstore::kWriteIntentControl, true);
  run(db, "BEGIN IMMEDIATE");
  control(db, tobrel::regstore::kWriteIntentControl, false);
  run(db, "INSERT INTO t(v) VALUES(randomblob(100))");
  EXPECT_EQ(one(other, "SELECT count(*) FROM t"), "1");
  EXPECT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_BUSY);
  EXPECT_EQ(sqlite3_exec(other, "INSERT INTO t(v) VALUES(1)", nullptr, nullptr, nullptr), SQLITE_BUSY);
  int log = -1, done = -1;
  EXPECT_EQ(sqlite3_wal_checkpoint_v2(other, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &log, &done), SQLITE_BUSY);
  EXPECT_EQ(one(db, "SELECT count(*) FROM t"), "2");
  control(db, tobrel::regstore::kTransactionEndsControl, true);
  run(db, "COMMIT");
  control(db, tobrel::regstore::kTransactionEndsControl, false);
  EXPECT_EQ(one(other, "SELECT count(*) FROM t"), "2");
  run(other, "INSERT INTO t(v) VALUES(1)");
  EXPECT_EQ(one(db, "SELECT count(*) FROM t"), "3");
  sqlite3_close(other);
  sqlite3_close(db);
}

// A statement still reading when an announced write commits keeps a real
// reader lock: the log cannot be cut from under it.
TEST(RegistryVfsTest, AReadOutlivingAnAnnouncedWriteKeepsItsView) {
  std::string path = freshDatabase("outliving.db");
  sqlite3* db = open(path);
  sqlite3* other = open(path);
  sqlite3_busy_timeout(other, 0);
  run(db, "PRAGMA wal_autocheckpoint=0");
  for (int i = 0; i < 50; ++i) run(db, "INSERT INTO t(v) VALUES(randomblob(300))");
  control(db, tobrel::regstore::kWriteIntentControl, true);
  run(db, "BEGIN IMMEDIATE");
  control(db, tobrel::regstore::kWriteIntentControl, false);
  run(db, "INSERT INTO t(v) VALUES(randomblob(300))");
  sqlite3_stmt* reading = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT v FROM t ORDER BY k", -1, &reading, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(reading), SQLITE_ROW);
  run(db, "COMMIT");   // not announced as the end: `reading` still runs
  for (int i = 0; i < 20; ++i) run(other, "INSERT INTO t(v) VALUES(randomblob(300))");
  int log = -1, done = -1;
  EXPECT_EQ(sqlite3_wal_checkpoint_v2(other, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &log, &done), SQLITE_BUSY);
  run(other, "DELETE FROM t");
  int rows = 1;
  while (sqlite3_step(reading) == SQLITE_ROW) {
    EXPECT_EQ(sqlite3_column_bytes(reading, 0), 300);
    ++rows;
  }
  EXPECT_EQ(rows, 51);   // the view of its own transaction's end
  sqlite3_finalize(reading);
  EXPECT_EQ(one(db, "SELECT count(*) FROM t"), "0");
  EXPECT_EQ(one(db, "PRAGMA integrity_check"), "ok");
  sqlite3_close(other);
  sqlite3_close(db);
}

// The same when a checkpoint, finding the announced write's reader slot free
// (it is held only in name), took that slot's mark out of use during the
// write: later commits must still not be copied under the outliving read.
TEST(RegistryVfsTest, AReadOutlivingAnAnnouncedWriteKeepsItsViewWhenACheckpointTookItsMark) {
  std::string path = freshDatabase("mark_taken.db");
  sqlite3* writer = open(path, true);
  sqlite3* checkpointer = open(path, true);
  sqlite3_busy_timeout(writer, 0);
  run(writer, "PRAGMA wal_autocheckpoint=0; CREATE TABLE u(x);");
  EXPECT_EQ(one(checkpointer, "SELECT count(*) FROM u"), "0");   // finds the log
  run(writer, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 200)"
              " INSERT INTO t(k, v) SELECT i, 'old' || zeroblob(300) FROM n");
  run(writer, "PRAGMA wal_checkpoint(PASSIVE)");
  run(writer, "INSERT INTO u VALUES(1)");   // the log starts over; t lives in the database file alone
  // Marks on two slots, the newer one below the newest commit.
  sqlite3* first = open(path, true);
  sqlite3* second = open(path, true);
  run(first, "BEGIN; SELECT count(*) FROM u;");
  run(writer, "INSERT INTO u VALUES(2)");
  EXPECT_EQ(one(second, "SELECT count(*) FROM u"), "2");
  run(first, "COMMIT");
  run(writer, "INSERT INTO u VALUES(3)");

  sqlite3* db = open(path);
  control(db, tobrel::regstore::kWriteIntentControl, true);
  run(db, "BEGIN IMMEDIATE");
  control(db, tobrel::regstore::kWriteIntentControl, false);
  run(db, "INSERT INTO u VALUES(4)");
  sqlite3_stmt* reading = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT substr(v, 1, 3) FROM t ORDER BY k", -1, &reading, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(reading), SQLITE_ROW);
  EXPECT_EQ(sqlite3_wal_checkpoint_v2(checkpointer, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr), SQLITE_OK);
  run(db, "COMMIT");   // `reading` still runs
  // Whether this commit waits for `reading` or not, `reading` keeps its view.
  sqlite3_exec(writer, "UPDATE t SET v = 'new' || zeroblob(300)", nullptr, nullptr, nullptr);
  EXPECT_EQ(sqlite3_wal_checkpoint_v2(checkpointer, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr), SQLITE_OK);
  int old = 0, rows = 0;
  do {
    old += std::string(reinterpret_cast<const char*>(sqlite3_column_text(reading, 0))) == "old" ? 1 : 0;
    ++rows;
  } while (sqlite3_step(reading) == SQLITE_ROW);
  EXPECT_EQ(rows, 200);
  EXPECT_EQ(old, 200);
  sqlite3_finalize(reading);
  run(writer, "UPDATE t SET v = 'new' || zeroblob(300)");
  EXPECT_EQ(one(db, "SELECT count(*) FROM t WHERE substr(v, 1, 3) = 'new'"), "200");
  EXPECT_EQ(one(db, "PRAGMA integrity_check"), "ok");
  sqlite3_close(db);
  sqlite3_close(second);
  sqlite3_close(first);
  sqlite3_close(checkpointer);
  sqlite3_close(writer);
}

TEST(RegistryVfsTest, EveryCommitIsWholeForEveryOtherConnectionAtOnce) {
  std::string path = freshDatabase("visible.db");
  sqlite3* writer = open(path);
  sqlite3* other = open(path);
  sqlite3* plain = open(path, true);
  // Commits of one page up to many (a 40 KiB value spans about 40 pages),
  // each checked by content right after it, through both layers.
  for (int i = 1; i <= 30; ++i) {
    int size = (i % 3 == 0) ? 40000 + i : 20 + i;
    run(writer, "BEGIN IMMEDIATE; INSERT INTO t(k, v) VALUES(" + std::to_string(i) + ", randomblob(" +
                    std::to_string(size) + ")); UPDATE t SET v = randomblob(30) WHERE k = " + std::to_string(i - 1) +
                    "; COMMIT;");
    std::string digest = one(writer, "SELECT sum(length(v)) || ':' || hex(substr(v, 1, 16)) FROM t WHERE k >= " +
                                         std::to_string(i - 1));
    EXPECT_EQ(one(other, "SELECT sum(length(v)) || ':' || hex(substr(v, 1, 16)) FROM t WHERE k >= " +
                             std::to_string(i - 1)),
              digest);
    EXPECT_EQ(one(plain, "SELECT sum(length(v)) || ':' || hex(substr(v, 1, 16)) FROM t WHERE k >= " +
                             std::to_string(i - 1)),
              digest);
  }
  // And the other way round: the plain layer writes, the store's layer reads.
  run(plain, "INSERT INTO t(k, v) VALUES(1000, randomblob(5000))");
  EXPECT_EQ(one(writer, "SELECT length(v) FROM t WHERE k = 1000"), "5000");
  EXPECT_EQ(one(other, "PRAGMA integrity_check"), "ok");
  sqlite3_close(plain);
  sqlite3_close(other);
  sqlite3_close(writer);
}

TEST(RegistryVfsTest, LargeAndRolledBackTransactionsLeaveAConsistentFile) {
  std::string path = freshDatabase("large.db");
  sqlite3* db = open(path);
  sqlite3* other = open(path);
  // A small cache makes SQLite spill pages to the log before the commit; 3 MB
  // is more than the layer gathers (or the system layer writes) at once.
  run(db, "PRAGMA cache_size=20");
  run(db, "BEGIN; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000)"
          " INSERT INTO t(k, v) SELECT i, randomblob(1000) FROM n; COMMIT;");
  EXPECT_EQ(one(other, "SELECT count(*) || ' ' || sum(length(v)) FROM t"), "3000 3000000");
  // A spilled transaction rolled back, then a small commit at the same place
  // in the log: only the commit counts.
  run(db, "BEGIN; UPDATE t SET v = zeroblob(1000); DELETE FROM t WHERE k > 10;");
  run(db, "ROLLBACK");
  run(db, "UPDATE t SET v = x'01' WHERE k = 1");
  EXPECT_EQ(one(other, "SELECT count(*) || ' ' || sum(length(v)) FROM t"), "3000 2999001");
  sqlite3_close(other);
  sqlite3_close(db);
  // Reopened by SQLite's own layer, which recovers from the log alone.
  sqlite3* plain = open(path, true);
  EXPECT_EQ(one(plain, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(one(plain, "SELECT count(*) || ' ' || sum(length(v)) || ' ' || hex(v) FROM t WHERE k <= 1"),
            "1 1 01");
  EXPECT_EQ(one(plain, "SELECT count(*) FROM t"), "3000");
  sqlite3_close(plain);
}

int openDescriptors() {
  int count = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++count;
    closedir(dir);
  }
  return count;
}

// Many megabytes of commits, gathered and written in pieces, leave no
// descriptor behind once the connection is closed.
TEST(RegistryVfsTest, ALongStreamOfCommitsLeavesNoDescriptorOpen) {
  std::string path = freshDatabase("descriptors.db");
  int before = openDescriptors();
  sqlite3* db = open(path);
  for (int i = 0; i < 200; ++i) run(db, "INSERT INTO t(v) VALUES(randomblob(20000))");
  EXPECT_EQ(one(db, "SELECT count(*) FROM t"), "200");
  sqlite3_close(db);
  EXPECT_EQ(openDescriptors(), before);
}

TEST(RegistryVfsTest, CheckpointsStillCatchUpAndTheLogStillRestarts) {
  std::string path = freshDatabase("checkpoint.db");
  sqlite3* db = open(path);
  sqlite3* reader = open(path);
  run(db, "PRAGMA wal_autocheckpoint=0");
  // Readers between the commits all stay on old marks.
  for (int i = 0; i < 100; ++i) {
    run(db, "INSERT INTO t(v) VALUES(randomblob(200))");
    EXPECT_EQ(one(reader, "SELECT count(*) FROM t"), std::to_string(i + 1));
  }
  int log = -1, done = -1;
  ASSERT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, &log, &done), SQLITE_OK);
  EXPECT_EQ(log, 0);    // the log was copied in full and cut to nothing
  EXPECT_EQ(fileSize(path + "-wal"), 0);
  // The next commits start the log again from its beginning.
  run(db, "INSERT INTO t(v) VALUES(randomblob(200))");
  EXPECT_EQ(one(reader, "SELECT count(*) FROM t"), "101");
  EXPECT_LE(fileSize(path + "-wal"), 32 + 3 * (24 + 1024));
  // A reader in the middle of a transaction holds a checkpoint back, as ever.
  run(reader, "BEGIN; SELECT count(*) FROM t;");
  run(db, "INSERT INTO t(v) VALUES(randomblob(200))");
  ASSERT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &done), SQLITE_OK);
  EXPECT_LT(done, log);
  run(reader, "COMMIT");
  ASSERT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &done), SQLITE_OK);
  EXPECT_EQ(done, log);
  sqlite3_close(reader);
  sqlite3_close(db);
}

TEST(RegistryVfsTest, ReadersThatKeepOverlappingDoNotHoldCheckpointsBack) {
  std::string path = freshDatabase("overlap.db");
  sqlite3* db = open(path);
  sqlite3* first = open(path);
  sqlite3* second = open(path);
  run(db, "PRAGMA wal_autocheckpoint=0");
  // `first` reads all along; `second` reads between the commits, and at the
  // end reads all along too, taking over from `first`: one of them always
  // holds a mark.
  run(first, "BEGIN; SELECT count(*) FROM t;");
  for (int i = 0; i < 100; ++i) {
    run(db, "INSERT INTO t(v) VALUES(randomblob(200))");
    EXPECT_EQ(one(second, "SELECT count(*) FROM t"), std::to_string(i + 1));
  }
  run(second, "BEGIN; SELECT count(*) FROM t;");
  run(first, "COMMIT");
  int log = -1, done = -1;
  ASSERT_EQ(sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &done), SQLITE_OK);
  // `second` moved a mark at most 16 of its reads ago: the checkpoint gets
  // that far (were every mark left where `first` found it, nothing at all).
  EXPECT_GT(done, log * 2 / 3) << done << " of " << log;
  run(second, "COMMIT");
  sqlite3_close(second);
  sqlite3_close(first);
  sqlite3_close(db);
}

}  // namespace
