// The registry store's file layer over SQLite's Unix layer: gathered log
// writes, few reader-mark moves, and write transactions
// under the writer lock alone (see registry_vfs.h).
#include "TobrelTools/platform/registry_vfs.h"
#include "TobrelTools/export.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>

TOBREL_MODULE_ID("registry_vfs.cpp", "2026.12.05");

namespace tobrel {
namespace regstore {

namespace {

const char kName[] = "tobrel-registry";

// Log file layout: a 32-byte file header, then frames of a 24-byte header
// (bytes 4-7: the database size after a commit, zero in other frames)
// followed by one page.
const int kLogHeaderSize = 32;
const int kFrameHeaderSize = 24;
// Gathered bytes are written once this much is waiting (a large transaction
// streams out in pieces of this size). SQLite's Unix layer cannot write more
// than 128 KiB - 1 bytes in one call.
const int kGatherLimit = 96 * 1024;

// Shared index locks, numbered as xShmLock numbers them: 0 writer,
// 1 checkpointer, 2 recovery, 3 + i reader slot i. Slot 0 is for readers
// of the database file alone; slots 1 to 4 carry marks.
const int kFirstMarkSlot = 4;
const int kLastMarkSlot = 7;
const int kMarkSlots = kLastMarkSlot - kFirstMarkSlot + 1;
// One read transaction in this many moves a mark as SQLite would, so that
// marks never fall far behind: checkpoints only copy frames older than every
// mark in use, and readers that keep overlapping would otherwise hold an old
// mark forever.
const unsigned kMoveEvery = 16;
const int kWriterLock = 0;
const int kFirstReaderSlot = 3;
// The reader marks in the shared index's first region (of 32 KiB): after
// the two 48-byte copies of the index header and the count of frames copied.
// A checkpoint that finds a slot free sets its mark to "not in use", which
// limits no later checkpoint.
const int kIndexRegionSize = 32768;
const int kMarksOffset = 100;
const std::uint32_t kMarkNotUsed = 0xFFFFFFFFu;

sqlite3_vfs* base = nullptr;   // SQLite's default layer, set at registration

struct LayerFile {
  sqlite3_file file;      // what SQLite sees; its methods are ours
  sqlite3_file* real;     // the base layer's file, allocated right after this
  bool log;               // a write-ahead log: writes are gathered
  // Gathered log bytes: one contiguous run starting at `runStart`.
  unsigned char* run;
  int runLength;
  int runCapacity;
  sqlite3_int64 runStart;
  bool commitFrame;       // the last piece gathered was a commit frame's header
  int failed;             // a write that could not be reported (see flushAll)
  LayerFile* nextWaiting; // files holding gathered bytes, for barriers
  LayerFile* prevWaiting;
  // Shared index locks held through this file (bit n: lock n).
  unsigned held;
  // Reader mark moves: a round is the attempts of one read transaction's
  // start, ended by the next lock taken.
  bool inRound;
  bool passRound;         // this round's attempts go through
  int declined;           // attempts declined in this round
  unsigned rounds;
  // Write transactions announced by the caller (kWriteIntentControl): the
  // reader slot SQLite believes it holds while the layer holds the writer
  // lock instead.
  bool writeIntent;       // the next reader lock starts a write transaction
  bool ending;            // the transaction ends with nothing read after its commit
  int virtualSlot;        // that reader slot, or -1
  bool slotWriter;        // the writer lock is held for the virtual slot (SQLite has not asked for it)
};

// Files with gathered bytes, so that a barrier on any database writes them
// (guarded: SQLite connections in other threads may use the layer).
std::mutex waitingMutex;
LayerFile* waiting = nullptr;

LayerFile* layerOf(sqlite3_file* f) { return reinterpret_cast<LayerFile*>(f); }

void linkWaiting(LayerFile* f) {
  if (f->prevWaiting || waiting == f) return;
  f->nextWaiting = waiting;
  f->prevWaiting = nullptr;
  if (waiting) waiting->prevWaiting = f;
  waiting = f;
}

void unlinkWaiting(LayerFile* f) {
  if (f->prevWaiting) {
    f->prevWaiting->nextWaiting = f->nextWaiting;
  } else if (waiting == f) {
    waiting = f->nextWaiting;
  } else {
    return;
  }
  if (f->nextWaiting) f->nextWaiting->prevWaiting = f->prevWaiting;
  f->nextWaiting = f->prevWaiting = nullptr;
}

// Writes the gathered run. Called with waitingMutex held.
int flushLocked(LayerFile* f) {
  if (f->runLength == 0) return SQLITE_OK;
  int rc = f->real->pMethods->xWrite(f->real, f->run, f->runLength, f->runStart);
  f->runLength = 0;
  f->commitFrame = false;
  unlinkWaiting(f);
  return rc;
}

int flush(LayerFile* f) {
  std::lock_guard<std::mutex> lock(waitingMutex);
  if (f->failed != SQLITE_OK) return f->failed;
  return flushLocked(f);
}

// Before a barrier on the shared index (a commit is about to be published, or
// a reader is about to look): every gathered run goes to its file. A commit
// writes its run at its commit frame, so normally nothing waits here; a write
// failing here cannot be reported, and fails every later use of that file.
void flushAll() {
  std::lock_guard<std::mutex> lock(waitingMutex);
  while (waiting) {
    LayerFile* f = waiting;
    int rc = flushLocked(f);
    if (rc != SQLITE_OK && f->failed == SQLITE_OK) f->failed = rc;
  }
}

int gather(LayerFile* f, const void* data, int amount, sqlite3_int64 offset) {
  std::lock_guard<std::mutex> lock(waitingMutex);
  if (f->failed != SQLITE_OK) return f->failed;
  int rc = SQLITE_OK;
  if (f->runLength > 0 && (offset != f->runStart + f->runLength || f->runLength + amount > kGatherLimit)) {
    rc = flushLocked(f);
    if (rc != SQLITE_OK) return rc;
  }
  if (amount > kGatherLimit) return f->real->pMethods->xWrite(f->real, data, amount, offset);
  if (f->runLength + amount > f->runCapacity) {
    int capacity = f->runCapacity ? f->runCapacity : 8192;
    while (capacity < f->runLength + amount) capacity *= 2;
    void* grown = std::realloc(f->run, static_cast<std::size_t>(capacity));
    if (!grown) {
      rc = flushLocked(f);
      return rc != SQLITE_OK ? rc : f->real->pMethods->xWrite(f->real, data, amount, offset);
    }
    f->run = static_cast<unsigned char*>(grown);
    f->runCapacity = capacity;
  }
  if (f->runLength == 0) f->runStart = offset;
  std::memcpy(f->run + f->runLength, data, static_cast<std::size_t>(amount));
  f->runLength += amount;
  linkWaiting(f);
  if (amount == kFrameHeaderSize && offset >= kLogHeaderSize) {
    const unsigned char* h = static_cast<const unsigned char*>(data);
    f->commitFrame = (h[4] | h[5] | h[6] | h[7]) != 0;
    return SQLITE_OK;
  }
  // The page of a commit frame completes the transaction's frames.
  if (f->commitFrame) return flushLocked(f);
  return SQLITE_OK;
}

// --- file methods: the log's writes are gathered, everything else first
// writes what is gathered and then goes to the base layer.

int layerClose(sqlite3_file* pf) {
  LayerFile* f = layerOf(pf);
  int rc = f->log ? flush(f) : SQLITE_OK;
  {
    std::lock_guard<std::mutex> lock(waitingMutex);
    unlinkWaiting(f);
  }
  std::free(f->run);
  f->run = nullptr;
  int closed = f->real->pMethods ? f->real->pMethods->xClose(f->real) : SQLITE_OK;
  return rc != SQLITE_OK ? rc : closed;
}

int layerRead(sqlite3_file* pf, void* data, int amount, sqlite3_int64 offset) {
  LayerFile* f = layerOf(pf);
  if (f->log) {
    int rc = flush(f);
    if (rc != SQLITE_OK) return rc;
  }
  return f->real->pMethods->xRead(f->real, data, amount, offset);
}

int layerWrite(sqlite3_file* pf, const void* data, int amount, sqlite3_int64 offset) {
  LayerFile* f = layerOf(pf);
  if (f->log) return gather(f, data, amount, offset);
  return f->real->pMethods->xWrite(f->real, data, amount, offset);
}

int layerTruncate(sqlite3_file* pf, sqlite3_int64 size) {
  LayerFile* f = layerOf(pf);
  if (f->log) {
    int rc = flush(f);
    if (rc != SQLITE_OK) return rc;
  }
  return f->real->pMethods->xTruncate(f->real, size);
}

int layerSync(sqlite3_file* pf, int flags) {
  LayerFile* f = layerOf(pf);
  if (f->log) {
    int rc = flush(f);
    if (rc != SQLITE_OK) return rc;
  }
  return f->real->pMethods->xSync(f->real, flags);
}

int layerFileSize(sqlite3_file* pf, sqlite3_int64* size) {
  LayerFile* f = layerOf(pf);
  if (f->log) {
    int rc = flush(f);
    if (rc != SQLITE_OK) return rc;
  }
  return f->real->pMethods->xFileSize(f->real, size);
}

int layerLock(sqlite3_file* pf, int level) {
  LayerFile* f = layerOf(pf);
  return f->real->pMethods->xLock(f->real, level);
}

int layerUnlock(sqlite3_file* pf, int level) {
  LayerFile* f = layerOf(pf);
  return f->real->pMethods->xUnlock(f->real, level);
}

int layerCheckReservedLock(sqlite3_file* pf, int* out) {
  LayerFile* f = layerOf(pf);
  return f->real->pMethods->xCheckReservedLock(f->real, out);
}

int layerFileControl(sqlite3_file* pf, int op, void* arg) {
  LayerFile* f = layerOf(pf);
  if (op == kWriteIntentControl || op == kTransactionEndsControl) {
    bool on = arg && *static_cast<int*>(arg) != 0;
    (op == kWriteIntentControl ? f->writeIntent : f->ending) = on;
    return SQLITE_OK;
  }
  if (f->log) {
    int rc = flush(f);
    if (rc != SQLITE_OK) return rc;
  }
  if (op == SQLITE_FCNTL_VFSNAME) {
    // Report the base layer's name with ours in front, as layers do.
    int rc = f->real->pMethods->xFileControl(f->real, op, arg);
    char** name = static_cast<char**>(arg);
    if (rc == SQLITE_OK && *name) {
      char* both = sqlite3_mprintf("%s/%s", kName, *name);
      sqlite3_free(*name);
      *name = both;
    } else if (rc == SQLITE_NOTFOUND) {
      *name = sqlite3_mprintf("%s", kName);
      rc = SQLITE_OK;
    }
    return rc;
  }
  return f->real->pMethods->xFileControl(f->real, op, arg);
}

int layerSectorSize(sqlite3_file* pf) {
  LayerFile* f = layerOf(pf);
  return f->real->pMethods->xSectorSize(f->real);
}

int layerDeviceCharacteristics(sqlite3_file* pf) {
  LayerFile* f = layerOf(pf);
  return f->real->pMethods->xDeviceCharacteristics(f->real);
}

int layerShmMap(sqlite3_file* pf, int region, int size, int extend, void volatile** out) {
  LayerFile* f = layerOf(pf);
  return f->real->pMethods->xShmMap(f->real, region, size, extend, out);
}

int realShmLock(LayerFile* f, int offset, int n, int flags) {
  return f->real->pMethods->xShmLock(f->real, offset, n, flags);
}

// The reader lock of a write transaction, taken as the writer lock (see
// registry_vfs.h). When the writer lock cannot be had (another writer, or a
// shared index open for reading only) the reader lock is asked for the usual
// way.
int lockForWriting(LayerFile* f, int slot) {
  f->writeIntent = false;
  int rc = realShmLock(f, kWriterLock, 1, SQLITE_SHM_LOCK | SQLITE_SHM_EXCLUSIVE);
  if (rc != SQLITE_OK) return rc;
  f->virtualSlot = slot;
  f->slotWriter = true;
  f->held |= 1u << slot;
  f->inRound = false;
  return SQLITE_OK;
}

// Whether the mark of a reader slot still limits checkpoints. While the slot
// was virtual, a checkpoint may have found it free and taken its mark out of
// use; a reader lock on it would then not keep later commits from being
// copied into the database file under the reads that follow.
bool markInUse(LayerFile* f, int slot) {
  void volatile* region = nullptr;
  if (f->real->pMethods->xShmMap(f->real, 0, kIndexRegionSize, 0, &region) != SQLITE_OK || !region) return false;
  const volatile unsigned char* marks = static_cast<const volatile unsigned char*>(region) + kMarksOffset;
  std::uint32_t mark;
  std::memcpy(&mark, const_cast<const unsigned char*>(marks) + 4 * (slot - kFirstReaderSlot), sizeof mark);
  return mark != kMarkNotUsed;
}

// SQLite gives the writer lock back while its reader slot is virtual. When
// the transaction ends here nothing more is read, and the slot's release
// costs nothing; otherwise the reader lock is taken for real first (any mark
// still in use is no newer than this transaction's view: nobody could
// commit meanwhile). Should that fail (another connection holds the slot
// for a moment, or the slot's mark is no longer in use), the writer lock is
// kept until the slot is given back, which protects the reads as well.
int releaseWriter(LayerFile* f) {
  f->held &= ~(1u << kWriterLock);
  if (!f->ending) {
    if (realShmLock(f, f->virtualSlot, 1, SQLITE_SHM_LOCK | SQLITE_SHM_SHARED) != SQLITE_OK) {
      f->slotWriter = true;
      return SQLITE_OK;
    }
    if (!markInUse(f, f->virtualSlot)) {
      realShmLock(f, f->virtualSlot, 1, SQLITE_SHM_UNLOCK | SQLITE_SHM_SHARED);
      f->slotWriter = true;
      return SQLITE_OK;
    }
    f->virtualSlot = -1;
  }
  return realShmLock(f, kWriterLock, 1, SQLITE_SHM_UNLOCK | SQLITE_SHM_EXCLUSIVE);
}

// SQLite gives the virtual reader slot back.
int releaseVirtualSlot(LayerFile* f) {
  int rc = SQLITE_OK;
  if (f->slotWriter) rc = realShmLock(f, kWriterLock, 1, SQLITE_SHM_UNLOCK | SQLITE_SHM_EXCLUSIVE);
  f->held &= ~(1u << f->virtualSlot);
  f->slotWriter = false;
  f->virtualSlot = -1;
  return rc;
}

int layerShmLock(sqlite3_file* pf, int offset, int n, int flags) {
  LayerFile* f = layerOf(pf);
  if (f->virtualSlot >= 0 && n == 1) {
    if (offset == kWriterLock && flags == (SQLITE_SHM_LOCK | SQLITE_SHM_EXCLUSIVE) && f->slotWriter) {
      f->slotWriter = false;   // already held
      f->held |= 1u << kWriterLock;
      return SQLITE_OK;
    }
    if (offset == kWriterLock && flags == (SQLITE_SHM_UNLOCK | SQLITE_SHM_EXCLUSIVE) && !f->slotWriter) {
      return releaseWriter(f);
    }
    if (offset == f->virtualSlot && flags == (SQLITE_SHM_UNLOCK | SQLITE_SHM_SHARED)) return releaseVirtualSlot(f);
  }
  if (flags == (SQLITE_SHM_LOCK | SQLITE_SHM_SHARED) && n == 1 && offset >= kFirstReaderSlot &&
      offset <= kLastMarkSlot && f->held == 0 && f->writeIntent && f->virtualSlot < 0) {
    if (lockForWriting(f, offset) == SQLITE_OK) return SQLITE_OK;
  }
  // A reader holding nothing asks for a reader slot exclusively only to move
  // its mark forward. Declining sends it to the newest existing mark. After
  // one whole declined round (no usable mark: the reader retries) the
  // attempts go through, and so do those of every kMoveEvery-th round.
  if (flags == (SQLITE_SHM_LOCK | SQLITE_SHM_EXCLUSIVE) && n == 1 && offset >= kFirstMarkSlot &&
      offset <= kLastMarkSlot && f->held == 0) {
    if (!f->inRound) {
      f->inRound = true;
      f->declined = 0;
      f->passRound = ++f->rounds % kMoveEvery == 0;
    }
    if (!f->passRound) {
      if (f->declined < kMarkSlots) {
        ++f->declined;
        return SQLITE_BUSY;
      }
      f->passRound = true;
    }
  }
  int rc = f->real->pMethods->xShmLock(f->real, offset, n, flags);
  if (rc == SQLITE_OK && offset >= 0 && n > 0 && offset + n <= 16) {
    unsigned mask = ((1u << n) - 1u) << offset;
    if (flags & SQLITE_SHM_LOCK) {
      f->held |= mask;
      f->inRound = false;
    } else {
      f->held &= ~mask;
    }
  }
  return rc;
}

void layerShmBarrier(sqlite3_file* pf) {
  LayerFile* f = layerOf(pf);
  flushAll();
  f->real->pMethods->xShmBarrier(f->real);
}

int layerShmUnmap(sqlite3_file* pf, int deleteFlag) {
  LayerFile* f = layerOf(pf);
  if (f->virtualSlot >= 0) releaseVirtualSlot(f);
  f->held = 0;
  return f->real->pMethods->xShmUnmap(f->real, deleteFlag);
}

int layerFetch(sqlite3_file* pf, sqlite3_int64 offset, int amount, void** out) {
  LayerFile* f = layerOf(pf);
  if (f->real->pMethods->iVersion < 3 || f->log) {
    *out = nullptr;
    return SQLITE_OK;
  }
  return f->real->pMethods->xFetch(f->real, offset, amount, out);
}

int layerUnfetch(sqlite3_file* pf, sqlite3_int64 offset, void* p) {
  LayerFile* f = layerOf(pf);
  if (f->real->pMethods->iVersion < 3 || f->log) return SQLITE_OK;
  return f->real->pMethods->xUnfetch(f->real, offset, p);
}

const sqlite3_io_methods kMethodsV2 = {
    2, layerClose, layerRead, layerWrite, layerTruncate, layerSync, layerFileSize, layerLock, layerUnlock,
    layerCheckReservedLock, layerFileControl, layerSectorSize, layerDeviceCharacteristics, layerShmMap,
    layerShmLock, layerShmBarrier, layerShmUnmap, nullptr, nullptr};

const sqlite3_io_methods kMethodsV3 = {
    3, layerClose, layerRead, layerWrite, layerTruncate, layerSync, layerFileSize, layerLock, layerUnlock,
    layerCheckReservedLock, layerFileControl, layerSectorSize, layerDeviceCharacteristics, layerShmMap,
    layerShmLock, layerShmBarrier, layerShmUnmap, layerFetch, layerUnfetch};

// --- the layer itself: opening wraps the base layer's file; the rest is the
// base layer's.

int layerOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* pf, int flags, int* outFlags) {
  LayerFile* f = layerOf(pf);
  std::memset(f, 0, sizeof *f);
  f->real = reinterpret_cast<sqlite3_file*>(f + 1);
  f->log = (flags & SQLITE_OPEN_WAL) != 0;
  f->virtualSlot = -1;
  int rc = base->xOpen(base, name, f->real, flags, outFlags);
  if (rc != SQLITE_OK || !f->real->pMethods) {
    f->file.pMethods = nullptr;
    return rc;
  }
  // Version 1 files have no shared index; SQLite's Unix layer gives 3.
  f->file.pMethods = f->real->pMethods->iVersion >= 3 ? &kMethodsV3 : &kMethodsV2;
  return SQLITE_OK;
}

int layerDelete(sqlite3_vfs*, const char* name, int syncDir) { return base->xDelete(base, name, syncDir); }
int layerAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
  return base->xAccess(base, name, flags, out);
}
int layerFullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  return base->xFullPathname(base, name, size, out);
}
void* layerDlOpen(sqlite3_vfs*, const char* name) { return base->xDlOpen(base, name); }
void layerDlError(sqlite3_vfs*, int size, char* out) { base->xDlError(base, size, out); }
void (*layerDlSym(sqlite3_vfs*, void* lib, const char* symbol))(void) { return base->xDlSym(base, lib, symbol); }
void layerDlClose(sqlite3_vfs*, void* lib) { base->xDlClose(base, lib); }
int layerRandomness(sqlite3_vfs*, int size, char* out) { return base->xRandomness(base, size, out); }
int layerSleep(sqlite3_vfs*, int micros) { return base->xSleep(base, micros); }
int layerCurrentTime(sqlite3_vfs*, double* out) { return base->xCurrentTime(base, out); }
int layerGetLastError(sqlite3_vfs*, int size, char* out) {
  return base->xGetLastError ? base->xGetLastError(base, size, out) : 0;
}
int layerCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
  if (base->iVersion >= 2 && base->xCurrentTimeInt64) return base->xCurrentTimeInt64(base, out);
  double days = 0;
  int rc = base->xCurrentTime(base, &days);
  *out = static_cast<sqlite3_int64>(days * 86400000.0);
  return rc;
}

sqlite3_vfs layer;

bool registerLayer() {
  base = sqlite3_vfs_find(nullptr);
  if (!base || base->iVersion < 2) return false;
  layer.iVersion = 2;
  layer.szOsFile = static_cast<int>(sizeof(LayerFile)) + base->szOsFile;
  layer.mxPathname = base->mxPathname;
  layer.zName = kName;
  layer.xOpen = layerOpen;
  layer.xDelete = layerDelete;
  layer.xAccess = layerAccess;
  layer.xFullPathname = layerFullPathname;
  layer.xDlOpen = layerDlOpen;
  layer.xDlError = layerDlError;
  layer.xDlSym = layerDlSym;
  layer.xDlClose = layerDlClose;
  layer.xRandomness = layerRandomness;
  layer.xSleep = layerSleep;
  layer.xCurrentTime = layerCurrentTime;
  layer.xGetLastError = layerGetLastError;
  layer.xCurrentTimeInt64 = layerCurrentTimeInt64;
  return sqlite3_vfs_register(&layer, 0) == SQLITE_OK;
}

}  // namespace

const char* storeVfsName() {
  static const bool registered = registerLayer();
  return registered ? kName : nullptr;
}

}  // namespace regstore
}  // namespace tobrel
