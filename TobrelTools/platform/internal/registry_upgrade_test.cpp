// Store files of older layouts are brought up to date when first opened. The
// second layout (names kept as callers gave them, folded by upper-casing
// ASCII only): names and string data as Windows' ANSI calls leave them,
// Windows' order, and siblings that became one name all kept. The third
// (key ids from AUTOINCREMENT): every row as it was, and no id handed out
// again.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

namespace {

using tobrel::test::queryOne;
using tobrel::test::registryNames;

// The tables of the second and third layouts, with the four roots.
#define LAYOUT_2_AND_3_TABLES \
  "CREATE TABLE keys(id INTEGER PRIMARY KEY AUTOINCREMENT, parent INTEGER, name BLOB NOT NULL," \
  " uname BLOB NOT NULL, class BLOB, mtime INTEGER NOT NULL, readonly INTEGER NOT NULL DEFAULT 0);" \
  "CREATE UNIQUE INDEX keys_child ON keys(parent, uname);" \
  "CREATE TABLE vals(key INTEGER NOT NULL, uname BLOB NOT NULL, seq INTEGER NOT NULL, name BLOB NOT NULL," \
  " type INTEGER NOT NULL, data BLOB NOT NULL, PRIMARY KEY(key, uname)) WITHOUT ROWID;" \
  "INSERT INTO keys(id, parent, name, uname, mtime) VALUES(1, NULL, 'HKEY_CLASSES_ROOT', 'HKEY_CLASSES_ROOT', 1)," \
  " (2, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER', 1), (3, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE', 1)," \
  " (4, NULL, 'HKEY_USERS', 'HKEY_USERS', 1);"

// The second layout as its library wrote it (what changed in the third is
// what the names and folded names hold).
const char kLayout2[] =
    LAYOUT_2_AND_3_TABLES
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

// The third layout: as the fourth, but key ids came from AUTOINCREMENT. Its
// counter (30) is above every id left: the key that had 30 is gone.
const char kLayout3[] =
    LAYOUT_2_AND_3_TABLES
    // Names as code page 932 bytes, folded names as the upper-cased UTF-16
    // units (big-endian), as the third layout keeps them.
    "INSERT INTO keys(id, parent, name, uname, class, mtime, readonly) VALUES"
    " (5, 2, CAST('Kept' AS BLOB), X'004B004500500054', NULL, 133600000000000000, 0),"
    " (7, 5, CAST('Classy' AS BLOB), X'0043004C0041005300530059', CAST('Cls' AS BLOB), 133600000000000001, 0),"
    " (9, 5, CAST('Locked' AS BLOB), X'004C004F0043004B00450044', NULL, 133600000000000002, 1),"
    " (30, 5, CAST('Gone' AS BLOB), X'0047004F004E0045', NULL, 1, 0);"
    "DELETE FROM keys WHERE id = 30;"
    "INSERT INTO vals(key, uname, seq, name, type, data) VALUES"
    " (5, X'00', 2, X'', 133600000000000005, X''),"
    " (5, X'0042', 1, CAST('b' AS BLOB), 1, X'7800'),"
    " (5, X'0041', 2, CAST('a' AS BLOB), 4, X'2A000000'),"
    " (9, X'00', 1, X'', 1, X''), (9, X'0056', 1, CAST('v' AS BLOB), 3, X'0102');"
    "PRAGMA user_version=3;";

// Every key and value row, in a text that compares equal when they are.
const char kAllRows[] =
    "SELECT (SELECT group_concat(r, ';') FROM (SELECT id || ',' || quote(parent) || ',' || hex(name) || ','"
    "  || hex(uname) || ',' || quote(class) || ',' || mtime || ',' || readonly AS r FROM keys ORDER BY id))"
    " || '|' || (SELECT group_concat(r, ';') FROM (SELECT key || ',' || hex(uname) || ',' || seq || ','"
    "  || hex(name) || ',' || type || ',' || hex(data) AS r FROM vals ORDER BY key, uname))";

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

TEST(RegistryUpgradeTest, ASecondLayoutFileKeepsEveryKeyAndValueUnderTheNewRules) {
  const std::string db = tobrel::test::databaseFrom("layout2.db", kLayout2);
  ASSERT_FALSE(db.empty());

  tobrel::registryStoreReset(db.c_str());
  HKEY old = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "old", 0, KEY_ALL_ACCESS, &old), ERROR_SUCCESS);
  // Windows' order; the later of two keys that became one name is kept
  // with " (2)" added.
  EXPECT_EQ(registryNames(old, false), (std::vector<std::string>{"alpha", "Zeta", "_x", "\x81\xE0", "\x81\xE0 (2)",
                                                                 "\x88\xEA", "\x88\x9F", "\x82\x60", "\x82\x81 (2)"}));
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
  EXPECT_EQ(registryNames(old, false)[1], "beta");
  RegCloseKey(old);
  tobrel::registryStoreReset(nullptr);
  EXPECT_EQ(queryOne(db, "PRAGMA user_version"), "4");
  EXPECT_EQ(tobrel::test::integrityCheck(db), "ok");
}

TEST(RegistryUpgradeTest, AThirdLayoutFileKeepsItsRowsAndNeverHandsOutAnOldIdAgain) {
  const std::string db = tobrel::test::databaseFrom("layout3.db", kLayout3);
  ASSERT_FALSE(db.empty());
  ASSERT_EQ(queryOne(db, "SELECT seq FROM sqlite_sequence WHERE name = 'keys'"), "30");
  const std::string before = queryOne(db, kAllRows);
  ASSERT_FALSE(before.empty());

  tobrel::registryStoreReset(db.c_str());
  HKEY kept = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Kept", 0, KEY_ALL_ACCESS, &kept), ERROR_SUCCESS);
  EXPECT_EQ(queryOne(db, "PRAGMA user_version"), "4");
  EXPECT_EQ(queryOne(db, kAllRows), before);
  EXPECT_EQ(queryOne(db, "SELECT instr(sql, 'AUTOINCREMENT') FROM sqlite_master WHERE name = 'keys'"), "0");
  EXPECT_EQ(queryOne(db, "SELECT top FROM keymark"), "30");
  // Through the registry calls: names, class, last write time, read-only
  // flag and values as they were.
  EXPECT_EQ(registryNames(kept, false), (std::vector<std::string>{"Classy", "Locked"}));
  char name[32], keyClass[32];
  DWORD nameSize = sizeof name, classSize = sizeof keyClass;
  FILETIME written = {};
  ASSERT_EQ(RegEnumKeyExA(kept, 0, name, &nameSize, nullptr, keyClass, &classSize, &written), ERROR_SUCCESS);
  EXPECT_EQ(std::string(keyClass, classSize), "Cls");
  EXPECT_EQ((static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime,
            133600000000000001ULL);
  bool readOnly = false;
  ASSERT_EQ(tobrel::registryIsReadOnly(kept, "Locked", &readOnly), ERROR_SUCCESS);
  EXPECT_TRUE(readOnly);
  EXPECT_EQ(values(kept), (std::vector<std::string>{std::string("b=x\0", 4), std::string("a=*\0\0\0", 6)}));
  // A new key takes an id above the counter, not the gone key's 30.
  HKEY fresh = nullptr;
  ASSERT_EQ(RegCreateKeyExA(kept, "Fresh", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &fresh, nullptr), ERROR_SUCCESS);
  RegCloseKey(fresh);
  RegCloseKey(kept);
  tobrel::registryStoreReset(nullptr);
  EXPECT_EQ(queryOne(db, "SELECT id FROM keys WHERE name = CAST('Fresh' AS BLOB)"), "31");
  EXPECT_EQ(tobrel::test::integrityCheck(db), "ok");
}

}  // namespace
