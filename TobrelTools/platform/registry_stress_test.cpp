// The registry store under load from many processes at once: writers that
// set self-checking values, churn keys and commit pairs of values together,
// readers that check every value they get and the order in which the values
// of each writer appear, and a writer killed in the middle. Long enough that
// the log is checkpointed and started over several times while all of this
// runs. Fixed seeds; the interleaving is whatever the machine makes of it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "TobrelTools/platform/registry_vfs.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

namespace {

const int kWriters = 3;
const int kReaders = 3;
const int kVictim = kWriters - 1;   // the writer killed on the way
const std::uint64_t kSlots = 8;     // values s0..s7 of each writer, set in turn
const std::uint64_t kKeyWindow = 12;   // keys a writer keeps alive at most
const std::uint64_t kMostWrites = 9000;   // values a writer sets at most (a fast machine stops early)
const std::uint32_t kMagic = 0x52545352;
// Failures of this test's own, beside the registry's error codes.
const LONG kWrongType = -1;   // a value read back with another type
const LONG kNotNew = -2;      // a key meant to be new already existed
const std::uint32_t kTagPairA = 100, kTagPairB = 101, kTagKey = 200;

// Seconds the writers run: shorter in a sanitizer build, and
// TOBREL_STRESS_SECONDS overrides both.
double writeSeconds() {
  if (const char* env = std::getenv("TOBREL_STRESS_SECONDS")) return std::atof(env);
#if defined(__SANITIZE_ADDRESS__)
  return 8.0;
#else
  return 5.0;
#endif
}

// What the processes share: progress of the writers (updated once a call has
// returned, that is, committed), the stop signal, counters and the first
// failure each process ran into.
struct Shared {
  std::atomic<int> stop;
  std::atomic<int> quiet;   // who holds off for a moment (see catchUp)
  std::atomic<std::uint64_t> slotWrites[kWriters];   // value writes returned: seqs 0 .. n-1 are committed
  std::atomic<std::uint64_t> pairWrites[kWriters];
  std::atomic<std::uint64_t> keysMade[kWriters];     // keys created with their value set
  std::atomic<std::uint64_t> keysGone[kWriters];     // keys deleted (always the oldest)
  std::atomic<std::uint64_t> bytes;
  std::atomic<std::uint64_t> checkedValues;
  std::atomic<std::uint64_t> snapshots;
  char failure[kWriters + kReaders][240];
};
Shared* shared = nullptr;

std::uint64_t mix(std::uint64_t x) {   // splitmix64's finaliser
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// A record's length follows from its identity, so that a reader can tell a
// cut or mixed-up value from a whole one. Most are small; some span several
// pages, and a few are larger than the file layer gathers at once.
std::uint32_t recordLength(std::uint32_t writer, std::uint64_t seq, std::uint32_t tag) {
  std::uint64_t r = mix((std::uint64_t(writer) << 56) ^ (seq << 8) ^ tag);
  std::uint32_t pick = static_cast<std::uint32_t>(r % 1000);
  std::uint32_t more = static_cast<std::uint32_t>(r >> 32);
  if (pick < 600) return 32 + more % 400;
  if (pick < 960) return 1000 + more % 4000;
  if (pick < 997) return 10000 + more % 40000;
  return 100000 + more % 30000;
}

std::uint64_t fnv(const unsigned char* p, std::size_t n) {
  std::uint64_t h = 0xCBF29CE484222325ULL;
  for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ULL;
  return h;
}

// Layout: magic, writer, tag, length (4 bytes each), seq, checksum (8 each),
// then bytes drawn from the identity. The checksum covers everything but
// itself.
const std::size_t kHeader = 32;
std::string record(std::uint32_t writer, std::uint64_t seq, std::uint32_t tag) {
  std::uint32_t length = recordLength(writer, seq, tag);
  std::string out(length, '\0');
  unsigned char* p = reinterpret_cast<unsigned char*>(&out[0]);
  std::uint32_t head[4] = {kMagic, writer, tag, length};
  std::memcpy(p, head, sizeof head);
  std::memcpy(p + 16, &seq, 8);
  std::uint64_t state = mix(seq * 1000003 + writer * 131 + tag);
  for (std::size_t i = kHeader; i < length; i += 8) {
    state = mix(state);
    std::memcpy(p + i, &state, std::min<std::size_t>(8, length - i));
  }
  std::uint64_t sum = fnv(p, 24) ^ mix(fnv(p + kHeader, length - kHeader));
  std::memcpy(p + 24, &sum, 8);
  return out;
}

// Checks a value read back: whole, the writer's and the tag's it was stored
// under, and exactly the bytes written. Returns its seq, or an empty reason
// in `why` on success.
bool checkRecord(const std::string& data, std::uint32_t writer, std::uint32_t tag, std::uint64_t* seq,
                 std::string* why) {
  if (data.size() < kHeader) {
    *why = "a value of " + std::to_string(data.size()) + " bytes";
    return false;
  }
  std::uint32_t head[4];
  std::memcpy(head, data.data(), sizeof head);
  std::memcpy(seq, data.data() + 16, 8);
  if (head[0] != kMagic || head[1] != writer || head[2] != tag) {
    *why = "a foreign header (writer " + std::to_string(head[1]) + ", tag " + std::to_string(head[2]) + ")";
    return false;
  }
  if (data.size() != recordLength(writer, *seq, tag) || head[3] != data.size()) {
    *why = "a cut value: " + std::to_string(data.size()) + " bytes of seq " + std::to_string(*seq);
    return false;
  }
  if (data != record(writer, *seq, tag)) {
    *why = "damaged bytes in seq " + std::to_string(*seq);
    return false;
  }
  return true;
}

void fail(int process, const std::string& message) {
  char* slot = shared->failure[process];
  if (!slot[0]) std::snprintf(slot, sizeof shared->failure[0], "%s", message.c_str());
}

std::string writerPath(int w) { return "Software\\Stress\\W" + std::to_string(w); }

std::string keyName(std::uint64_t n) {
  char name[16];
  std::snprintf(name, sizeof name, "k%08llu", static_cast<unsigned long long>(n));
  return name;
}

HKEY openKey(HKEY parent, const std::string& path, REGSAM access) {
  HKEY key = nullptr;
  return RegOpenKeyExA(parent, path.c_str(), 0, access, &key) == ERROR_SUCCESS ? key : nullptr;
}

LONG setRecord(HKEY key, const char* name, const std::string& data) {
  return RegSetValueExA(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
}

// Reads a value whole (ERROR_FILE_NOT_FOUND when it is not there).
LONG readValue(HKEY key, const char* name, std::string* out) {
  static std::vector<BYTE> buffer(140000);
  DWORD size = static_cast<DWORD>(buffer.size());
  DWORD type = 0;
  LONG err = RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size);
  if (err == ERROR_SUCCESS) {
    out->assign(reinterpret_cast<const char*>(buffer.data()), size);
    if (type != REG_BINARY) return kWrongType;
  }
  return err;
}

// The seq a slot holds once the writer has committed its seqs 0..last: the
// latest one of the slot's residue, or -1 when the slot was never set.
long long slotSeqAfter(long long last, std::uint64_t slot) {
  if (last < static_cast<long long>(slot)) return -1;
  return last - ((last - static_cast<long long>(slot)) % static_cast<long long>(kSlots));
}

enum Quiet { kAllGo = 0, kWritersWait = 1, kAllWait = 2, kReadersWait = 3 };

void holdOff() {
  while (shared->quiet.load() == kWritersWait || shared->quiet.load() == kAllWait) usleep(500);
}

// A writer: seq n sets value s<n % 8>; now and then a pair of values in one
// batch, and a new key (with a value) while the oldest one is deleted.
[[noreturn]] void writer(int w, double seconds) {
  std::mt19937_64 random(7001 + w);
  HKEY mine = openKey(HKEY_CURRENT_USER, writerPath(w), KEY_ALL_ACCESS);
  HKEY keys = openKey(HKEY_CURRENT_USER, writerPath(w) + "\\Keys", KEY_ALL_ACCESS);
  if (!mine || !keys) {
    fail(w, "writer cannot open its keys");
    _exit(1);
  }
  auto start = std::chrono::steady_clock::now();
  std::uint64_t seq = 0, pairs = 0, made = 0, gone = 0;
  while (seq < kMostWrites &&
         std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
    holdOff();
    std::string data = record(w, seq, static_cast<std::uint32_t>(seq % kSlots));
    std::string name = "s" + std::to_string(seq % kSlots);
    LONG err = setRecord(mine, name.c_str(), data);
    if (err != ERROR_SUCCESS) {
      fail(w, "setting " + name + " (seq " + std::to_string(seq) + "): error " + std::to_string(err));
      _exit(1);
    }
    shared->slotWrites[w].store(++seq);
    shared->bytes += data.size();
    if (random() % 8 == 0) {
      holdOff();
      std::string a = record(w, pairs, kTagPairA), b = record(w, pairs, kTagPairB);
      tobrel::RegistryBatch batch(true);
      err = batch.status();
      if (err == ERROR_SUCCESS) err = setRecord(mine, "pa", a);
      if (err == ERROR_SUCCESS) err = setRecord(mine, "pb", b);
      if (err == ERROR_SUCCESS) err = batch.commit();
      if (err != ERROR_SUCCESS) {
        fail(w, "a pair in one batch: error " + std::to_string(err));
        _exit(1);
      }
      shared->pairWrites[w].store(++pairs);
      shared->bytes += a.size() + b.size();
    }
    if (random() % 4 == 0) {
      holdOff();
      HKEY key = nullptr;
      DWORD disposition = 0;
      err = RegCreateKeyExA(keys, keyName(made).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition);
      if (err == ERROR_SUCCESS && disposition != REG_CREATED_NEW_KEY) err = kNotNew;
      if (err == ERROR_SUCCESS) err = setRecord(key, "r", record(w, made, kTagKey));
      if (key) RegCloseKey(key);
      if (err != ERROR_SUCCESS) {
        fail(w, "creating " + keyName(made) + ": error " + std::to_string(err));
        _exit(1);
      }
      shared->keysMade[w].store(++made);
      if (made - gone > kKeyWindow) {
        err = RegDeleteKeyA(keys, keyName(gone).c_str());
        if (err != ERROR_SUCCESS) {
          fail(w, "deleting " + keyName(gone) + ": error " + std::to_string(err));
          _exit(1);
        }
        shared->keysGone[w].store(++gone);
      }
    }
  }
  _exit(0);
}

// What one reader has seen of one writer so far: nothing it sees later may
// be older.
struct Seen {
  long long last = -1;        // the newest value seq seen (any slot)
  long long slot[kSlots];     // per slot
  long long pair = -1;
  long long keysFrom = 0, keysTo = 0;   // the key range [from, to) last seen
  Seen() { std::fill(slot, slot + kSlots, -1); }
};

// One value of a writer's slot, read in a transaction of its own: whole, and
// no older than anything this process saw or knew committed before.
bool checkSlot(HKEY key, int w, std::uint64_t slot, Seen& seen, std::string* why) {
  long long committed = static_cast<long long>(shared->slotWrites[w].load()) - 1;
  std::string data;
  std::string name = "s" + std::to_string(slot);
  LONG err = readValue(key, name.c_str(), &data);
  long long floor = slotSeqAfter(std::max(seen.last, committed), slot);
  if (err == ERROR_FILE_NOT_FOUND && floor < 0) return true;
  if (err != ERROR_SUCCESS) {
    *why = "reading " + name + ": error " + std::to_string(err);
    return false;
  }
  std::uint64_t seq = 0;
  if (!checkRecord(data, w, static_cast<std::uint32_t>(slot), &seq, why)) return false;
  if (static_cast<long long>(seq) < floor || static_cast<long long>(seq) < seen.slot[slot]) {
    *why = name + " went back to seq " + std::to_string(seq) + " after " + std::to_string(floor) + "/" +
           std::to_string(seen.slot[slot]);
    return false;
  }
  seen.slot[slot] = static_cast<long long>(seq);
  seen.last = std::max(seen.last, static_cast<long long>(seq));
  return true;
}

// Everything of one writer in one read batch: the slots are exactly those
// after some prefix of its commits, the pair is one, the values enumerate
// once each in the order they were first set, and the keys are the
// contiguous, sorted range the churn leaves. `exactLast` (>= 0) requires the
// prefix to end there (for the final check).
bool checkSnapshot(HKEY mine, HKEY keys, int w, Seen& seen, std::string* why, long long exactLast = -2) {
  long long committed = static_cast<long long>(shared->slotWrites[w].load()) - 1;
  long long pairsCommitted = static_cast<long long>(shared->pairWrites[w].load()) - 1;
  long long made = static_cast<long long>(shared->keysMade[w].load());
  long long gone = static_cast<long long>(shared->keysGone[w].load());
  tobrel::RegistryBatch batch(false);
  if (batch.status() != ERROR_SUCCESS) {
    *why = "a read batch: error " + std::to_string(batch.status());
    return false;
  }
  long long seqs[kSlots];
  long long last = -1;
  std::string data;
  for (std::uint64_t i = 0; i < kSlots; ++i) {
    std::string name = "s" + std::to_string(i);
    LONG err = readValue(mine, name.c_str(), &data);
    seqs[i] = -1;
    if (err == ERROR_FILE_NOT_FOUND) continue;
    std::uint64_t seq = 0;
    if (err != ERROR_SUCCESS) {
      *why = "reading " + name + ": error " + std::to_string(err);
      return false;
    }
    if (!checkRecord(data, w, static_cast<std::uint32_t>(i), &seq, why)) return false;
    seqs[i] = static_cast<long long>(seq);
    last = std::max(last, seqs[i]);
  }
  for (std::uint64_t i = 0; i < kSlots; ++i) {
    if (seqs[i] != slotSeqAfter(last, i)) {
      *why = "s" + std::to_string(i) + " holds seq " + std::to_string(seqs[i]) + " beside seq " +
             std::to_string(last) + ": not a state the writer ever committed";
      return false;
    }
  }
  if (last < std::max(seen.last, committed) || (exactLast >= -1 && last != exactLast)) {
    *why = "a snapshot ending at seq " + std::to_string(last) + " after " + std::to_string(seen.last) + "/" +
           std::to_string(committed) + " (expected " + std::to_string(exactLast) + ")";
    return false;
  }
  seen.last = last;
  for (std::uint64_t i = 0; i < kSlots; ++i) seen.slot[i] = seqs[i];

  std::string a, b;
  LONG errA = readValue(mine, "pa", &a), errB = readValue(mine, "pb", &b);
  long long pair = -1;
  if (errA != errB) {
    *why = "half a pair: errors " + std::to_string(errA) + " and " + std::to_string(errB);
    return false;
  }
  if (errA == ERROR_SUCCESS) {
    std::uint64_t sa = 0, sb = 0;
    if (!checkRecord(a, w, kTagPairA, &sa, why) || !checkRecord(b, w, kTagPairB, &sb, why)) return false;
    if (sa != sb) {
      *why = "a pair of seqs " + std::to_string(sa) + " and " + std::to_string(sb);
      return false;
    }
    pair = static_cast<long long>(sa);
  } else if (errA != ERROR_FILE_NOT_FOUND) {
    *why = "reading the pair: error " + std::to_string(errA);
    return false;
  }
  if (pair < std::max(seen.pair, pairsCommitted)) {
    *why = "the pair went back to " + std::to_string(pair);
    return false;
  }
  seen.pair = pair;

  // Values in the order first set: s0 first, the slots in turn, each once.
  std::vector<std::string> names;
  char name[64];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LONG err = RegEnumValueA(mine, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) {
      *why = "enumerating values: error " + std::to_string(err);
      return false;
    }
    names.emplace_back(name, size);
  }
  std::vector<std::string> slotsInOrder;
  std::size_t pairNames = 0;
  for (const std::string& n : names) {
    if (n == "pa" || n == "pb") {
      ++pairNames;
    } else {
      slotsInOrder.push_back(n);
    }
  }
  std::size_t expectSlots = static_cast<std::size_t>(std::min<long long>(last + 1, kSlots));
  bool orderOk = slotsInOrder.size() == expectSlots && pairNames == (pair >= 0 ? 2u : 0u);
  for (std::size_t i = 0; orderOk && i < slotsInOrder.size(); ++i) orderOk = slotsInOrder[i] == "s" + std::to_string(i);
  if (!orderOk) {
    std::string listed;
    for (const std::string& n : names) listed += n + " ";
    *why = "values enumerate as " + listed + "at seq " + std::to_string(last);
    return false;
  }

  // Keys: k<from> .. k<to - 1>, sorted, each with its value but perhaps the
  // newest (created, value not yet set).
  long long from = -1, to = -1;
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LONG err = RegEnumKeyExA(keys, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (err == ERROR_NO_MORE_ITEMS) break;
    if (err != ERROR_SUCCESS) {
      *why = "enumerating keys: error " + std::to_string(err);
      return false;
    }
    std::string n(name, size);
    long long number = n.size() == 9 && n[0] == 'k' ? std::atoll(n.c_str() + 1) : -1;
    if (number < 0 || keyName(static_cast<std::uint64_t>(number)) != n || (to >= 0 && number != to)) {
      *why = "key " + n + " after k.." + std::to_string(to - 1);
      return false;
    }
    if (from < 0) from = number;
    to = number + 1;
  }
  if (from < 0) from = to = 0;   // none: only before the first key is made
  if (from < std::max(seen.keysFrom, gone) || to < std::max(seen.keysTo, made) ||
      to - from > static_cast<long long>(kKeyWindow) + 1) {
    *why = "keys [" + std::to_string(from) + ", " + std::to_string(to) + ") after [" + std::to_string(seen.keysFrom) +
           ", " + std::to_string(seen.keysTo) + ") with " + std::to_string(gone) + ".." + std::to_string(made) +
           " known";
    return false;
  }
  seen.keysFrom = from;
  seen.keysTo = to;
  for (long long k = from; k < to; ++k) {
    HKEY key = openKey(keys, keyName(static_cast<std::uint64_t>(k)), KEY_READ);
    if (!key) {
      *why = "key " + keyName(static_cast<std::uint64_t>(k)) + " enumerated but not there";
      return false;
    }
    LONG err = readValue(key, "r", &data);
    RegCloseKey(key);
    if (err == ERROR_FILE_NOT_FOUND && k == to - 1) continue;
    std::uint64_t seq = 0;
    if (err != ERROR_SUCCESS) {
      *why = "reading the value of " + keyName(static_cast<std::uint64_t>(k)) + ": error " + std::to_string(err);
      return false;
    }
    if (!checkRecord(data, w, kTagKey, &seq, why)) return false;
    if (static_cast<long long>(seq) != k) {
      *why = keyName(static_cast<std::uint64_t>(k)) + " holds the value of key " + std::to_string(seq);
      return false;
    }
  }
  if (batch.commit() != ERROR_SUCCESS) {
    *why = "ending a read batch";
    return false;
  }
  shared->snapshots += 1;
  return true;
}

// A reader: single reads of random slots in between snapshots of whole
// writers, until told to stop.
[[noreturn]] void reader(int r) {
  int process = kWriters + r;
  std::mt19937_64 random(9001 + r);
  HKEY mine[kWriters], keys[kWriters];
  for (int w = 0; w < kWriters; ++w) {
    mine[w] = openKey(HKEY_CURRENT_USER, writerPath(w), KEY_READ);
    keys[w] = openKey(HKEY_CURRENT_USER, writerPath(w) + "\\Keys", KEY_READ);
    if (!mine[w] || !keys[w]) {
      fail(process, "reader cannot open the writers' keys");
      _exit(1);
    }
  }
  Seen seen[kWriters];
  std::string why;
  while (!shared->stop.load()) {
    if (shared->quiet.load() == kAllWait || shared->quiet.load() == kReadersWait) {
      usleep(500);
      continue;
    }
    int w = static_cast<int>(random() % kWriters);
    if (random() % 8 == 0) {
      if (!checkSnapshot(mine[w], keys[w], w, seen[w], &why)) {
        fail(process, "writer " + std::to_string(w) + ", snapshot: " + why);
        _exit(1);
      }
    } else {
      if (!checkSlot(mine[w], w, random() % kSlots, seen[w], &why)) {
        fail(process, "writer " + std::to_string(w) + ": " + why);
        _exit(1);
      }
      shared->checkedValues += 1;
    }
  }
  _exit(0);
}

using tobrel::test::integrityCheck;

// Watches the log from outside while the processes run: the shared index's
// count of frames copied to the database (it grows with each checkpoint and
// drops to zero when the log starts over) and the log header's restart count.
struct LogWatch {
  int shm = -1, wal = -1;
  std::uint32_t backfill = 0;
  std::uint32_t firstRestarts = 0, restarts = 0;
  bool haveRestarts = false;
  int checkpoints = 0;
  long long largestLog = 0;

  explicit LogWatch(const std::string& db) {
    shm = ::open((db + "-shm").c_str(), O_RDONLY | O_CLOEXEC);
    wal = ::open((db + "-wal").c_str(), O_RDONLY | O_CLOEXEC);
  }
  ~LogWatch() {
    if (shm >= 0) ::close(shm);
    if (wal >= 0) ::close(wal);
  }
  void poll() {
    std::uint32_t now = 0;
    if (shm >= 0 && pread(shm, &now, 4, 96) == 4) {   // nBackfill, after the two copies of the index header
      if (now > backfill) ++checkpoints;
      backfill = now;
    }
    unsigned char head[16];
    if (wal >= 0 && pread(wal, head, 16, 0) == 16) {
      std::uint32_t count = (std::uint32_t(head[12]) << 24) | (head[13] << 16) | (head[14] << 8) | head[15];
      if (!haveRestarts) firstRestarts = count;
      haveRestarts = true;
      restarts = count;
      struct stat st;
      if (fstat(wal, &st) == 0) largestLog = std::max<long long>(largestLog, st.st_size);
    }
  }
};

// Writers that never pause keep the log from ever starting over: each
// checkpoint ends behind the newest commit. So now and then the writers hold
// off while the log is copied in full (through the store's own file layer,
// with the readers still reading); the next commit then starts the log over,
// unless a reader holds on to the log just then. Every other time the readers
// hold off too, until the writers have started the log over.
void catchUp(sqlite3* db, bool readersToo, LogWatch& watch) {
  shared->quiet = readersToo ? kAllWait : kWritersWait;
  usleep(5000);   // a write under way ends
  int previous = -1;
  for (int attempt = 0; attempt < 50; ++attempt) {
    int log = -1, done = -1;
    int rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_PASSIVE, &log, &done);
    if (rc == SQLITE_OK && done == log && log == previous) break;
    previous = rc == SQLITE_OK && done == log ? log : -1;
    usleep(1000);
  }
  if (readersToo) {
    shared->quiet = kReadersWait;
    watch.poll();
    std::uint32_t before = watch.restarts;
    for (int i = 0; i < 50 && watch.restarts == before; ++i) {
      usleep(1000);
      watch.poll();
    }
  }
  shared->quiet = kAllGo;
}

TEST(RegistryStressTest, WritersReadersAndAKilledWriterAgreeThroughCheckpointsAndRestarts) {
  std::string db = tobrel::test::freshRegistryStore();
  for (int w = 0; w < kWriters; ++w) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, (writerPath(w) + "\\Keys").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  shared = new (memory) Shared();

  double seconds = writeSeconds();
  std::vector<pid_t> pids;
  for (int r = 0; r < kReaders; ++r) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) reader(r);
    pids.push_back(pid);
  }
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) writer(w, seconds);
    pids.push_back(pid);
  }
  pid_t victim = pids[kReaders + kVictim];

  // The victim dies at a point drawn from a fixed seed, somewhere in the
  // middle of its writes (or of the time); the log is watched meanwhile.
  std::mt19937 random(20261205);
  double fraction = 0.3 + 0.4 * (random() % 1000) / 1000.0;
  double killAt = seconds * fraction;
  std::uint64_t killAfter = static_cast<std::uint64_t>(kMostWrites * fraction);
  LogWatch watch(db);
  sqlite3* checkpointer = nullptr;
  ASSERT_EQ(sqlite3_open_v2(db.c_str(), &checkpointer, SQLITE_OPEN_READWRITE, tobrel::regstore::storeVfsName()),
            SQLITE_OK);
  sqlite3_busy_timeout(checkpointer, 1000);
  ASSERT_EQ(sqlite3_exec(checkpointer, "PRAGMA schema_version", nullptr, nullptr, nullptr), SQLITE_OK);   // finds the log
  double nextCatchUp = 0.25;
  int catchUps = 0;
  auto start = std::chrono::steady_clock::now();
  double elapsed = 0;
  bool killed = false;
  int writersLeft = kWriters;
  std::vector<int> status(pids.size(), -1);
  while (writersLeft > 0) {
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!killed && (elapsed >= killAt || shared->slotWrites[kVictim] >= killAfter)) {
      kill(victim, SIGKILL);
      killed = true;
    }
    watch.poll();
    if (elapsed >= nextCatchUp) {
      catchUp(checkpointer, ++catchUps % 2 == 0, watch);
      nextCatchUp = elapsed + 0.25;
    }
    for (std::size_t i = 0; i < pids.size(); ++i) {
      if (status[i] != -1) continue;
      int st = 0;
      if (waitpid(pids[i], &st, WNOHANG) == pids[i]) {
        status[i] = st;
        if (i >= static_cast<std::size_t>(kReaders)) --writersLeft;
        if (WIFEXITED(st) && WEXITSTATUS(st) != 0) shared->stop = 1;   // a failure: no need to go on
      }
    }
    if (elapsed > seconds + 30) {   // a writer hangs: stop everything and report it
      for (std::size_t i = 0; i < pids.size(); ++i) {
        if (status[i] == -1) kill(pids[i], SIGKILL);
      }
      ADD_FAILURE() << "the processes did not finish in time";
      break;
    }
    usleep(1000);
  }
  shared->stop = 1;
  for (std::size_t i = 0; i < pids.size(); ++i) {
    if (status[i] == -1) waitpid(pids[i], &status[i], 0);
  }
  watch.poll();
  sqlite3_close(checkpointer);

  for (std::size_t i = 0; i < pids.size(); ++i) {
    int process = i < static_cast<std::size_t>(kReaders) ? kWriters + static_cast<int>(i)
                                                         : static_cast<int>(i) - kReaders;
    std::string who = process < kWriters ? "writer " + std::to_string(process)
                                         : "reader " + std::to_string(process - kWriters);
    if (pids[i] == victim) {
      EXPECT_TRUE(WIFSIGNALED(status[i])) << who << " finished before it was killed: " << shared->failure[process];
    } else {
      EXPECT_TRUE(WIFEXITED(status[i]) && WEXITSTATUS(status[i]) == 0) << who << ": " << shared->failure[process];
    }
  }

  std::uint64_t writes = 0;
  for (int w = 0; w < kWriters; ++w) writes += shared->slotWrites[w] + 2 * shared->pairWrites[w] + shared->keysMade[w];
  std::printf("%.1f s of writing (at most %.1f): %llu values set (%llu MB), %llu keys made, %llu values checked by readers in"
              " %llu snapshots and single reads; log: %d checkpoints seen, %u restarts, largest %lld KiB\n",
              elapsed, seconds, static_cast<unsigned long long>(writes),
              static_cast<unsigned long long>(shared->bytes.load() >> 20),
              static_cast<unsigned long long>(shared->keysMade[0] + shared->keysMade[1] + shared->keysMade[2]),
              static_cast<unsigned long long>(shared->checkedValues.load()),
              static_cast<unsigned long long>(shared->snapshots.load()), watch.checkpoints,
              watch.restarts - watch.firstRestarts, watch.largestLog >> 10);

  // Afterwards: the file is intact, and every writer's values are those of
  // all it saw committed (the victim: perhaps one more, whose return it did
  // not live to see).
  EXPECT_EQ(integrityCheck(db), "ok");
  tobrel::registryStoreReset(db.c_str());
  for (int w = 0; w < kWriters; ++w) {
    SCOPED_TRACE("writer " + std::to_string(w));
    HKEY mine = openKey(HKEY_CURRENT_USER, writerPath(w), KEY_READ);
    HKEY keys = openKey(HKEY_CURRENT_USER, writerPath(w) + "\\Keys", KEY_READ);
    ASSERT_TRUE(mine && keys);
    long long committed = static_cast<long long>(shared->slotWrites[w].load()) - 1;
    Seen seen;
    std::string why;
    bool ok = checkSnapshot(mine, keys, w, seen, &why, w == kVictim ? -2 : committed);
    EXPECT_TRUE(ok) << why;
    long long made = static_cast<long long>(shared->keysMade[w]);
    if (w == kVictim) {
      EXPECT_LE(seen.last, committed + 1);
      EXPECT_LE(seen.keysTo, made + 1);
    } else {
      EXPECT_EQ(seen.keysTo, made);
      EXPECT_EQ(seen.keysFrom, static_cast<long long>(shared->keysGone[w]));
      EXPECT_EQ(seen.pair, static_cast<long long>(shared->pairWrites[w]) - 1);
    }
    RegCloseKey(keys);
    RegCloseKey(mine);
  }
  // Enough happened for the run to mean something.
  EXPECT_GT(writes, 1000u);
  EXPECT_GE(watch.checkpoints, 2);
  EXPECT_GE(watch.restarts - watch.firstRestarts, 2u);
  shared->~Shared();
  munmap(memory, sizeof(Shared));
  shared = nullptr;
  if (!HasFailure()) {   // tens of megabytes: kept only to look into a failure
    tobrel::registryStoreReset(nullptr);
    for (const char* suffix : {"", "-wal", "-shm"}) std::remove((db + suffix).c_str());
  }
}

}  // namespace
