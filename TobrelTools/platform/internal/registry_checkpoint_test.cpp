// Background checkpoints: they copy the log into the database file and start
// it over without the writer waiting, empty it once the writes stop, stop
// cleanly, report a thread that could not start its work, and keep the
// registry's log bounded.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

#include "TobrelTools/platform/platform.h"
#include "TobrelTools/platform/internal/registry_checkpoint.h"
#include "TobrelTools/platform/internal/registry_store.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

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
  std::string path = tobrel::test::freshFile(name);
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
    // Started over at once; emptied by the checks that follow, since
    // nothing is written any more.
    EXPECT_TRUE(eventually([&] { return checkpointer.emptied() >= 1; }));
    EXPECT_EQ(checkpointer.completed(), 1u);
    EXPECT_EQ(checkpointer.restarted(), 1u);
  }
  // Everything was copied, and the log emptied.
  EXPECT_GT(fileSize(path), 2000000);
  EXPECT_EQ(fileSize(path + "-wal"), 0);
  run(db, "INSERT INTO t VALUES(1)");
  sqlite3_close(db);
  EXPECT_EQ(tobrel::test::queryOne(path, "SELECT count(*) FROM t"), "501");
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

// A stream of writes: the writer never waits for a checkpoint to catch up,
// yet the log stays under its bound after every call (a writer that finds it
// past kInlineCheckpointBytes waits until it is emptied), and once the writes
// stop the background empties it. The outcome follows from what the store
// did, not from how fast the machine ran it.
TEST(RegistryCheckpointTest, TheLogStaysBoundedUnderAStreamOfWritesAndShrinksAfterwards) {
  using tobrel::regstore::RegistryStore;
  std::string db = tobrel::test::freshFile("stream.db");
  RegistryStore store(db);
  ASSERT_EQ(store.status(), ERROR_SUCCESS);
  tobrel::regstore::KeyId key = 0;
  const std::uint64_t now = tobrel::regstore::fileTimeNow();
  ASSERT_EQ(store.begin(true), ERROR_SUCCESS);
  ASSERT_EQ(store.insertKey(tobrel::regstore::kCurrentUser, "Grows", tobrel::regstore::foldName("Grows", 5), nullptr,
                            now, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(store.commit(), ERROR_SUCCESS);
  long long before = fileSize(db);
  std::string data(4000, 'x');
  long long largest = 0;
  for (int i = 0; i < 6000; ++i) {   // about 30 MB of log
    std::string name = "v" + std::to_string(i % 1500);
    data[0] = static_cast<char>(i);
    ASSERT_EQ(store.begin(true), ERROR_SUCCESS);
    ASSERT_EQ(store.setValue(key, name, tobrel::regstore::foldName(name.data(), name.size()), REG_BINARY, data.data(),
                             data.size(), now),
              ERROR_SUCCESS);
    ASSERT_EQ(store.commit(), ERROR_SUCCESS);
    largest = std::max(largest, fileSize(db + "-wal"));
  }
  // Frames of 2 KiB pages with their 24-byte headers, and one call's worth.
  EXPECT_LE(largest, RegistryStore::kInlineCheckpointBytes / 2048 * (2048 + 24) + 64 * 1024);
  EXPECT_GT(largest, RegistryStore::kCheckpointBytes);
  store.settleCheckpoints();
  EXPECT_EQ(fileSize(db + "-wal"), 0);
  EXPECT_GT(fileSize(db), before + 1500 * 4000);
}

}  // namespace
