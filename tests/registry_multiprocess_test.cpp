// The registry store shared by several processes: concurrent writers and
// readers, and writers killed at arbitrary points, after which the database
// is intact and holds everything the writer saw committed.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

namespace {

using tobrel::test::integrityCheck;

HKEY createKey(HKEY parent, const std::string& path) {
  HKEY key = nullptr;
  return RegCreateKeyExA(parent, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
                 ERROR_SUCCESS
             ? key
             : nullptr;
}

// The data a writer stores as value number i: its number, then a pattern.
std::string payload(std::uint32_t i) {
  std::string data(reinterpret_cast<const char*>(&i), 4);
  for (std::uint32_t k = 0; k < 60; ++k) data += static_cast<char>((i * 31 + k) & 0xFF);
  return data;
}

bool hasValue(HKEY key, const std::string& name, const std::string& expected) {
  char buf[256];
  DWORD size = sizeof buf;
  return RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS &&
         std::string(buf, size) == expected;
}

// The body of a child process: writes `count` keys with a value each below
// Software\P<id>, and reads what the other process wrote meanwhile. Returns
// the exit status: 0 when every call succeeded.
int concurrentChild(int id, int count) {
  HKEY mine = createKey(HKEY_CURRENT_USER, "Software\\P" + std::to_string(id));
  if (!mine) return 1;
  int other = 1 - id;
  for (int i = 0; i < count; ++i) {
    HKEY key = createKey(mine, "K" + std::to_string(i));
    if (!key) return 2;
    std::string data = payload(static_cast<std::uint32_t>(i));
    if (RegSetValueExA(key, "v", 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                       static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
      return 3;
    }
    if (!hasValue(key, "v", data)) return 4;
    RegCloseKey(key);
    // Whatever the other process has committed so far reads back whole.
    HKEY theirs = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, ("Software\\P" + std::to_string(other)).c_str(), 0, KEY_READ, &theirs) ==
        ERROR_SUCCESS) {
      char name[64];
      for (DWORD k = 0;; ++k) {
        DWORD size = sizeof name;
        LONG err = RegEnumKeyExA(theirs, k, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (err == ERROR_NO_MORE_ITEMS) break;
        if (err != ERROR_SUCCESS) return 5;
      }
      RegCloseKey(theirs);
    }
  }
  RegCloseKey(mine);
  return 0;
}

TEST(RegistryMultiProcessTest, TwoProcessesWriteAndReadTheSameStoreAtOnce) {
  std::string db = tobrel::test::freshRegistryStore();
  HKEY software = createKey(HKEY_CURRENT_USER, "Software");   // the parent uses the store too
  ASSERT_NE(software, nullptr);
  const int kCount = 150;
  pid_t children[2];
  for (int id = 0; id < 2; ++id) {
    children[id] = fork();
    ASSERT_GE(children[id], 0);
    if (children[id] == 0) _exit(concurrentChild(id, kCount));
  }
  for (int id = 0; id < 2; ++id) {
    int status = 0;
    ASSERT_EQ(waitpid(children[id], &status, 0), children[id]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "child " << id;
  }
  for (int id = 0; id < 2; ++id) {
    HKEY mine = nullptr;
    ASSERT_EQ(RegOpenKeyExA(software, ("P" + std::to_string(id)).c_str(), 0, KEY_READ, &mine), ERROR_SUCCESS);
    for (int i = 0; i < kCount; ++i) {
      HKEY key = nullptr;
      ASSERT_EQ(RegOpenKeyExA(mine, ("K" + std::to_string(i)).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
      EXPECT_TRUE(hasValue(key, "v", payload(static_cast<std::uint32_t>(i))));
      RegCloseKey(key);
    }
    RegCloseKey(mine);
  }
  RegCloseKey(software);
  EXPECT_EQ(integrityCheck(db), "ok");
}

// A writer that reports every value through `fd` once RegSetValueExA has
// returned (that is, committed), and churns keys and values around it.
[[noreturn]] void crashingWriter(int fd) {
  HKEY top = createKey(HKEY_LOCAL_MACHINE, "Software\\Crash");
  if (!top) _exit(1);
  for (std::uint32_t i = 0;; ++i) {
    HKEY key = createKey(top, "K" + std::to_string(i / 16));
    if (!key) _exit(2);
    std::string data = payload(i);
    if (RegSetValueExA(key, ("v" + std::to_string(i)).c_str(), 0, REG_BINARY,
                       reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size())) != ERROR_SUCCESS) {
      _exit(3);
    }
    if (write(fd, &i, sizeof i) != static_cast<ssize_t>(sizeof i)) _exit(4);
    // Churn that is never reported: a scratch key made and removed again.
    HKEY scratch = createKey(key, "scratch");
    if (scratch) {
      RegSetValueExA(scratch, "tmp", 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size()));
      RegCloseKey(scratch);
      RegDeleteKeyA(key, "scratch");
    }
    RegCloseKey(key);
  }
}

TEST(RegistryMultiProcessTest, AWriterKilledAtRandomPointsLosesNothingItSawCommitted) {
  const int kRuns = 8;
  std::mt19937 random(20261205);
  for (int run = 0; run < kRuns; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    std::string db = tobrel::test::freshRegistryStore();
    // Later runs start from a store that already holds earlier content.
    if (run % 2 == 1) {
      HKEY keep = createKey(HKEY_LOCAL_MACHINE, "Software\\Before");
      ASSERT_NE(keep, nullptr);
      RegCloseKey(keep);
    }
    int pipes[2];
    ASSERT_EQ(pipe(pipes), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(pipes[0]);
      crashingWriter(pipes[1]);
    }
    close(pipes[1]);
    // The kill point is counted from the writer's first commit, so that a
    // slow machine (or a sanitizer build) still kills it mid-stream.
    std::set<std::uint32_t> committed;
    std::uint32_t i;
    if (read(pipes[0], &i, sizeof i) == static_cast<ssize_t>(sizeof i)) committed.insert(i);
    usleep(static_cast<useconds_t>(random() % 200000));
    kill(child, SIGKILL);
    while (read(pipes[0], &i, sizeof i) == static_cast<ssize_t>(sizeof i)) committed.insert(i);
    close(pipes[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself with " << WEXITSTATUS(status);
    EXPECT_FALSE(committed.empty());

    EXPECT_EQ(integrityCheck(db), "ok");
    tobrel::registryStoreReset(db.c_str());   // a new connection, as the next process would open
    HKEY top = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Crash", 0, KEY_READ, &top), ERROR_SUCCESS);
    std::size_t found = 0;
    for (std::uint32_t v : committed) {
      HKEY key = nullptr;
      if (RegOpenKeyExA(top, ("K" + std::to_string(v / 16)).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      found += hasValue(key, "v" + std::to_string(v), payload(v)) ? 1 : 0;
      RegCloseKey(key);
    }
    RegCloseKey(top);
    EXPECT_EQ(found, committed.size());
    if (run % 2 == 1) {
      HKEY keep = nullptr;
      EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Before", 0, KEY_READ, &keep), ERROR_SUCCESS);
      RegCloseKey(keep);
    }
  }
}

}  // namespace
