// Checks on a registry store's database file from outside the library, for
// the tests that look at its rows or kill and race processes over it.
#ifndef TOBRELTOOLS_TESTS_SQLITE_UTIL_H_
#define TOBRELTOOLS_TESTS_SQLITE_UTIL_H_

#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "tests/test_util.h"

namespace tobrel {
namespace test {

// tempPath(name), with no database file, log or shared memory file left there.
inline std::string freshFile(const std::string& name) {
  std::string path = tempPath(name);
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
  return path;
}

// A new database file at tempPath(name) made by `sql` (a store of an older
// layout, say); "" when the SQL fails.
inline std::string databaseFrom(const std::string& name, const char* sql) {
  std::string path = freshFile(name);
  sqlite3* h = nullptr;
  bool ok = sqlite3_open(path.c_str(), &h) == SQLITE_OK && sqlite3_exec(h, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(h);
  return ok ? path : std::string();
}

// The first column of the first row of a query on the file, as text; ""
// when there is no row (or the file cannot be read). Read-only unless
// `write`, which lets SQLite recover a log left by a killed process.
inline std::string queryOne(const std::string& db, const char* sql, bool write = false) {
  sqlite3* h = nullptr;
  std::string out;
  if (sqlite3_open_v2(db.c_str(), &h, write ? SQLITE_OPEN_READWRITE : SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_busy_timeout(h, 5000);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(h, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
      const unsigned char* t = sqlite3_column_text(s, 0);
      out = t ? reinterpret_cast<const char*>(t) : "";
    }
    sqlite3_finalize(s);
  }
  sqlite3_close(h);
  return out;
}

// The first line of PRAGMA integrity_check: "ok" when sound.
inline std::string integrityCheck(const std::string& db) { return queryOne(db, "PRAGMA integrity_check", true); }

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_SQLITE_UTIL_H_
