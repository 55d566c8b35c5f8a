// The registry store against everything at once, each in a process of its
// own: writers (one of them killed with SIGKILL at random points and
// replaced, again and again), readers that check every value they are
// promised, a process that rolls back batches larger than SQLite's page
// cache, processes that fork a child which outlives them, and plain SQLite
// processes that open, checkpoint (restarting the log) and close the file.
//
// Every writer appends to a record file of its own what each call it was
// told had committed wrote. At the end, every recorded value must be there
// and whole (or replaced by a later version of the same writer), nothing a
// rolled-back batch wrote may be, integrity_check must pass, and the log
// must have stayed under its bound. How the processes interleave is up to
// the machine; pass or fail follows only from what was committed and read.
//
// TOBREL_ADVERSARIAL_SECONDS sets how long the load runs (default 12).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "TobrelTools/platform/internal/registry_store.h"
#include "tests/process_util.h"
#include "tests/registry_test_util.h"
#include "tests/sqlite_util.h"

namespace {

using tobrel::regstore::RegistryStore;
using tobrel::test::spawn;
using tobrel::test::waitExit;

const int kMaxWriters = 256;   // writer ids, victims' replacements included
const std::uint32_t kMagic = 0x41445652;
const std::size_t kLargest = 3 << 20;   // the largest value written
const std::size_t kBatchBytes = 5 << 19;   // what a rolled-back batch writes (the cache holds 2 MB)
// Processes that write at the same time, at the most: two steady writers,
// the victim, the rollbacker, two forkers and their two children.
const int kWritingProcesses = 8;
// The log's bound (see registry.h): the size at which a writer empties it
// itself, the growth a process lets pass before it looks again, and one
// transaction of each writing process.
const long long kLogBound = RegistryStore::kInlineCheckpointBytes + RegistryStore::kCheckpointBytes +
                            kWritingProcesses * static_cast<long long>(std::max(kLargest, kBatchBytes)) * 11 / 10;

// Shared by every process of a run (an anonymous shared mapping).
struct Shared {
  std::atomic<int> stop;
  std::atomic<int> stopDaemons;   // the forked children stop last
  std::atomic<int> failures;
  std::atomic<std::uint32_t> slotsMade[kMaxWriters];   // values 0 .. n-1 of a writer are committed
  std::atomic<std::uint64_t> valuesRead;
  std::atomic<std::uint64_t> rollbacks;
  std::atomic<std::uint64_t> busy;   // calls that found the store busy (nothing committed)
  std::atomic<int> daemons;          // forked children that outlive their parents, still running
  char failure[512];
};
Shared* shared = nullptr;

double loadSeconds() {
  const char* env = std::getenv("TOBREL_ADVERSARIAL_SECONDS");
  return env && *env ? std::atof(env) : 12.0;
}

// A process's failure: the first one is kept for the report.
int failed(const std::string& what) {
  if (shared->failures.fetch_add(1) == 0) {
    std::snprintf(shared->failure, sizeof shared->failure, "pid %d: %s", static_cast<int>(getpid()), what.c_str());
  }
  return 1;
}

std::string writerKey(std::uint32_t writer) { return "Software\\Adv\\W" + std::to_string(writer); }
std::string slotKey(std::uint32_t slot) { return "K" + std::to_string(slot / 16); }
std::string slotName(std::uint32_t slot) { return "v" + std::to_string(slot); }

// A value that names its writer, slot and version and is wrong when torn.
struct Header {
  std::uint32_t magic, writer, slot, version, size;
};

std::string valueData(std::uint32_t writer, std::uint32_t slot, std::uint32_t version, std::size_t size) {
  size = std::max(size, sizeof(Header));
  std::string data(size, '\0');
  Header h = {kMagic, writer, slot, version, static_cast<std::uint32_t>(size)};
  std::memcpy(&data[0], &h, sizeof h);
  std::uint64_t x = (static_cast<std::uint64_t>(writer) << 40) ^ (static_cast<std::uint64_t>(slot) << 16) ^ version;
  for (std::size_t i = sizeof h; i < size; ++i) {
    x = x * 6364136223846793005ULL + 1442695040888963407ULL;
    data[i] = static_cast<char>(x >> 56);
  }
  return data;
}

// The version of a value read back, or -1 when it is not what its writer
// wrote for that slot.
long long versionOf(const std::string& data, std::uint32_t writer, std::uint32_t slot) {
  if (data.size() < sizeof(Header)) return -1;
  Header h;
  std::memcpy(&h, data.data(), sizeof h);
  if (h.magic != kMagic || h.writer != writer || h.slot != slot || h.size != data.size()) return -1;
  return valueData(writer, slot, h.version, h.size) == data ? h.version : -1;
}

// Reads a value of any size (asking again when it grew between the call
// that gave its size and the read); ERROR_SUCCESS, or the registry's error.
LONG readValue(HKEY key, const std::string& name, std::string* out) {
  DWORD size = 0;
  LONG err = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size);
  while (err == ERROR_SUCCESS || err == ERROR_MORE_DATA) {
    out->assign(size + 64, '\0');
    size = static_cast<DWORD>(out->size());
    err = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&(*out)[0]), &size);
    if (err == ERROR_SUCCESS) {
      out->resize(size);
      break;
    }
  }
  return err;
}

// What a writer was told had committed.
struct Record {
  std::uint32_t slot, version;
};

std::string recordPath(const std::string& dir, std::uint32_t writer) {
  return dir + "/records." + std::to_string(writer);
}

// Writes values (new ones, new versions of old ones, now and then a large
// one or two in one batch) and churns scratch keys, recording each value
// once its call has returned. Runs until told to stop.
int writer(const std::string& dir, std::uint32_t id, std::uint32_t seed, std::uint32_t limit = 0,
           const std::atomic<int>* stop = nullptr) {
  if (!stop) stop = &shared->stop;
  int records = ::open(recordPath(dir, id).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (records < 0) return failed("cannot open the record file");
  std::mt19937 random(seed);
  std::vector<std::uint32_t> versions;
  HKEY top = nullptr;
  auto record = [&](std::uint32_t slot, std::uint32_t version) {
    Record r = {slot, version};
    if (::write(records, &r, sizeof r) != static_cast<ssize_t>(sizeof r)) return false;
    if (slot == versions.size()) {
      versions.push_back(version);
      shared->slotsMade[id] = static_cast<std::uint32_t>(versions.size());
    } else {
      versions[slot] = version;
    }
    return true;
  };
  auto set = [&](std::uint32_t slot, std::uint32_t version, std::size_t size) {
    HKEY key = nullptr;
    LONG err = RegCreateKeyExA(top, slotKey(slot).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (err == ERROR_SUCCESS) {
      std::string data = valueData(id, slot, version, size);
      err = RegSetValueExA(key, slotName(slot).c_str(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size()));
      RegCloseKey(key);
    }
    return err;
  };
  for (std::uint32_t op = 0; !*stop && (limit == 0 || op < limit); ++op) {
    if (!top) {
      LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, writerKey(id).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 &top, nullptr);
      if (err == ERROR_BUSY) {
        ++shared->busy;
        continue;
      }
      if (err != ERROR_SUCCESS) return failed("create the writer's key: error " + std::to_string(err));
    }
    unsigned pick = random() % 100;
    std::uint32_t next = static_cast<std::uint32_t>(versions.size());
    LONG err = ERROR_SUCCESS;
    if (pick < 8 && next >= 1) {
      // Two values in one batch: a new one and a new version of an old one.
      std::uint32_t old = static_cast<std::uint32_t>(random() % next);
      tobrel::RegistryBatch batch;
      err = batch.status();
      if (err == ERROR_SUCCESS) err = set(next, 0, 100 + random() % 3000);
      if (err == ERROR_SUCCESS) err = set(old, versions[old] + 1, 100 + random() % 3000);
      if (err == ERROR_SUCCESS) err = batch.commit();
      if (err == ERROR_SUCCESS && !(record(next, 0) && record(old, versions[old] + 1))) return failed("record");
    } else if (pick < 30 && next >= 1) {
      std::uint32_t old = static_cast<std::uint32_t>(random() % next);
      err = set(old, versions[old] + 1, 20 + random() % 2000);
      if (err == ERROR_SUCCESS && !record(old, versions[old] + 1)) return failed("record");
    } else if (pick < 31) {
      err = set(next, 0, (kLargest / 8) + random() % (kLargest * 7 / 8));
      if (err == ERROR_SUCCESS && !record(next, 0)) return failed("record");
    } else if (pick < 45) {
      // Churn that is never recorded: a scratch key with a value, removed.
      HKEY scratch = nullptr;
      err = RegCreateKeyExA(top, "scratch", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &scratch, nullptr);
      if (err == ERROR_SUCCESS) {
        RegSetValueExA(scratch, "tmp", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
        RegCloseKey(scratch);
        err = RegDeleteKeyA(top, "scratch");
      }
    } else {
      err = set(next, 0, 20 + random() % 600);
      if (err == ERROR_SUCCESS && !record(next, 0)) return failed("record");
    }
    if (err == ERROR_BUSY) {
      ++shared->busy;
    } else if (err != ERROR_SUCCESS) {
      return failed("writer " + std::to_string(id) + ": error " + std::to_string(err));
    }
  }
  ::close(records);
  return 0;
}

// Reads values that their writers have reported committed: each must be
// there and whole. Also walks writers' keys while they change.
int reader(std::uint32_t seed, const std::atomic<std::uint32_t>* writers) {
  std::mt19937 random(seed);
  std::string data;
  while (!shared->stop) {
    std::uint32_t count = writers->load();
    std::uint32_t id = count ? static_cast<std::uint32_t>(random() % count) : 0;
    std::uint32_t made = shared->slotsMade[id];
    if (made == 0) {
      sched_yield();
      continue;
    }
    std::uint32_t slot = static_cast<std::uint32_t>(random() % made);
    HKEY key = nullptr;
    std::string path = writerKey(id) + "\\" + slotKey(slot);
    LONG err = RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key);
    if (err == ERROR_SUCCESS) {
      err = readValue(key, slotName(slot), &data);
      if (err == ERROR_SUCCESS && versionOf(data, id, slot) < 0) err = -1;
      if (err == ERROR_SUCCESS) {
        char name[64];
        for (DWORD i = 0; err == ERROR_SUCCESS; ++i) {
          DWORD size = sizeof name;
          err = RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
        }
        if (err == ERROR_NO_MORE_ITEMS) err = ERROR_SUCCESS;
      }
      RegCloseKey(key);
    }
    if (err == ERROR_BUSY) {
      ++shared->busy;
    } else if (err != ERROR_SUCCESS) {
      return failed(path + "\\" + slotName(slot) + (err == -1 ? " read back torn" : ": error " + std::to_string(err)));
    } else {
      ++shared->valuesRead;
    }
  }
  return 0;
}

// Fills a batch past SQLite's page cache and rolls it back, then reads: what
// the batch wrote is never seen. It pauses between batches: a batch holds
// the store's write lock throughout, and SQLite's lock waits are not fair,
// so without a pause the writers could wait for it past their limit.
int rollbacker() {
  std::mt19937 random(77);
  HKEY top = nullptr;
  LONG err = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Adv\\Rollback", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             &top, nullptr);
  if (err != ERROR_SUCCESS) return failed("create the rollback key: error " + std::to_string(err));
  std::string chunk = valueData(0, 0, 0, 64 << 10);
  while (!shared->stop) {
    {
      tobrel::RegistryBatch batch;
      if (batch.status() == ERROR_BUSY) {
        ++shared->busy;
        continue;
      }
      if (batch.status() != ERROR_SUCCESS) return failed("batch: error " + std::to_string(batch.status()));
      for (std::size_t i = 0; i * chunk.size() < kBatchBytes && !shared->stop; ++i) {
        err = RegSetValueExA(top, ("r" + std::to_string(i)).c_str(), 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(chunk.data()), static_cast<DWORD>(chunk.size()));
        if (err != ERROR_SUCCESS) return failed("set in a batch: error " + std::to_string(err));
      }
    }
    DWORD size = 0;
    err = RegQueryValueExA(top, "r0", nullptr, nullptr, nullptr, &size);
    if (err == ERROR_SUCCESS) return failed("a rolled-back value is there");
    if (err != ERROR_FILE_NOT_FOUND && err != ERROR_BUSY) return failed("read: error " + std::to_string(err));
    ++shared->rollbacks;
    usleep(static_cast<useconds_t>(200000 + random() % 300000));
  }
  return 0;
}

// Writes, forks a child that goes on writing until the very end (as a daemon
// would), writes a little more and exits.
int forker(const std::string& dir, std::uint32_t firstId, std::uint32_t childId, std::uint32_t lastId,
           std::uint32_t seed) {
  if (writer(dir, firstId, seed, 40) != 0) return 1;
  ++shared->daemons;
  pid_t child = fork();
  if (child < 0) return failed("fork");
  if (child == 0) {
    int rc = writer(dir, childId, seed + 1, 0, &shared->stopDaemons);
    --shared->daemons;
    _exit(rc);
  }
  return writer(dir, lastId, seed + 2, 40);
}

// Plain SQLite on the file, as another program would use it: open, read,
// now and then a checkpoint that restarts the log, close.
int plainSqlite(const std::string& db, bool checkpoint) {
  sqlite3* h = nullptr;
  int rc = sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) {
    sqlite3_busy_timeout(h, 300);
    rc = sqlite3_exec(h, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK && checkpoint) {
      rc = sqlite3_wal_checkpoint_v2(h, nullptr, SQLITE_CHECKPOINT_RESTART, nullptr, nullptr);
    }
  }
  sqlite3_close(h);
  if (rc == SQLITE_OK || (rc & 0xFF) == SQLITE_BUSY) return 0;
  return failed(std::string("plain SQLite: ") + sqlite3_errstr(rc));
}

long long fileSize(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

// Checks every record of one writer against the store; the number of values
// checked, or -1 after a failure is reported.
long long checkWriter(const std::string& dir, std::uint32_t id) {
  std::vector<unsigned char> bytes = tobrel::test::bytesOf(recordPath(dir, id));
  std::map<std::uint32_t, std::uint32_t> latest;   // slot -> last version recorded
  for (std::size_t at = 0; at + sizeof(Record) <= bytes.size(); at += sizeof(Record)) {
    Record r;
    std::memcpy(&r, &bytes[at], sizeof r);
    latest[r.slot] = std::max(latest[r.slot], r.version);
  }
  HKEY top = nullptr;
  if (!latest.empty() && RegOpenKeyExA(HKEY_CURRENT_USER, writerKey(id).c_str(), 0, KEY_READ, &top) != ERROR_SUCCESS) {
    ADD_FAILURE() << "writer " << id << ": its key is gone";
    return -1;
  }
  std::string data;
  for (const auto& entry : latest) {
    HKEY key = nullptr;
    LONG err = RegOpenKeyExA(top, slotKey(entry.first).c_str(), 0, KEY_READ, &key);
    if (err == ERROR_SUCCESS) {
      err = readValue(key, slotName(entry.first), &data);
      RegCloseKey(key);
    }
    long long version = err == ERROR_SUCCESS ? versionOf(data, id, entry.first) : -1;
    if (version < entry.second) {   // a killed writer may have committed a later version unrecorded
      ADD_FAILURE() << "writer " << id << ", value " << entry.first << ": committed version " << entry.second
                    << ", found " << (err == ERROR_SUCCESS ? "version " + std::to_string(version)
                                                           : "error " + std::to_string(err));
      RegCloseKey(top);
      return -1;
    }
  }
  RegCloseKey(top);
  return static_cast<long long>(latest.size());
}

TEST(RegistryAdversarialTest, NothingCommittedIsLostWhateverTheOtherProcessesDo) {
  std::string db = tobrel::test::freshRegistryStore();   // this process never opens it during the run
  std::string dir = db.substr(0, db.find_last_of('/'));
  for (int id = 0; id < kMaxWriters; ++id) std::remove(recordPath(dir, static_cast<std::uint32_t>(id)).c_str());
  void* memory = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(memory, MAP_FAILED);
  shared = new (memory) Shared();
  // Forked children that outlive their parents come back to this process.
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

  const double seconds = loadSeconds();
  const unsigned limit = static_cast<unsigned>(seconds) * 3 + 300;   // a hung process fails the test
  std::mt19937 random(20261206);
  std::atomic<std::uint32_t>* writers = new (mmap(nullptr, sizeof(std::atomic<std::uint32_t>),
                                                  PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0))
      std::atomic<std::uint32_t>(0);
  auto newWriterId = [&] { return writers->fetch_add(1); };

  std::vector<pid_t> steady;   // processes that run to the end and must succeed
  for (int i = 0; i < 2; ++i) {
    std::uint32_t id = newWriterId();
    steady.push_back(spawn([&, id] { return writer(dir, id, 1000 + id); }, limit));
  }
  for (int i = 0; i < 2; ++i) {
    steady.push_back(spawn([&, i] { return reader(2000 + i, writers); }, limit));
  }
  steady.push_back(spawn(rollbacker, limit));

  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const Clock::time_point end = start + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  std::uint32_t victimId = newWriterId();
  pid_t victim = spawn([&, victimId] { return writer(dir, victimId, 3000 + victimId); }, limit);
  Clock::time_point nextKill = Clock::now() + std::chrono::milliseconds(100 + random() % 400);
  Clock::time_point nextPlain = Clock::now() + std::chrono::milliseconds(150);
  int forks = 0, kills = 0, plains = 0;
  std::vector<std::uint32_t> daemonIds;
  long long largestLog = 0;
  while (Clock::now() < end && shared->failures == 0) {
    largestLog = std::max(largestLog, fileSize(db + "-wal"));
    Clock::time_point now = Clock::now();
    if (now >= nextKill) {
      ::kill(victim, SIGKILL);
      int status = waitExit(victim);
      EXPECT_TRUE(status == 1000 + SIGKILL || status == 0) << "a writer to be killed ended with " << status;
      ++kills;
      if (writers->load() + 4 >= static_cast<std::uint32_t>(kMaxWriters)) break;
      victimId = newWriterId();
      victim = spawn([&, victimId] { return writer(dir, victimId, 3000 + victimId); }, limit);
      nextKill = now + std::chrono::milliseconds(50 + random() % 600);
    }
    if (now >= nextPlain) {
      EXPECT_EQ(waitExit(spawn([&] { return plainSqlite(db, plains % 2 == 1); }, limit)), 0);
      ++plains;
      nextPlain = now + std::chrono::milliseconds(100 + random() % 300);
    }
    // A forking process at a third and at two thirds of the run.
    if (forks < 2 && now >= start + (end - start) * (forks + 1) / 3) {
      std::uint32_t firstId = newWriterId(), childId = newWriterId(), lastId = newWriterId();
      daemonIds.push_back(childId);
      steady.push_back(spawn([&] { return forker(dir, firstId, childId, lastId, 4000 + firstId); }, limit));
      ++forks;
    }
    usleep(2000);
  }
  shared->stop = 1;
  for (pid_t pid : steady) EXPECT_EQ(waitExit(pid), 0);
  EXPECT_EQ(waitExit(victim) % 1000, 0);
  // Only the forked children are left (their parents have long gone): a
  // plain SQLite process that opens and closes the file now finds no other
  // user, checkpoints and removes the log; what they commit afterwards must
  // still count.
  EXPECT_EQ(waitExit(spawn([&] { return plainSqlite(db, false); }, limit)), 0);
  for (std::uint32_t id : daemonIds) {
    std::uint32_t made = shared->slotsMade[id];
    Clock::time_point giveUp = Clock::now() + std::chrono::seconds(60);   // a hang is a failure too
    while (shared->slotsMade[id] < made + 5 && shared->failures == 0 && Clock::now() < giveUp) usleep(1000);
    EXPECT_GE(shared->slotsMade[id], made + 5) << "writer " << id << " (a forked child) stopped making progress";
  }
  shared->stopDaemons = 1;
  // The forked children, reparented here.
  for (int status; waitpid(-1, &status, 0) > 0;) EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(shared->daemons.load(), 0);
  largestLog = std::max(largestLog, fileSize(db + "-wal"));
  ASSERT_EQ(shared->failures.load(), 0) << shared->failure;

  // Every value recorded, read back by a process that opens the store anew.
  tobrel::registryStoreReset(db.c_str());
  long long checked = 0;
  for (std::uint32_t id = 0; id < writers->load(); ++id) {
    long long n = checkWriter(dir, id);
    if (n < 0) break;
    checked += n;
  }
  HKEY rollback = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Adv\\Rollback", 0, KEY_READ, &rollback), ERROR_SUCCESS);
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumValueA(rollback, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  RegCloseKey(rollback);
  tobrel::registryStoreReset(nullptr);
  EXPECT_EQ(tobrel::test::integrityCheck(db), "ok");
  EXPECT_LE(largestLog, kLogBound);
  std::printf("%.0f s: %u writers (%d killed), %d forked children, %d plain SQLite processes, %llu rolled-back "
              "batches; %lld values checked, %llu read while running, %llu calls found the store busy; largest "
              "log %lld bytes (bound %lld)\n",
              seconds, writers->load(), kills, forks, plains, static_cast<unsigned long long>(shared->rollbacks),
              checked, static_cast<unsigned long long>(shared->valuesRead),
              static_cast<unsigned long long>(shared->busy), largestLog, kLogBound);
  EXPECT_GT(checked, 0);
  munmap(writers, sizeof(std::atomic<std::uint32_t>));
  munmap(memory, sizeof(Shared));
}

}  // namespace
