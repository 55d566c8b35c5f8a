// Bringing a store file of an older layout up to date.
//
// From the second layout to the third: names and
// string data as Windows' ANSI calls leave them, folded over all of Unicode
// (registry_names.h). Before, names were kept as the bytes callers gave and
// folded by upper-casing ASCII letters only, so that siblings such as "Ａ"
// and "ａ" were two keys, and subkeys were ordered by code page 932 bytes.
//
// Siblings that the new rules make one name (two keys, or two values of a
// key) are all kept: the later one (by creation) gets " (2)" added to its
// name, " (3)" when that is taken too, and so on, so that nothing stored is
// lost and the user can find and merge them.
//
// From the third layout to the fourth: key ids came from AUTOINCREMENT,
// whose counter (a row of sqlite_sequence) every create wrote. The keys table
// is copied into one without it, ids unchanged, and the counter becomes
// keymark.top, so that no id handed out before is handed out again.
#include <sqlite3.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/internal/registry_store.h"

TOBREL_MODULE_ID("registry_upgrade.cpp", "2026.12.06");

namespace tobrel {
namespace regstore {

namespace {

// A prepared statement that finalizes itself.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &s_, nullptr); }
  ~Statement() { sqlite3_finalize(s_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  int rc() const { return rc_; }
  sqlite3_stmt* get() { return s_; }
  void bind(int i, const std::string& v) {
    sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
  }
  void bind(int i, sqlite3_int64 v) { sqlite3_bind_int64(s_, i, v); }
  std::string blob(int i) {
    const void* p = sqlite3_column_blob(s_, i);
    int n = sqlite3_column_bytes(s_, i);
    return p && n > 0 ? std::string(static_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
  }
  // Runs a statement that returns no rows; SQLITE_DONE on success.
  int run() {
    int rc = sqlite3_step(s_);
    sqlite3_reset(s_);
    return rc;
  }

 private:
  sqlite3_stmt* s_ = nullptr;
  int rc_;
};

// The converted name, made unique among `taken` (fold keys of the names
// already placed beside it) by a numbered suffix.
std::pair<std::string, std::string> placeName(const std::string& raw, std::set<std::string>* taken) {
  std::string name = ansiText(raw.data(), raw.size());
  std::string fold = foldName(name.data(), name.size());
  for (int n = 2; taken->count(fold); ++n) {
    std::string numbered = name + " (" + std::to_string(n) + ")";
    fold = foldName(numbered.data(), numbered.size());
    if (!taken->count(fold)) name = numbered;
  }
  taken->insert(fold);
  return {name, fold};
}

}  // namespace

LONG RegistryStore::upgradeNames() {
  // Keys: the index is dropped while names change (an old fold may equal a
  // new one) and built again at the end.
  LONG err = exec("DROP INDEX keys_child;");
  if (err != ERROR_SUCCESS) return err;
  {
    Statement keys(db_, "SELECT id, parent, name FROM keys WHERE parent IS NOT NULL ORDER BY id");
    Statement update(db_, "UPDATE keys SET name = ?2, uname = ?3 WHERE id = ?1");
    if (keys.rc() != SQLITE_OK || update.rc() != SQLITE_OK) return fail(keys.rc() != SQLITE_OK ? keys.rc() : update.rc());
    std::map<sqlite3_int64, std::set<std::string>> siblings;
    int rc;
    while ((rc = sqlite3_step(keys.get())) == SQLITE_ROW) {
      std::pair<std::string, std::string> placed =
          placeName(keys.blob(2), &siblings[sqlite3_column_int64(keys.get(), 1)]);
      update.bind(1, sqlite3_column_int64(keys.get(), 0));
      update.bind(2, placed.first);
      update.bind(3, placed.second);
      if ((rc = update.run()) != SQLITE_DONE) return fail(rc);
    }
    if (rc != SQLITE_DONE) return fail(rc);
  }
  err = exec("CREATE UNIQUE INDEX keys_child ON keys(parent, uname);"
             "CREATE TABLE vals3("
             "  key INTEGER NOT NULL,"
             "  uname BLOB NOT NULL,"
             "  seq INTEGER NOT NULL,"
             "  name BLOB NOT NULL,"
             "  type INTEGER NOT NULL,"
             "  data BLOB NOT NULL,"
             "  PRIMARY KEY(key, uname)) WITHOUT ROWID;");
  if (err != ERROR_SUCCESS) return err;
  // Values, copied in the order they were first set; each key's state row
  // (folded name X'00') as it is.
  {
    Statement vals(db_, "SELECT key, uname, seq, name, type, data FROM vals ORDER BY key, seq");
    Statement insert(db_, "INSERT INTO vals3(key, uname, seq, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (vals.rc() != SQLITE_OK || insert.rc() != SQLITE_OK) return fail(vals.rc() != SQLITE_OK ? vals.rc() : insert.rc());
    sqlite3_int64 currentKey = 0;
    std::set<std::string> taken;
    int rc;
    while ((rc = sqlite3_step(vals.get())) == SQLITE_ROW) {
      sqlite3_int64 key = sqlite3_column_int64(vals.get(), 0);
      if (key != currentKey) {
        currentKey = key;
        taken.clear();
      }
      std::string fold = vals.blob(1), name = vals.blob(3), data = vals.blob(5);
      DWORD type = static_cast<DWORD>(static_cast<std::uint32_t>(sqlite3_column_int64(vals.get(), 4)));
      if (fold != std::string(1, '\0')) {
        std::pair<std::string, std::string> placed = placeName(name, &taken);
        name = placed.first;
        fold = placed.second;
        if (isStringType(type)) data = ansiText(data.data(), data.size());
      }
      insert.bind(1, key);
      insert.bind(2, fold);
      insert.bind(3, sqlite3_column_int64(vals.get(), 2));
      insert.bind(4, name);
      insert.bind(5, sqlite3_column_int64(vals.get(), 4));
      insert.bind(6, data);
      if ((rc = insert.run()) != SQLITE_DONE) return fail(rc);
    }
    if (rc != SQLITE_DONE) return fail(rc);
  }
  return exec("DROP TABLE vals; ALTER TABLE vals3 RENAME TO vals;");
}

LONG RegistryStore::upgradeIds() {
  // A file whose keys table never had a row added has no counter yet.
  sqlite3_int64 top = 0;
  {
    Statement counter(db_, "SELECT name FROM sqlite_master WHERE type = 'table' AND name = 'sqlite_sequence'");
    if (counter.rc() != SQLITE_OK) return fail(counter.rc());
    int rc = sqlite3_step(counter.get());
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) return fail(rc);
    if (rc == SQLITE_ROW) {
      Statement seq(db_, "SELECT seq FROM sqlite_sequence WHERE name = 'keys'");
      if (seq.rc() != SQLITE_OK) return fail(seq.rc());
      rc = sqlite3_step(seq.get());
      if (rc == SQLITE_ROW) top = sqlite3_column_int64(seq.get(), 0);
      else if (rc != SQLITE_DONE) return fail(rc);
    }
  }
  return exec(("CREATE TABLE keymark(top INTEGER NOT NULL);"
               "INSERT INTO keymark VALUES(" + std::to_string(top) + ");"
               "CREATE TABLE keys4("
               "  id INTEGER PRIMARY KEY,"
               "  parent INTEGER,"
               "  name BLOB NOT NULL,"
               "  uname BLOB NOT NULL,"
               "  class BLOB,"
               "  mtime INTEGER NOT NULL,"
               "  readonly INTEGER NOT NULL DEFAULT 0);"
               "INSERT INTO keys4(id, parent, name, uname, class, mtime, readonly)"
               "  SELECT id, parent, name, uname, class, mtime, readonly FROM keys;"
               "DROP TABLE keys;"
               "ALTER TABLE keys4 RENAME TO keys;"
               "CREATE UNIQUE INDEX keys_child ON keys(parent, uname);")
                  .c_str());
}

}  // namespace regstore
}  // namespace tobrel
