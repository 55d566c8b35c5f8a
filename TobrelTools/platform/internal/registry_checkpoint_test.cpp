// Background checkpoints: they copy the log into the database file and empty
// it without the writer waiting, stop cleanly, report a thread that could not
// start its work, and keep the registry's log bounded.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "TobrelTools/platform/platform.h"
#include "TobrelTools/platform/internal/registry_checkpoint.h"
#include "TobrelTools/platform/internal/registry_store.h"
#include "tests/registry_test_util.h"

namespace {

using tobrel::regstore::BackgroundCheckpointer;
using tobrel::test::tempPath;

long long fileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

void run(sqlite3* db, const char* sql) {
  char* error = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, &error), SQLITE_OK) << sql << ": " << (error ? error : "");
  sqlite3_free(error);
}

// Waits up to 20 seconds for `done`.
template <typename F>
bool eventually(F done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

// A database whose content (about 2 MB) is still all in its log.
std::string databaseInItsLog(const char* name, sqlite3** db) {
  std::string path = tempPath(name);
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr), SQLITE_OK);
  run(*db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0; CREATE TABLE t(v BLOB);");
  run(*db, "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500)"
           " INSERT INTO t SELECT randomblob(4000) FROM n;");
  return path;
}

TEST(RegistryCheckpointTest, CopiesTheLogIntoTheDatabaseFileWhenAsked) {
  sqlite3* db = nullptr;
  std::string path = databaseInItsLog("copies.db", &db);
  long long before = fileSize(path);
  EXPECT_LT(before, 100000);
  {
    BackgroundCheckpointer checkpointer(path, 200);
    EXPECT_EQ(checkpointer.completed(), 0u);
    ASSERT_TRUE(checkpointer.request());
    EXPECT_TRUE(eventually([&] { return checkpointer.completed() >= 1; }));
    EXPECT_EQ(checkpointer.restarted(), 1u);
  }
  // Everything was copied, and the log emptied.
  EXPECT_GT(fileSize(path), 2000000);
  EXPECT_EQ(fileSize(path + "-wal"), 0);
  run(db, "INSERT INTO t VALUES(1)");
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM t", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 501);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST(RegistryCheckpointTest, StopsAtOnceWhetherIdleBusyOrNeverStarted) {
  sqlite3* db = nullptr;
  std::string path = databaseInItsLog("stops.db", &db);
  { BackgroundCheckpointer never(path, 200); }
  for (int i = 0; i < 20; ++i) {
    BackgroundCheckpointer busy(path, 200);
    for (int k = 0; k < 5; ++k) EXPECT_TRUE(busy.request());
  }
  // A thread that cannot open the database ends, and says so: the caller
  // then checkpoints by itself.
  BackgroundCheckpointer missing(tempPath("missing/nowhere.db"), 200);
  EXPECT_TRUE(eventually([&] { return !missing.request(); }));
  EXPECT_EQ(missing.completed(), 0u);
  sqlite3_close(db);
}

// A stream of writes: the registry's calls never wait for a checkpoint to
// catch up, yet the log stays under its bound after every call (a writer
// that finds it too large empties it itself), and once the writes stop the
// background empties it.
TEST(RegistryCheckpointTest, TheLogStaysBoundedUnderAStreamOfWritesAndShrinksAfterwards) {
  using tobrel::regstore::RegistryStore;
  std::string db = tobrel::test::freshRegistryStore();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Grows", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  long long before = fileSize(db);
  std::string data(4000, 'x');
  long long largest = 0;
  for (int i = 0; i < 6000; ++i) {   // about 30 MB of log
    std::string name = "v" + std::to_string(i % 1500);
    data[0] = static_cast<char>(i);
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    largest = std::max(largest, fileSize(db + "-wal"));
  }
  EXPECT_LE(largest, RegistryStore::kInlineCheckpointBytes + RegistryStore::kCheckpointBytes + 64 * 1024);
  EXPECT_TRUE(eventually([&] { return fileSize(db + "-wal") < RegistryStore::kCheckpointBytes; }))
      << fileSize(db + "-wal");
  EXPECT_GT(fileSize(db), before + 1500 * 4000);
  RegCloseKey(key);
  tobrel::registryStoreReset(nullptr);
}

}  // namespace
