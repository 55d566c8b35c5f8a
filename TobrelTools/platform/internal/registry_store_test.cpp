// What only the Linux store has: its database file, its permissions, its
// persistence, read-only keys, handle values, batches and thread safety.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

namespace {

using tobrel::test::RegistryFixture;
using tobrel::test::queryOne;
using tobrel::test::tempPath;

const BYTE* bytes(const char* s) { return reinterpret_cast<const BYTE*>(s); }

mode_t modeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

// Sets (or, with null, unsets) an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value)
      : name_(name), old_(std::getenv(name) ? new std::string(std::getenv(name)) : nullptr) {
    if (value) ::setenv(name, value, 1); else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1); else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::unique_ptr<std::string> old_;
};

// The file TOBREL_REGISTRY names, else the one below XDG_DATA_HOME, is made
// with the four roots, private to its user, in WAL mode.
TEST(RegistryStoreFileTest, TheEnvironmentNamesTheFileWhichIsCreatedPrivate) {
  const std::string dir = tempPath("envdir");
  std::system(("rm -rf '" + dir + "'").c_str());
  const std::string named = dir + "/nested/reg.db", xdg = dir + "/xdg", defaulted = xdg + "/TobrelTools/registry.db";
  for (bool byName : {true, false}) {
    ScopedEnv env("TOBREL_REGISTRY", byName ? named.c_str() : nullptr);
    ScopedEnv data("XDG_DATA_HOME", xdg.c_str());
    const std::string& db = byName ? named : defaulted;
    tobrel::registryStoreReset(nullptr);
    EXPECT_EQ(tobrel::registryStorePath(), db);
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
      HKEY key = nullptr;
      ASSERT_EQ(RegOpenKeyExA(root, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
      RegCloseKey(key);
    }
    EXPECT_EQ(modeOf(db), 0600u);
    EXPECT_EQ(modeOf(db.substr(0, db.rfind('/'))), 0700u);
    EXPECT_EQ(queryOne(db, "PRAGMA journal_mode"), "wal");
    tobrel::registryStoreReset(nullptr);
  }
}

TEST(RegistryStoreFileTest, ContentOutlivesTheConnectionAndPassesIntegrityCheck) {
  std::string db = tobrel::test::freshRegistryStore();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kept", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, bytes("kept"), 5), ERROR_SUCCESS);
  tobrel::registryStoreReset(db.c_str());
  // Every handle was closed by the reset.
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\kept", 0, KEY_READ, &key), ERROR_SUCCESS);
  char buf[8];
  size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(key, "V", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_STREQ(buf, "kept");
  RegCloseKey(key);
  EXPECT_EQ(queryOne(db, "PRAGMA integrity_check"), "ok");
}

TEST(RegistryStoreFileTest, AFileThatIsNoDatabaseIsReportedNotTouched) {
  std::string db = tempPath("garbage.db");
  const std::vector<unsigned char> junk(8192, 'J');
  tobrel::test::writeBytes(db, junk);
  tobrel::registryStoreReset(db.c_str());
  HKEY key = nullptr;
  LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key);
  EXPECT_TRUE(err == ERROR_REGISTRY_CORRUPT || err == ERROR_BADDB) << err;
  EXPECT_EQ(tobrel::test::bytesOf(db), junk);
  tobrel::registryStoreReset(nullptr);
}

TEST(RegistryStoreFileTest, AFileOfTheFirstLayoutIsUpgradedInPlace) {
  const char* layout1 =
      "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB NOT NULL,"
      " uname BLOB NOT NULL, class BLOB, mtime INTEGER NOT NULL, readonly INTEGER NOT NULL DEFAULT 0);"
      "CREATE UNIQUE INDEX keys_child ON keys(parent, uname);"
      "CREATE TABLE vals(id INTEGER PRIMARY KEY, key INTEGER NOT NULL, name BLOB NOT NULL, uname BLOB NOT NULL,"
      " type INTEGER NOT NULL, data BLOB NOT NULL);"
      "CREATE UNIQUE INDEX vals_name ON vals(key, uname);"
      "CREATE INDEX vals_order ON vals(key, id);"
      "INSERT INTO keys(id, parent, name, uname, mtime) VALUES(1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT', 1),"
      " (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', 1), (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', 1),"
      " (4, NULL, 'HKEY_USERS', 'HKEY_USERS', 1),"
      " (5, 2, X'4F6C64', X'4F4C44', 133600000000000000);"
      "INSERT INTO vals(id, key, name, uname, type, data) VALUES(7, 5, X'7A', X'5A', 1, X'3100'),"
      " (9, 5, X'61', X'41', 1, X'3200');"
      "PRAGMA user_version=1;";
  const std::string db = tobrel::test::databaseFrom("layout1.db", layout1);
  ASSERT_FALSE(db.empty());

  tobrel::registryStoreReset(db.c_str());
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "old", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "new", 0, REG_SZ, bytes("3"), 2), ERROR_SUCCESS);
  EXPECT_EQ(tobrel::test::registryNames(key, true), (std::vector<std::string>{"z", "a", "new"}));
  RegCloseKey(key);
  EXPECT_EQ(queryOne(db, "PRAGMA user_version"), "4");
  EXPECT_EQ(queryOne(db, "PRAGMA integrity_check"), "ok");
  tobrel::registryStoreReset(nullptr);
}

// A key id is never handed out again, not even that of the newest key once
// it is deleted, and not after the store is opened again.
TEST(RegistryStoreFileTest, KeyIdsAreNeverHandedOutAgain) {
  std::string db = tobrel::test::freshRegistryStore();
  // Creates Ids\<name> and gives its id in the file.
  auto make = [&](const std::string& name) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ("Ids\\" + name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    return std::stoll(queryOne(db, ("SELECT id FROM keys WHERE name = CAST('" + name + "' AS BLOB)").c_str()));
  };
  const long long first = make("First");
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Ids\\First"), ERROR_SUCCESS);
  tobrel::registryStoreReset(db.c_str());
  const long long second = make("Second");
  EXPECT_GT(second, first);
  // Deleting an older key leaves the next id as it was.
  make("Third");
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Ids\\Second"), ERROR_SUCCESS);
  EXPECT_EQ(queryOne(db, "SELECT top FROM keymark"), std::to_string(first));
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Ids\\Third"), ERROR_SUCCESS);
  EXPECT_GT(make("Fourth"), second + 1);
  EXPECT_EQ(queryOne(db, "PRAGMA integrity_check"), "ok");
  tobrel::registryStoreReset(nullptr);
}

// Opening a key that exists never takes the store's write lock (it succeeds
// while another connection holds it); creating one while another connection
// writes waits for it rather than failing.
TEST(RegistryStoreFileTest, CreatingWaitsForAnotherWriterWhileOpeningDoesNot) {
  std::string db = tobrel::test::freshRegistryStore();
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Present", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &other), SQLITE_OK);
  sqlite3_busy_timeout(other, 10000);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; UPDATE keys SET mtime = mtime WHERE id = 2;", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);

  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "present", 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);

  std::thread release([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, "Present\\New\\Deeper", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &key, &disposition);
  release.join();
  sqlite3_close(other);
  ASSERT_EQ(err, ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Present\\New\\Deeper", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  tobrel::registryStoreReset(nullptr);
}

class RegistryStoreTest : public RegistryFixture {};

// Windows rules that Wine's registry does not follow, so they are checked
// here only: values enumerate in the order they were first set, a key keeps
// the class it was created with, keys made on the way get none, reopening
// through an empty name is an existing key, and REG_SZ data keeps exactly
// its bytes.
TEST_F(RegistryStoreTest, WindowsRulesThatWineDoesNotFollow) {
  for (const char* n : {"zeta", "alpha", "Mid", "ZETA"}) {
    ASSERT_EQ(RegSetValueExA(base_, n, 0, REG_SZ, bytes("v"), 2), ERROR_SUCCESS);
  }
  EXPECT_EQ(valueNames(base_), (std::vector<std::string>{"zeta", "alpha", "Mid"}));
  ASSERT_EQ(RegDeleteValueA(base_, "alpha"), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(base_, "alpha", 0, REG_SZ, bytes("v"), 2), ERROR_SUCCESS);   // set anew: last
  EXPECT_EQ(valueNames(base_), (std::vector<std::string>{"zeta", "Mid", "alpha"}));

  HKEY key = nullptr;
  char cls1[] = "first", cls2[] = "second";
  ASSERT_EQ(RegCreateKeyExA(base_, "Outer\\Classy", 0, cls1, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(base_, "Outer\\Classy", 0, cls2, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  char name[64], cls[64];
  DWORD nameSize = sizeof name, clsSize = sizeof cls;
  ASSERT_EQ(RegEnumKeyExA(base_, 0, name, &nameSize, nullptr, cls, &clsSize, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(clsSize, 0u);   // Outer, made on the way
  ASSERT_EQ(RegOpenKeyExA(base_, "Outer", 0, KEY_READ, &key), ERROR_SUCCESS);
  nameSize = sizeof name;
  clsSize = sizeof cls;
  ASSERT_EQ(RegEnumKeyExA(key, 0, name, &nameSize, nullptr, cls, &clsSize, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(cls, clsSize), "first");
  RegCloseKey(key);

  ASSERT_EQ(RegCreateKeyExA(base_, "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition), ERROR_SUCCESS);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);

  // A text counted without its NUL is stored as given, even with a NUL
  // after it in memory (which Windows and Wine would count too).
  ASSERT_EQ(RegSetValueExA(base_, "NoNul", 0, REG_SZ, bytes("xyz"), 3), ERROR_SUCCESS);
  char buf[8];
  DWORD size = sizeof buf;
  ASSERT_EQ(RegQueryValueExA(base_, "NoNul", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(buf, size), "xyz");
}

TEST_F(RegistryStoreTest, ReadOnlyKeysOpenForReadingOnly) {
  HKEY child = nullptr;
  ASSERT_EQ(RegCreateKeyExA(base_, "Locked\\Inner", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(child, "v", 0, REG_SZ, bytes("x"), 2), ERROR_SUCCESS);
  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "Locked", true), ERROR_SUCCESS);
  bool readOnly = false;
  ASSERT_EQ(tobrel::registryIsReadOnly(base_, "Locked\\Inner", &readOnly), ERROR_SUCCESS);
  EXPECT_TRUE(readOnly);

  // A handle opened before keeps its rights, as with Windows access lists.
  EXPECT_EQ(RegSetValueExA(child, "w", 0, REG_SZ, bytes("y"), 2), ERROR_SUCCESS);
  RegCloseKey(child);

  HKEY key = nullptr;
  for (const char* path : {"Locked", "Locked\\Inner"}) {
    EXPECT_EQ(RegOpenKeyExA(base_, path, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED) << path;
    EXPECT_EQ(RegCreateKeyExA(base_, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExA(base_, path, 0, KEY_READ, &key), ERROR_SUCCESS) << path;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, path[6] ? "v" : "absent", nullptr, nullptr, nullptr, &size),
              path[6] ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegSetValueExA(key, "z", 0, REG_SZ, bytes("z"), 2), ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
  }
  EXPECT_EQ(RegDeleteKeyA(base_, "Locked\\Inner"), ERROR_ACCESS_DENIED);
  // MAXIMUM_ALLOWED gets what is allowed.
  ASSERT_EQ(RegOpenKeyExA(base_, "Locked", 0, MAXIMUM_ALLOWED, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "z", 0, REG_SZ, bytes("z"), 2), ERROR_ACCESS_DENIED);
  RegCloseKey(key);

  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "Locked", false), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(base_, "Locked\\Inner", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyA(base_, "Locked\\Inner"), ERROR_SUCCESS);
  EXPECT_EQ(tobrel::registrySetReadOnly(base_, "Nowhere", true), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStoreTest, AReadOnlyRootRefusesWritesThroughItsPredefinedHandle) {
  ASSERT_EQ(tobrel::registrySetReadOnly(HKEY_USERS, nullptr, true), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(HKEY_USERS, "v", 0, REG_SZ, bytes("x"), 2), ERROR_ACCESS_DENIED);
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_USERS, "New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  ASSERT_EQ(tobrel::registrySetReadOnly(HKEY_USERS, nullptr, false), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(HKEY_USERS, "v", 0, REG_SZ, bytes("x"), 2), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(HKEY_USERS, "v"), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, RootsCannotBeDeleted) {
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryStoreTest, HandleValuesAreSmallAndRootsMayComeBackZeroExtended) {
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, nullptr, 0, KEY_READ, &key), ERROR_SUCCESS);
  std::uintptr_t v = reinterpret_cast<std::uintptr_t>(key);
  EXPECT_LT(v, 0x100000u);
  EXPECT_EQ(v % 4, 0u);
  RegCloseKey(key);
  // A closed handle number is not handed out again at once.
  HKEY next = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, nullptr, 0, KEY_READ, &next), ERROR_SUCCESS);
  EXPECT_NE(next, key);
  RegCloseKey(next);
  // HKEY_CURRENT_USER written as 32 bits and read back without sign extension.
  HKEY zeroExtended = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u));
  ASSERT_EQ(RegOpenKeyExA(zeroExtended, path_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  HKEY wild = reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x1234500000000008ULL));
  EXPECT_EQ(RegOpenKeyExA(wild, nullptr, 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryStoreTest, OverlongNamesAreRefused) {
  HKEY key = nullptr;
  std::string longName(256, 'k');
  EXPECT_EQ(RegCreateKeyExA(base_, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  longName.pop_back();
  ASSERT_EQ(RegCreateKeyExA(base_, longName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(key);
  std::string longValue(16384, 'v');
  EXPECT_EQ(RegSetValueExA(base_, longValue.c_str(), 0, REG_SZ, bytes("x"), 2), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryStoreTest, DoubleByteNamesKeepTheirTrailBytes) {
  // 0x95 0x5C is one character whose second byte is a backslash; 0x83 0x61
  // one whose second byte is a lower-case letter.
  const char dbcs[] = "\x95\x5C" "x";
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(base_, dbcs, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{dbcs});
  ASSERT_EQ(RegSetValueExA(base_, "\x83\x61", 0, REG_SZ, bytes("x"), 2), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(base_, "\x83\x41", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExA(base_, "\x83\x61", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
}

TEST_F(RegistryStoreTest, ABatchTakesEffectWholeOrNotAtAll) {
  {
    tobrel::RegistryBatch batch;
    ASSERT_EQ(batch.status(), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(base_, "Undone", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, bytes("x"), 2), ERROR_SUCCESS);
    // A failing call inside the batch undoes only itself.
    EXPECT_EQ(RegDeleteValueA(key, "absent"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
  }  // no commit
  EXPECT_TRUE(subkeys(base_).empty());
  {
    tobrel::RegistryBatch batch;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(base_, "Kept", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(batch.commit(), ERROR_SUCCESS);
  }
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"Kept"});
}

TEST_F(RegistryStoreTest, ThreadsShareTheStoreSafely) {
  const int kThreads = 4, kKeys = 25;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kKeys; ++i) {
        HKEY key = nullptr;
        std::string name = "T" + std::to_string(t) + "\\K" + std::to_string(i);
        if (RegCreateKeyExA(base_, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS) {
          continue;
        }
        DWORD v = static_cast<DWORD>(i);
        RegSetValueExA(key, "i", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
        subkeys(base_);
        RegCloseKey(key);
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(base_, ("T" + std::to_string(t)).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(subkeys(key).size(), static_cast<std::size_t>(kKeys));
    RegCloseKey(key);
  }
  EXPECT_EQ(queryOne(db_, "PRAGMA integrity_check"), "ok");
}

}  // namespace
