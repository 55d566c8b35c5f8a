// Background checkpoints: they copy the log into the database file without
// the writer waiting, stop cleanly, report a thread that could not start its
// work, and leave a forked child free to use the registry.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "TobrelTools/platform/platform.h"
#include "TobrelTools/platform/registry_checkpoint.h"
#include "TobrelTools/platform/registry_vfs.h"
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
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                            tobrel::regstore::storeVfsName()),
            SQLITE_OK);
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
    BackgroundCheckpointer checkpointer(path, tobrel::regstore::storeVfsName());
    EXPECT_EQ(checkpointer.completed(), 0u);
    ASSERT_TRUE(checkpointer.request());
    EXPECT_TRUE(eventually([&] { return checkpointer.completed() >= 1; }));
  }
  EXPECT_GT(fileSize(path), 2000000);
  // Everything was copied: the writer's next commit starts the log over.
  run(db, "INSERT INTO t VALUES(1)");
  EXPECT_LT(fileSize(path + "-wal"), 2000000 + 100000);
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
  { BackgroundCheckpointer never(path, nullptr); }
  for (int i = 0; i < 20; ++i) {
    BackgroundCheckpointer busy(path, tobrel::regstore::storeVfsName());
    for (int k = 0; k < 5; ++k) EXPECT_TRUE(busy.request());
  }
  // A thread that cannot open the database ends, and says so: the caller
  // then checkpoints by itself.
  BackgroundCheckpointer missing(tempPath("missing/nowhere.db"), nullptr);
  EXPECT_TRUE(eventually([&] { return !missing.request(); }));
  EXPECT_EQ(missing.completed(), 0u);
  sqlite3_close(db);
}

// The registry asks for checkpoints as its log grows; its calls never wait
// for them, and its database file fills up behind them.
TEST(RegistryCheckpointTest, TheRegistryLogIsCopiedWhileCallsGoOn) {
  std::string db = tobrel::test::freshRegistryStore();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Grows", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  long long before = fileSize(db);
  std::string data(200, 'x');
  for (int i = 0; i < 3000; ++i) {
    std::string name = "v" + std::to_string(i);
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
  }
  EXPECT_TRUE(eventually([&] { return fileSize(db) > before + 300000; })) << fileSize(db);
  RegCloseKey(key);
  tobrel::registryStoreReset(nullptr);
}

// A child forked while the parent's checkpoints run goes on with a store of
// its own, never stuck on a lock the parent's thread held.
TEST(RegistryCheckpointTest, AForkedChildUsesTheRegistryWhileTheParentCheckpoints) {
  std::string db = tobrel::test::freshRegistryStore();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Forks", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::string data(500, 'y');
  for (int round = 0; round < 8; ++round) {
    for (int i = 0; i < 600; ++i) {   // keeps the background busy
      std::string name = "p" + std::to_string(round) + "." + std::to_string(i);
      ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())),
                ERROR_SUCCESS);
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(20);   // a stuck child fails the test instead of hanging it
      HKEY own = nullptr;
      std::string path = "Forks\\child" + std::to_string(round);
      bool ok = RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &own,
                                nullptr) == ERROR_SUCCESS &&
                RegSetValueExA(own, "c", 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                               static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
      _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "child " << round << " did not finish";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "child " << round;
  }
  for (int round = 0; round < 8; ++round) {
    HKEY own = nullptr;
    std::string path = "Forks\\child" + std::to_string(round);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &own), ERROR_SUCCESS) << path;
    RegCloseKey(own);
  }
  RegCloseKey(key);
  tobrel::registryStoreReset(nullptr);
}

}  // namespace
