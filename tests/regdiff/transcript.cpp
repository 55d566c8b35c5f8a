// registry_transcript: runs a seeded random sequence of registry calls below
// HKEY_CURRENT_USER\Software\TobrelTools\Transcript<seed> and writes every
// call with its results (error codes, sizes, data, enumeration order) to a
// transcript. Built for both hosts: on Linux it drives the registry store, on
// Windows (or Wine) the system's registry, and the same seed makes the same
// calls on both, so that their transcripts can be compared line by line
// (registry_transcript --compare, see compare.h).
//
//   registry_transcript --seed N --ops M --out FILE
//   registry_transcript --compare LINUX_FILE WINDOWS_FILE
//
// Every name and text comes from a fixed pool (ASCII, full-width, Greek,
// Cyrillic and Japanese letters in both cases, characters with two codes,
// names at the length limits), as code page 932 bytes; the same bytes are
// passed on both hosts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/platform.h"
#include "tests/regdiff/compare.h"
#include "tests/regdiff/pool.h"
#include "tests/wine_util.h"

namespace {

using tobrel::regdiff::Pool;

// splitmix64: the same numbers on every host and compiler. Each call of the
// sequence takes a fixed number of them, drawn before it runs, so that a
// result that differs between hosts never shifts the calls that follow.
class Random {
 public:
  static const int kPerCall = 12;
  explicit Random(std::uint64_t seed) : state_(seed) {}
  void nextCall() {
    for (std::uint64_t& v : drawn_) v = splitmix();
    used_ = 0;
  }
  std::uint64_t next() {
    if (used_ == kPerCall) {
      std::fprintf(stderr, "registry_transcript: a call took more than %d random numbers\n", kPerCall);
      std::abort();
    }
    return drawn_[used_++];
  }
  // 0 <= result < n
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  bool chance(int percent) { return below(100) < static_cast<std::size_t>(percent); }

 private:
  std::uint64_t splitmix() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint64_t state_;
  std::uint64_t drawn_[kPerCall] = {};
  int used_ = 0;
};

const int kSlots = 8;   // open handles at most; slot 0 is the base key
// Room for the longest value name: 16383 double-byte characters.
const std::size_t kValueNameRoom = 2 * 16383 + 1;

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out.empty() ? "-" : out;
}

// A name or text as it appears in the transcript: printable ASCII as it
// is, every other byte as \xNN; very long ones shortened to a count and
// their first bytes (the length itself is what matters there).
std::string show(const std::string& bytes) {
  std::string body;
  std::size_t limit = bytes.size() > 1100 ? 40 : bytes.size();   // key names are shown whole
  for (std::size_t i = 0; i < limit; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c >= 0x20 && c < 0x7F && c != '\\' && c != '"') {
      body += static_cast<char>(c);
    } else {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\x%02X", c);
      body += esc;
    }
  }
  if (limit < bytes.size()) body += "...(" + std::to_string(bytes.size()) + " bytes)";
  return "\"" + body + "\"";
}

// The characters of a key path in all, and of its longest component.
void measurePath(const std::string& path, std::size_t* total, std::size_t* longest) {
  std::size_t current = 0;
  *total = *longest = 0;
  for (std::size_t i = 0; i < path.size(); ++i, ++*total) {
    unsigned char c = static_cast<unsigned char>(path[i]);
    if (c == '\\') {
      current = 0;
      continue;
    }
    if (tobrel::cp932IsLeadByte(c) && i + 1 < path.size()) ++i;
    if (++current > *longest) *longest = current;
  }
}

// Calls where Wine is known to differ from Windows are left out under Wine;
// the comparison then leaves them out of the other transcript too. The
// reasons:
// - Wine takes key names of 256 characters, where Windows (and the store)
//   refuse more than 255 with ERROR_INVALID_PARAMETER;
// - Wine creates subkeys through a handle opened without KEY_CREATE_SUB_KEY,
//   where Windows refuses with ERROR_ACCESS_DENIED (opening an existing key
//   that way works on both, and is not left out);
// - below a deleted key, Wine answers a path with a leading backslash with
//   ERROR_KEY_DELETED, where Windows refuses the path first
//   (ERROR_BAD_PATHNAME), and it answers a value name of more than 16383
//   characters with ERROR_FILE_NOT_FOUND before it looks at the key
//   (ERROR_KEY_DELETED on Windows).
// Neither call changes anything on Windows, so leaving it out on both sides
// keeps the rest of the transcripts comparable. (Wine's RegCreateKeyExA,
// RegOpenKeyExA and RegDeleteKeyA also convert the path into a buffer of 260
// characters and fail longer paths with ERROR_MORE_DATA, where Windows takes
// them; the transcript makes no such paths.)
const char kSkipped[] = "skipped under Wine";
bool valueSkippedUnderWine(const std::string& name) {
  std::size_t total = 0, longest = 0;
  measurePath(name, &total, &longest);
  return total > 16383 && tobrel::test::runningUnderWine();
}
bool skippedUnderWine(const std::string& path, HKEY readOnlyParent = nullptr) {
  if (!tobrel::test::runningUnderWine()) return false;
  std::size_t total = 0, longest = 0;
  measurePath(path, &total, &longest);
  if (longest > 255 || (!path.empty() && path[0] == '\\')) return true;
  HKEY existing = nullptr;
  if (!readOnlyParent || RegOpenKeyExA(readOnlyParent, path.c_str(), 0, KEY_READ, &existing) == ERROR_SUCCESS) {
    if (existing) RegCloseKey(existing);
    return false;
  }
  return true;
}

// Wine enumerates subkeys sorted by their lower-cased names, Windows by
// their upper-cased names ('_' comes after the letters there, before them
// in Wine). Under Wine the transcript asks for the subkey at Windows' index:
// the index at which Wine keeps that key.
DWORD windowsIndex(HKEY key, DWORD index) {
#if defined(_WIN32)
  if (!tobrel::test::runningUnderWine()) return index;
  typedef WCHAR(WINAPI * Upcase)(WCHAR);
  static Upcase upcase = reinterpret_cast<Upcase>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlUpcaseUnicodeChar")));
  std::vector<std::pair<std::wstring, DWORD>> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[512];
    DWORD size = 512;
    if (RegEnumKeyExW(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    std::wstring upper(name, size);
    for (wchar_t& c : upper) c = upcase(c);
    names.emplace_back(upper, i);
  }
  std::stable_sort(names.begin(), names.end());
  return index < names.size() ? names[index].second : index;
#else
  (void)key;
  return index;
#endif
}

LONG enumKey(HKEY key, DWORD index, char* name, DWORD* size) {
  return RegEnumKeyExA(key, windowsIndex(key, index), name, size, nullptr, nullptr, nullptr, nullptr);
}

class Runner {
 public:
  Runner(std::uint64_t seed, FILE* out) : rnd_(seed), out_(out), pool_() {
    base_ = "Software\\TobrelTools\\Transcript" + std::to_string(seed);
  }

  bool start() {
    removeTree(HKEY_CURRENT_USER, base_);
    DWORD disposition = 0;
    LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, base_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &slots_[0], &disposition);
    line("start -> " + std::to_string(err) + " pool " + std::to_string(pool_.checksum()));
    return err == ERROR_SUCCESS;
  }

  void finish() {
    for (int i = 1; i < kSlots; ++i) {
      if (slots_[i]) RegCloseKey(slots_[i]);
    }
    // The whole tree, read back once more in enumeration order.
    dumpTree(slots_[0], "");
    RegCloseKey(slots_[0]);
    removeTree(HKEY_CURRENT_USER, base_);
  }

  void step(int n) {
    number_ = n;
    rnd_.nextCall();
    std::size_t pick = rnd_.below(100);
    if (pick < 12) createKey();
    else if (pick < 18) openKey();
    else if (pick < 23) closeKey();
    else if (pick < 45) setValue();
    else if (pick < 60) queryValue();
    else if (pick < 66) deleteValue();
    else if (pick < 73) enumKeys();
    else if (pick < 79) enumValues(false);
    else if (pick < 85) deleteKey();
    else if (pick < 90) enumKeySmall();
    else enumValues(true);
  }

 private:
  void line(const std::string& text) {
    std::fprintf(out_, "#%d %s\n", number_, text.c_str());
  }
  // A line of a block that the comparison may reorder (see compare.h).
  void item(const std::string& text) { std::fprintf(out_, "  %s\n", text.c_str()); }

  int anySlot() {
    std::vector<int> used;
    for (int i = 0; i < kSlots; ++i) {
      if (slots_[i]) used.push_back(i);
    }
    return used[rnd_.below(used.size())];
  }

  int freeSlot() {
    int victim = 1 + static_cast<int>(rnd_.below(kSlots - 1));
    for (int i = 1; i < kSlots; ++i) {
      if (!slots_[i]) return i;
    }
    RegCloseKey(slots_[victim]);
    slots_[victim] = nullptr;
    return victim;
  }

  // A relative key path: one name, sometimes two, rarely with a stray
  // backslash; never more than 260 characters (see skippedUnderWine).
  std::string keyPath() {
    std::string path = pool_.keyName(rnd_.next());
    std::string second = pool_.keyName(rnd_.next());
    std::size_t total = 0, longest = 0;
    measurePath(path + "\\" + second + "\\", &total, &longest);
    if (rnd_.chance(20) && total < 260) path += "\\" + second;
    if (rnd_.chance(3)) path += "\\";
    if (rnd_.chance(2)) path = "\\" + path;
    return path;
  }

  void createKey() {
    int parent = anySlot();
    std::string path = keyPath();
    int slot = freeSlot();
    if (skippedUnderWine(path, readOnly_[parent] ? slots_[parent] : nullptr)) return line(kSkipped);
    DWORD disposition = 0;
    HKEY key = nullptr;
    LONG err = RegCreateKeyExA(slots_[parent], path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                               &disposition);
    std::string text = "create h" + std::to_string(parent) + " " + show(path) + " -> " + std::to_string(err);
    if (err == ERROR_SUCCESS) {
      slots_[slot] = key;
      readOnly_[slot] = false;
      text += (disposition == REG_CREATED_NEW_KEY ? " new" : " existing") + std::string(" h") + std::to_string(slot);
    }
    line(text);
  }

  void openKey() {
    int parent = anySlot();
    bool self = rnd_.chance(10), null = rnd_.chance(50);
    std::string path = keyPath();
    if (self) path.clear();
    REGSAM access = rnd_.chance(30) ? KEY_READ : KEY_ALL_ACCESS;
    int slot = freeSlot();
    if (skippedUnderWine(path)) return line(kSkipped);
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(slots_[parent], self && null ? nullptr : path.c_str(), 0, access, &key);
    std::string text = "open h" + std::to_string(parent) + " " + show(path) +
                       (access == KEY_READ ? " read" : " all") + " -> " + std::to_string(err);
    if (err == ERROR_SUCCESS) {
      slots_[slot] = key;
      readOnly_[slot] = access == KEY_READ;
      text += " h" + std::to_string(slot);
    }
    line(text);
  }

  void closeKey() {
    int slot = anySlot();
    if (slot == 0) return line("close h0 skipped");
    LONG err = RegCloseKey(slots_[slot]);
    slots_[slot] = nullptr;
    line("close h" + std::to_string(slot) + " -> " + std::to_string(err));
  }

  void setValue() {
    int slot = anySlot();
    std::string name = pool_.valueName(rnd_.next());
    DWORD type = 0;
    std::string data = pool_.data(rnd_.next(), &type);
    // Windows (and Wine) count a NUL that follows a text given without its
    // own; the store reads no further than the data it is given. Data is
    // followed by something else here, so that both count alike.
    std::string buffer = data + (rnd_.chance(50) ? 'Y' : 'X');
    LONG err = RegSetValueExA(slots_[slot], name.c_str(), 0, type, reinterpret_cast<const BYTE*>(buffer.data()),
                              static_cast<DWORD>(data.size()));
    line("set h" + std::to_string(slot) + " " + show(name) + " type " + std::to_string(type) + " " + hex(data) +
         (buffer.back() == 'X' ? " +X" : " +Y") + " -> " + std::to_string(err));
  }

  void queryValue() {
    int slot = anySlot();
    std::string name = pool_.valueName(rnd_.next());
    if (valueSkippedUnderWine(name)) return line(kSkipped);
    // First the size, then a buffer of that size, one byte less or more.
    DWORD type = 0xEEEE, size = 0;
    LONG err = RegQueryValueExA(slots_[slot], name.c_str(), nullptr, &type, nullptr, &size);
    std::string text = "query h" + std::to_string(slot) + " " + show(name) + " -> " + std::to_string(err);
    int mode = static_cast<int>(rnd_.below(3));
    if (err == ERROR_SUCCESS) {
      text += " type " + std::to_string(type) + " size " + std::to_string(size);
      DWORD room = size + (mode == 0 ? 0 : mode == 1 ? 7 : static_cast<DWORD>(-1));
      if (size == 0 && mode == 2) room = 0;
      std::string buffer(room + 1, '\xCC');
      DWORD got = room;
      type = 0xEEEE;
      err = RegQueryValueExA(slots_[slot], name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &got);
      text += "; room " + std::to_string(room) + " -> " + std::to_string(err) + " type " + std::to_string(type) +
              " size " + std::to_string(got);
      if (err == ERROR_SUCCESS) {
        text += " " + hex(buffer.substr(0, got < room ? got : room));
        // Windows ends a text read without its NUL with one, where it fits.
        if (got < room) text += " then " + hex(buffer.substr(got, 1));
      }
    }
    line(text);
  }

  void deleteValue() {
    int slot = anySlot();
    std::string name = pool_.valueName(rnd_.next());
    if (valueSkippedUnderWine(name)) return line(kSkipped);
    LONG err = RegDeleteValueA(slots_[slot], name.c_str());
    line("delete-value h" + std::to_string(slot) + " " + show(name) + " -> " + std::to_string(err));
  }

  void deleteKey() {
    int slot = anySlot();
    bool single = rnd_.chance(85);
    std::string name = pool_.keyName(rnd_.next());
    std::string path = single ? name : keyPath();
    if (skippedUnderWine(path)) return line(kSkipped);
    LONG err = RegDeleteKeyA(slots_[slot], path.c_str());
    line("delete-key h" + std::to_string(slot) + " " + show(path) + " -> " + std::to_string(err));
  }

  // Every subkey, by rising index, with a buffer that always fits.
  void enumKeys() {
    int slot = anySlot();
    line("enum-keys h" + std::to_string(slot));
    char name[2048];
    for (DWORD index = 0;; ++index) {
      DWORD size = sizeof name;
      LONG err = enumKey(slots_[slot], index, name, &size);
      if (err != ERROR_SUCCESS) {
        line("end " + std::to_string(err));
        break;
      }
      line("key " + show(std::string(name, size)));
    }
  }

  // One subkey with a buffer just too small, then just large enough.
  void enumKeySmall() {
    int slot = anySlot();
    DWORD index = static_cast<DWORD>(rnd_.below(4));
    char name[2048];
    DWORD size = sizeof name;
    LONG err = enumKey(slots_[slot], index, name, &size);
    std::string text = "enum-key-small h" + std::to_string(slot) + " " + std::to_string(index) + " -> " +
                       std::to_string(err);
    if (err == ERROR_SUCCESS) {
      DWORD length = size;
      for (DWORD room : {length, length + 1}) {
        std::memset(name, '\xCC', sizeof name);
        size = room;
        err = enumKey(slots_[slot], index, name, &size);
        text += "; room " + std::to_string(room) + " -> " + std::to_string(err);
        if (err == ERROR_SUCCESS) text += " " + show(std::string(name, size));
      }
    }
    line(text);
  }

  // Every value by rising index: with its data, or (as RegQueryInfoKey
  // measures them) with the sizes that a call without a data buffer gives.
  void enumValues(bool sizesOnly) {
    int slot = anySlot();
    line(std::string(sizesOnly ? "value-sizes h" : "enum-values h") + std::to_string(slot));
    line("end " + std::to_string(valuesOf(slots_[slot], sizesOnly)));
  }

  // The subtree below `key`, depth first, values sorted by the comparison.
  void dumpTree(HKEY key, const std::string& path) {
    line("tree " + show(path));
    valuesOf(key);
    std::vector<std::string> children;
    char name[2048];
    for (DWORD index = 0;; ++index) {
      DWORD size = sizeof name;
      if (enumKey(key, index, name, &size) != ERROR_SUCCESS) break;
      children.emplace_back(name, size);
    }
    for (const std::string& child : children) {
      HKEY sub = nullptr;
      if (RegOpenKeyExA(key, child.c_str(), 0, KEY_READ, &sub) != ERROR_SUCCESS) {
        line("cannot open " + show(child));
        continue;
      }
      dumpTree(sub, path + "\\" + child);
      RegCloseKey(sub);
    }
  }

  // Writes the values of `key` as a block of items (with their data or
  // their sizes); gives the error that ended the enumeration.
  LONG valuesOf(HKEY key, bool sizesOnly = false) {
    std::vector<char> name(kValueNameRoom);
    std::string data(70000, '\0');
    for (DWORD index = 0;; ++index) {
      DWORD nameSize = static_cast<DWORD>(name.size());
      DWORD dataSize = sizesOnly ? 0 : static_cast<DWORD>(data.size());
      DWORD type = 0;
      LONG err = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, sizesOnly ? nullptr : &type,
                               sizesOnly ? nullptr : reinterpret_cast<BYTE*>(&data[0]), &dataSize);
      if (err != ERROR_SUCCESS) return err;
      item("value " + show(std::string(name.data(), nameSize)) +
           (sizesOnly ? " size " + std::to_string(dataSize)
                      : " type " + std::to_string(type) + " " + hex(data.substr(0, dataSize))));
    }
  }

  // Deletes `path` below `root` with everything below it.
  static void removeTree(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    std::vector<std::string> children;
    char name[2048];
    for (DWORD size = sizeof name; RegEnumKeyExA(key, static_cast<DWORD>(children.size()), name, &size, nullptr,
                                                 nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         size = sizeof name) {
      children.emplace_back(name, size);
    }
    for (const std::string& child : children) removeTree(key, child);
    RegCloseKey(key);
    RegDeleteKeyA(root, path.c_str());
  }

  Random rnd_;
  FILE* out_;
  Pool pool_;
  std::string base_;
  HKEY slots_[kSlots] = {};
  bool readOnly_[kSlots] = {};
  int number_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  auto is = [&](int i, const char* what) { return std::strcmp(argv[i], what) == 0; };
  if (argc == 4 && is(1, "--compare")) return tobrel::regdiff::compareFiles(argv[2], argv[3]);
  if (argc != 7 || !is(1, "--seed") || !is(3, "--ops") || !is(5, "--out")) {
    std::fprintf(stderr,
                 "usage: registry_transcript --seed N --ops M --out FILE\n"
                 "       registry_transcript --compare LINUX_FILE WINDOWS_FILE\n");
    return 2;
  }
  FILE* out = std::fopen(argv[6], "wb");
  if (!out) {
    std::fprintf(stderr, "registry_transcript: cannot create %s\n", argv[6]);
    return 1;
  }
  Runner runner(std::strtoull(argv[2], nullptr, 10), out);
  bool started = runner.start();
  if (started) {
    for (long n = 1, ops = std::strtol(argv[4], nullptr, 10); n <= ops; ++n) runner.step(static_cast<int>(n));
    runner.finish();
  }
  return std::fclose(out) == 0 && started ? 0 : 1;
}
