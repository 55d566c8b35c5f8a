// A store file of the second layout (names kept as callers gave them, folded
// by upper-casing ASCII only) is brought up to date when first opened: names
// and string data as Windows' ANSI calls leave them, Windows' order, and
// siblings that became one name all kept.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

namespace {

using tobrel::test::tempPath;

// The second layout as its library wrote it (the tables are unchanged
// since; what changed is what their names and folded names hold).
const char kLayout2[] =
    "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB NOT NULL,"
    " uname BLOB NOT NULL, class BLOB, mtime INTEGER NOT NULL, readonly INTEGER NOT NULL DEFAULT 0);"
    "CREATE UNIQUE INDEX keys_child ON keys(parent, uname);"
    "CREATE TABLE vals(key INTEGER NOT NULL, uname BLOB NOT NULL, seq INTEGER NOT NULL, name BLOB NOT NULL,"
    " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, uname)) WITHOUT ROWID;"
    "INSERT INTO keys(id, parent, name, uname, mtime) VALUES(1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT', 1),"
    " (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', 1), (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', 1),"
    " (4, NULL, 'HKEY_USERS', 'HKEY_USERS', 1);"
    // HKCU\Old and its subkeys, in the old byte order of their folded names:
    // Ａ and ａ, NEC ≒ (87 90) and ≒ (81 E0) were two keys each.
    "INSERT INTO keys(id, parent, name, uname, mtime) VALUES(5, 2, 'Old', 'OLD', 133600000000000000),"
    " (6, 5, 'Zeta', 'ZETA', 1), (7, 5, '_x', '_X', 1), (8, 5, 'alpha', 'ALPHA', 1),"
    " (9, 5, X'88EA', X'88EA', 1), (10, 5, X'889F', X'889F', 1), (11, 5, X'8260', X'8260', 1),"
    " (12, 5, X'8281', X'8281', 1), (13, 5, X'8790', X'8790', 1), (14, 5, X'81E0', X'81E0', 1),"
    " (15, 12, 'deep', 'DEEP', 1);"
    // Values of Old: Greek Α and α were two values; text with a lone lead
    // byte; the same bytes as binary data; the key's state row.
    "INSERT INTO vals(key, uname, seq, name, type, data) VALUES"
    " (5, X'00', 4, X'', 133600000000000000, X''),"
    " (5, X'839F', 2, X'839F', 1, X'822000'),"
    " (5, X'83BF', 3, X'83BF', 3, X'8220'),"
    " (5, X'', 1, X'', 7, X'87900000'),"
    " (15, X'00', 1, X'', 1, X''), (15, X'56', 1, X'76', 4, X'2A000000');"
    "PRAGMA user_version=2;";

std::vector<std::string> subkeys(HKEY key) {
  std::vector<std::string> out;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.emplace_back(name, size);
  }
  return out;
}

// name=data pairs in enumeration order.
std::vector<std::string> values(HKEY key) {
  std::vector<std::string> out;
  char name[256], data[256];
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name, dataSize = sizeof data;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    out.push_back(std::string(name, nameSize) + "=" + std::string(data, dataSize));
  }
  return out;
}

std::string userVersion(const std::string& db) {
  sqlite3* h = nullptr;
  std::string out;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(h, "PRAGMA user_version", -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      out = std::to_string(sqlite3_column_int(s, 0));
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(h);
  return out;
}

TEST(RegistryUpgradeTest, ASecondLayoutFileKeepsEveryKeyAndValueUnderTheNewRules) {
  std::string db = tempPath("layout2.db");
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((db + suffix).c_str());
  sqlite3* h = nullptr;
  ASSERT_EQ(sqlite3_open(db.c_str(), &h), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(h, kLayout2, nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(h);

  tobrel::registryStoreReset(db.c_str());
  HKEY old = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "old", 0, KEY_ALL_ACCESS, &old), ERROR_SUCCESS);
  // Windows' order; the later of two keys that became one name is kept
  // with " (2)" added.
  EXPECT_EQ(subkeys(old), (std::vector<std::string>{"alpha", "Zeta", "_x", "\x81\xE0", "\x81\xE0 (2)", "\x88\xEA",
                                                    "\x88\x9F", "\x82\x60", "\x82\x81 (2)"}));
  HKEY deep = nullptr;
  ASSERT_EQ(RegOpenKeyExA(old, "\x82\x81 (2)\\DEEP", 0, KEY_READ, &deep), ERROR_SUCCESS);
  EXPECT_EQ(values(deep), std::vector<std::string>{std::string("v=*\0\0\0", 6)});
  RegCloseKey(deep);
  // Values in their order; text converted, binary data as it was.
  EXPECT_EQ(values(old), (std::vector<std::string>{std::string("=\x81\xE0\0\0", 5), std::string("\x83\x9F=\x81\x45 \0", 7),
                                                   "\x83\xBF (2)=\x82 "}));
  char data[16];
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(old, "\x83\xBF", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(data, size), std::string("\x81\x45 \0", 4));   // α is Α now
  // New values go after the old ones; new keys take their place in order.
  ASSERT_EQ(RegSetValueExA(old, "new", 0, REG_BINARY, reinterpret_cast<const BYTE*>("!"), 1), ERROR_SUCCESS);
  EXPECT_EQ(values(old).back(), "new=!");
  HKEY beta = nullptr;
  ASSERT_EQ(RegCreateKeyExA(old, "beta", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &beta, nullptr), ERROR_SUCCESS);
  RegCloseKey(beta);
  EXPECT_EQ(subkeys(old)[1], "beta");
  RegCloseKey(old);
  tobrel::registryStoreReset(nullptr);
  EXPECT_EQ(userVersion(db), "3");
  EXPECT_EQ(tobrel::test::integrityCheck(db), "ok");
}

}  // namespace
