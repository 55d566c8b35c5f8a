// Commits that must survive what other processes do to the same store: a
// batch rolled back after it spilled out of the page cache, a forked child
// that goes on after its parent has exited, forks taken while other threads
// use the registry. Each test runs its processes step by step and decides
// from what was committed and what reads back, never from timing.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/process_util.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

namespace {

using tobrel::test::Signal;
using tobrel::test::integrityCheck;
using tobrel::test::spawn;
using tobrel::test::waitExit;

HKEY createKey(HKEY parent, const std::string& path, LONG* error = nullptr) {
  HKEY key = nullptr;
  LONG err = RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  if (error) *error = err;
  return err == ERROR_SUCCESS ? key : nullptr;
}

bool keyExists(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// `size` bytes that tell where they came from and are wrong when torn.
std::string pattern(std::uint32_t seed, std::size_t size) {
  std::string data(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    data[i] = static_cast<char>(x);
  }
  return data;
}

LONG setBinary(HKEY key, const std::string& name, const std::string& data) {
  return RegSetValueExA(key, name.c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

// What readsBack() reports for a value that reads back different.
const LONG kDifferent = -1;

// ERROR_SUCCESS when the value reads back as `expected`, kDifferent when it
// reads back otherwise.
LONG readsBack(HKEY key, const std::string& name, const std::string& expected) {
  std::string buf(expected.size() + 16, '\0');
  DWORD size = static_cast<DWORD>(buf.size());
  LONG err = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&buf[0]), &size);
  if (err != ERROR_SUCCESS) return err;
  return std::string(buf.data(), size) == expected ? ERROR_SUCCESS : kDifferent;
}

// A child's result for a registry error: 0 for success, else a code that
// survives the exit status (and the error, printed).
int childResult(const char* what, LONG err) {
  if (err == ERROR_SUCCESS) return 0;
  std::fprintf(stderr, "%s: error %ld\n", what, static_cast<long>(err));
  return 100 + static_cast<int>(err % 100);
}

// Process A writes more than SQLite's page cache holds in a batch and rolls
// it back; process B then commits a larger value, over the part of the log
// that A's batch had used; A makes one more call. B's value must read back
// whole in a new process and after every process has gone.
TEST(RegistryDurabilityTest, ABatchRolledBackPastTheCacheLeavesAnotherProcessCommitWhole) {
  std::string db = tobrel::test::freshRegistryStore();
  // The keys exist, and the log is empty (the last connection closed).
  for (const char* path : {"Software\\Abandoned", "Software\\Committed"}) {
    RegCloseKey(createKey(HKEY_CURRENT_USER, path));
  }
  tobrel::registryStoreReset(db.c_str());
  const std::string committed = pattern(7, 3 << 20);
  Signal rolledBack, bCommitted, aCalled, checked;

  pid_t a = spawn([&] {
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Abandoned");
    if (!key) return 1;
    {
      tobrel::RegistryBatch batch;
      if (batch.status() != ERROR_SUCCESS) return 2;
      for (std::uint32_t i = 0; i < 40; ++i) {   // 2.5 MB: past the cache, short of B's value
        if (setBinary(key, "v" + std::to_string(i), pattern(i, 64 << 10)) != ERROR_SUCCESS) return 3;
      }
    }   // rolled back
    rolledBack.send();
    if (bCommitted.receive() < 0) return 4;
    DWORD size = 0;
    RegQueryValueExA(key, "v0", nullptr, nullptr, nullptr, &size);
    aCalled.send();
    checked.receive();   // stays open until the check is done
    return 0;
  });
  ASSERT_EQ(rolledBack.receive(), '.');
  pid_t b = spawn([&] {
    LONG err = ERROR_SUCCESS;
    HKEY key = createKey(HKEY_CURRENT_USER, "Software\\Committed", &err);
    if (!key) return childResult("create", err);
    return childResult("set", setBinary(key, "v", committed));
  });
  ASSERT_EQ(waitExit(b), 0);
  bCommitted.send();
  ASSERT_EQ(aCalled.receive(), '.');

  pid_t c = spawn([&] {
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Committed", 0, KEY_READ, &key);
    if (err != ERROR_SUCCESS) return childResult("open", err);
    return childResult("read", readsBack(key, "v", committed));
  });
  EXPECT_EQ(waitExit(c), 0) << "a new process reading the committed value";
  checked.send();
  EXPECT_EQ(waitExit(a), 0);

  // Every process has gone: what the next one finds (after SQLite's recovery
  // of the log).
  tobrel::registryStoreReset(db.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Committed", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(readsBack(key, "v", committed), ERROR_SUCCESS);
  RegCloseKey(key);
  DWORD size = 0;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Abandoned", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "v0", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
  tobrel::registryStoreReset(nullptr);
  EXPECT_EQ(integrityCheck(db), "ok");
}

// A process uses the registry and forks; the child goes on like a daemon,
// the parent writes once more and exits, and another process opens and
// closes the database (with no other user in sight, SQLite then checkpoints
// and removes the log). What the child commits afterwards must be there.
TEST(RegistryDurabilityTest, AForkedChildOutlivingItsParentKeepsEveryCommit) {
  std::string db = tobrel::test::freshRegistryStore();
  Signal childReady, othersDone, childDone;

  pid_t parent = spawn([&] {
    HKEY top = createKey(HKEY_CURRENT_USER, "Software\\Daemon");
    if (!top) return 1;
    pid_t daemon = fork();
    if (daemon < 0) return 2;
    if (daemon == 0) {
      alarm(120);
      LONG err = ERROR_SUCCESS;
      HKEY before = createKey(top, "Before", &err);   // through the handle opened before the fork
      childReady.send(before ? '.' : 'x');
      if (othersDone.receive() < 0) _exit(3);
      HKEY after = createKey(top, "After", &err);
      if (after) err = setBinary(after, "v", pattern(1, 5000));
      childDone.send(err == ERROR_SUCCESS ? 'y' : 'n');
      _exit(0);
    }
    HKEY mine = createKey(top, "Parent");
    return mine ? 0 : 4;
  });
  EXPECT_EQ(waitExit(parent), 0);
  ASSERT_EQ(childReady.receive(), '.');

  pid_t other = spawn([&] {
    sqlite3* h = nullptr;
    int rc = sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) rc = sqlite3_exec(h, "SELECT count(*) FROM keys", nullptr, nullptr, nullptr);
    sqlite3_close(h);
    return rc == SQLITE_OK ? 0 : 1;
  });
  EXPECT_EQ(waitExit(other), 0);
  othersDone.send();
  ASSERT_EQ(childDone.receive(), 'y');

  tobrel::registryStoreReset(db.c_str());
  for (const char* path : {"Software\\Daemon\\Before", "Software\\Daemon\\Parent", "Software\\Daemon\\After"}) {
    EXPECT_TRUE(keyExists(HKEY_CURRENT_USER, path)) << path;
  }
  HKEY after = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Daemon\\After", 0, KEY_READ, &after), ERROR_SUCCESS);
  EXPECT_EQ(readsBack(after, "v", pattern(1, 5000)), ERROR_SUCCESS);
  RegCloseKey(after);
  tobrel::registryStoreReset(nullptr);
}

// Forks taken while another thread of the process keeps calling the
// registry and the log keeps being checkpointed: each child works with the
// handle it inherited, and nothing either side committed is lost. (A call
// may find the store busy for longer than its wait while the other side
// writes without pause; it committed nothing then and is made again.)
TEST(RegistryDurabilityTest, ForksWhileAnotherThreadWritesLoseNothing) {
  std::string db = tobrel::test::freshRegistryStore();
  HKEY top = createKey(HKEY_CURRENT_USER, "Software\\Forks");
  ASSERT_NE(top, nullptr);
  auto setUntilDone = [](HKEY key, int i) {
    LONG err;
    do {
      err = setBinary(key, "v" + std::to_string(i), pattern(static_cast<std::uint32_t>(i), 900));
    } while (err == ERROR_BUSY);
    return err;
  };
  std::atomic<bool> stop(false);
  std::atomic<int> written(0);
  std::atomic<LONG> threadError(ERROR_SUCCESS);
  std::thread writer([&] {
    HKEY mine = createKey(top, "Thread");
    for (int i = 0; !stop && mine; ++i) {
      LONG err = setUntilDone(mine, i);
      if (err != ERROR_SUCCESS) {
        threadError = err;
        break;
      }
      written = i + 1;
    }
    RegCloseKey(mine);
  });
  const int kChildren = 4, kValues = 100;
  for (int round = 0; round < kChildren; ++round) {
    while (written < (round + 1) * 300 && threadError == ERROR_SUCCESS) std::this_thread::yield();
    pid_t child = spawn([&] {
      LONG err;
      HKEY own = nullptr;
      do {
        own = createKey(top, "Child" + std::to_string(round), &err);
      } while (err == ERROR_BUSY);
      if (!own) return childResult("create", err);
      for (int i = 0; i < kValues; ++i) {
        err = setUntilDone(own, i);
        if (err != ERROR_SUCCESS) return childResult("set", err);
      }
      return 0;
    });
    ASSERT_GE(child, 0);
    EXPECT_EQ(waitExit(child), 0) << "child " << round;
  }
  stop = true;
  writer.join();
  ASSERT_EQ(threadError.load(), ERROR_SUCCESS);

  tobrel::registryStoreReset(db.c_str());
  HKEY mine = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Forks\\Thread", 0, KEY_READ, &mine), ERROR_SUCCESS);
  for (int i = 0; i < written; ++i) {
    ASSERT_EQ(readsBack(mine, "v" + std::to_string(i), pattern(static_cast<std::uint32_t>(i), 900)), ERROR_SUCCESS)
        << i;
  }
  RegCloseKey(mine);
  for (int round = 0; round < kChildren; ++round) {
    HKEY own = nullptr;
    std::string path = "Software\\Forks\\Child" + std::to_string(round);
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &own), ERROR_SUCCESS) << path;
    EXPECT_EQ(readsBack(own, "v" + std::to_string(kValues - 1), pattern(kValues - 1, 900)), ERROR_SUCCESS);
    RegCloseKey(own);
  }
  tobrel::registryStoreReset(nullptr);
  EXPECT_EQ(integrityCheck(db), "ok");
}

// A fork while the forking thread has a batch open: the parent's batch goes
// on and commits; the child cannot use the store (its batch belongs to the
// parent's connection) and says so, and ending its copy of the batch
// changes nothing.
TEST(RegistryDurabilityTest, AForkInsideABatchLeavesTheBatchToTheParent) {
  std::string db = tobrel::test::freshRegistryStore();
  HKEY top = createKey(HKEY_CURRENT_USER, "Software\\BatchFork");
  ASSERT_NE(top, nullptr);
  pid_t child = -1;
  {
    tobrel::RegistryBatch batch;
    ASSERT_EQ(batch.status(), ERROR_SUCCESS);
    HKEY inBatch = createKey(top, "InBatch");
    ASSERT_NE(inBatch, nullptr);
    child = spawn([&] {
      DWORD size = 0;
      LONG read = RegQueryValueExA(top, "x", nullptr, nullptr, nullptr, &size);
      HKEY other = createKey(top, "FromChild");
      LONG commit = batch.commit();
      return read == ERROR_REGISTRY_IO_FAILED && !other && commit != ERROR_SUCCESS ? 0 : 1;
    });
    ASSERT_GE(child, 0);
    EXPECT_EQ(waitExit(child), 0);
    EXPECT_EQ(setBinary(inBatch, "v", "after the fork"), ERROR_SUCCESS);
    RegCloseKey(inBatch);
    EXPECT_EQ(batch.commit(), ERROR_SUCCESS);
  }
  EXPECT_TRUE(keyExists(top, "InBatch"));
  EXPECT_FALSE(keyExists(top, "FromChild"));
  RegCloseKey(top);
  tobrel::registryStoreReset(nullptr);
  EXPECT_EQ(integrityCheck(db), "ok");
}

}  // namespace
