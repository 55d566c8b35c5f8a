#include "TobrelTools/persist/DupChecker.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/internal/globals.h"
#include "TobrelTools/persist/internal/nesting.h"

TOBREL_MODULE_ID("DupChecker.cpp", "2026.12.05");

namespace {

// The smallest table made.
const std::size_t kMinSlots = 64;
// Storage for passes of up to this many entries is always kept (a table of
// 8192 slots: 64 KiB).
const std::size_t kAlwaysKept = 4096;
// Objects recorded by record() whose table work waits: enough for the
// fetches of their slots to be done when the batch is entered.
const std::size_t kBatch = 16;

// The table size for n entries: a power of two at least twice n.
std::size_t slotsFor(std::size_t n) {
  std::size_t slots = kMinSlots;
  while (slots / 2 < n) {
    if (slots > (static_cast<std::size_t>(-1) >> 2)) throw std::bad_alloc();
    slots *= 2;
  }
  return slots;
}

unsigned int log2Of(std::size_t powerOfTwo) {
  unsigned int bits = 0;
  while ((static_cast<std::size_t>(1) << bits) < powerOfTwo) ++bits;
  return bits;
}

// The table's slots go in groups of one cache line (8 slots of 8 bytes).
// The objects of one 64-byte stretch of memory
// share a group, so that an object and the members it holds (a string, say)
// cost one cache miss in the table, not one each; the groups themselves are
// spread by the hash.
const std::size_t kLine = 64;
const unsigned int kGroupBits = 3;
// Tagged slots hold the index + 1 in 28 bits: tables of up to this many
// slots (half of them used at most) stay tagged.
const std::size_t kMaxTaggedSlots = static_cast<std::size_t>(1) << 28;

inline std::uint32_t lowOf(const Persistable* obj) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(obj));
}
inline std::uint32_t highOf(const Persistable* obj) {
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(obj)) >> 32);
}

// The group of an address: Fibonacci hashing of its 4 KiB page (the top bits
// of the product with 2^64 / phi depend on every bit of the page number, so
// the pages of one heap spread over the whole table), and within the page,
// its 64-byte stretch picks one of the 64 groups of the page's block of the
// table. Objects allocated one after another thus meet in one block of the
// table, which a pass reading a graph back (or walking objects in the order
// they were made) touches a page at a time rather than a line per object.
// The low bits of the address pick the slot in the group.
inline std::size_t hashSlot(const Persistable* obj, unsigned int shift) {
  const std::uint64_t a = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(obj));
  const std::uint64_t groupMask = ~static_cast<std::uint64_t>(0) >> shift;
  const std::uint64_t page = ((a >> 12) * 0x9E3779B97F4A7C15ull) >> shift;
  const std::size_t line = static_cast<std::size_t>((page ^ ((a >> 6) & 63)) & groupMask);
  return (line << kGroupBits) | static_cast<std::size_t>((a >> (6 - kGroupBits)) & ((1u << kGroupBits) - 1));
}

}  // namespace

DupChecker::DupChecker()
    : settled_(0), block_(nullptr), slots_(nullptr), mask_(0), shift_(0), nullIndex_(-1), lastPass_(0), expected_(0),
      verify_(false), tags_(0), lastTag_(0), highs_() {}

DupChecker::DupChecker(const DupChecker& other) : DupChecker() { *this = other; }

DupChecker& DupChecker::operator=(const DupChecker& other) {
  if (this == &other) return *this;
  other.settleView();
  // Made aside, so that a failed allocation leaves this checker as it was.
  DupChecker copy;
  copy.objects_.reserve(other.objects_.capacity());
  copy.objects_ = other.objects_;
  copy.tags_ = other.tags_;
  std::copy(other.highs_, other.highs_ + kTags, copy.highs_);
  if (other.slots_) copy.rebuild(other.mask_ + 1, other.verify_);
  copy.nullIndex_ = other.nullIndex_;
  copy.lastPass_ = other.lastPass_;
  copy.expected_ = other.expected_;
  objects_.swap(copy.objects_);
  settled_ = objects_.size();
  std::swap(block_, copy.block_);
  std::swap(slots_, copy.slots_);
  std::swap(mask_, copy.mask_);
  std::swap(shift_, copy.shift_);
  nullIndex_ = copy.nullIndex_;
  verify_ = copy.verify_;
  tags_ = copy.tags_;
  lastTag_ = 0;
  std::copy(copy.highs_, copy.highs_ + kTags, highs_);
  lastPass_ = copy.lastPass_;
  expected_ = copy.expected_;
  return *this;
}

DupChecker::~DupChecker() { releaseTable(); }

DupCheckerManager& tobrel::theDupCheckerManager() {
  static DupCheckerManager holder;
  return holder;
}

DupCheckerManager::~DupCheckerManager() { retire(); }
DupChecker* DupCheckerManager::get() { return static_cast<DupChecker*>(getOrAdd()); }
void* DupCheckerManager::newValue() { return new DupChecker(); }
void DupCheckerManager::deleteValue(void* value) {
  if (value != nullptr) delete static_cast<DupChecker*>(value);
}

DupChecker* DupChecker::getInstance() { return tobrel::theDupCheckerManager().get(); }

void DupChecker::destroyInstance() {
  tobrel::forgetCheckerOfThread();  // a pass running on the thread must not keep it
  tobrel::theDupCheckerManager().freeValue();
}

void DupChecker::releaseTable() {
  std::free(block_);
  block_ = nullptr;
  slots_ = nullptr;
  mask_ = 0;
  shift_ = 0;
}

void DupChecker::rebuild(std::size_t slots, bool verify) {
  static_assert(sizeof(Slot) << kGroupBits == kLine, "a group of slots fills one cache line");
  // calloc, for the fresh zero pages of large blocks; the table starts at
  // the first cache line boundary in the block.
  void* block = std::calloc(slots * sizeof(Slot) + kLine, 1);
  if (!block) throw std::bad_alloc();
  releaseTable();
  block_ = block;
  slots_ = reinterpret_cast<Slot*>((reinterpret_cast<std::uintptr_t>(block) + kLine - 1) & ~(kLine - 1));
  mask_ = slots - 1;
  shift_ = 64 - (log2Of(slots) - kGroupBits);
  verify_ = verify;
  // In recording order: the sequence is read straight through. Every
  // recorded high half has its tag.
  const std::size_t n = objects_.size();
  for (std::size_t i = 0; i < n; ++i) {
    const Persistable* obj = objects_[i];
    if (!obj) continue;
    std::size_t s = hashSlot(obj, shift_);
    while (slots_[s].meta) s = (s + 1) & mask_;
    slots_[s].low = lowOf(obj);
    slots_[s].meta = metaFor(i, verify_ ? 0 : findTag(highOf(obj)));
  }
  settled_ = n;
}

unsigned int DupChecker::findTag(std::uint32_t high) {
  if (lastTag_ < tags_ && highs_[lastTag_] == high) return lastTag_;
  for (unsigned int t = 0; t < tags_; ++t) {
    if (highs_[t] == high) {
      lastTag_ = t;
      return t;
    }
  }
  return kTags;
}

unsigned int DupChecker::newTag(std::uint32_t high) {
  if (tags_ < kTags) {
    highs_[tags_] = high;
    lastTag_ = tags_;
    return tags_++;
  }
  rebuild(mask_ + 1, true);
  return 0;
}

std::size_t DupChecker::probe(const Persistable* obj, unsigned int tag) const {
  const std::uint32_t low = lowOf(obj);
  std::size_t s = hashSlot(obj, shift_);
  for (;;) {
    const Slot& slot = slots_[s];
    if (!slot.meta || holds(slot, obj, low, tag)) return s;
    s = (s + 1) & mask_;
  }
}

void DupChecker::settle() {
  const std::size_t n = objects_.size();
  std::size_t next = settled_;
  for (std::size_t i = settled_; i < n; ++i) {
    const Persistable* obj = objects_[i];  // never null: record adds null at once
    const unsigned int tag = verify_ ? 0 : findTag(highOf(obj));  // record gave it one
    const std::size_t s = probe(obj, tag);
    if (slots_[s].meta) continue;  // recorded already: not appended
    slots_[s].low = lowOf(obj);
    slots_[s].meta = metaFor(next, tag);
    objects_[next++] = obj;
  }
  objects_.resize(next);  // only ever shrinks: no allocation
  settled_ = next;
}

void DupChecker::reserveOne() {
  const std::size_t needed = objects_.size() + 1;
  if (slots_ && needed <= (mask_ + 1) / 2) return;
  settle();  // the new table is made from the sequence
  if (needed > static_cast<std::size_t>(2147483647)) throw std::bad_alloc();  // indices are ints
  // A new table is sized for the passes that came before, a full one
  // doubles; the sequence grows along with it.
  std::size_t slots = slotsFor(std::max(needed, slots_ ? needed : expected_));
  if (objects_.capacity() < slots / 2) objects_.reserve(slots / 2);
  rebuild(slots, verify_ || slots > kMaxTaggedSlots);
}

int DupChecker::add(const Persistable* obj) {
  if (settled_ != objects_.size()) settle();
  if (!obj) {
    if (nullIndex_ >= 0) return nullIndex_;
    const int next = static_cast<int>(objects_.size());
    objects_.push_back(obj);
    settled_ = objects_.size();
    nullIndex_ = next;
    return -1;
  }
  if (!slots_ || objects_.size() + 1 > (mask_ + 1) / 2) reserveOne();
  unsigned int tag = verify_ ? 0 : findTag(highOf(obj));
  std::size_t s = probe(obj, tag);
  if (slots_[s].meta) return indexIn(slots_[s]);
  if (tag == kTags) {
    tag = newTag(highOf(obj));
    if (verify_) s = probe(obj, tag);  // the table was made again
  }
  const std::size_t next = objects_.size();
  objects_.push_back(obj);  // if this throws, nothing recorded has changed
  settled_ = objects_.size();
  slots_[s].low = lowOf(obj);
  slots_[s].meta = metaFor(next, tag);
  return -1;
}

void DupChecker::record(const Persistable* obj) {
  if (!obj) {
    add(obj);
    return;
  }
  if (objects_.size() - settled_ >= kBatch) settle();
  if (!slots_ || objects_.size() + 1 > (mask_ + 1) / 2) reserveOne();
  if (!verify_ && findTag(highOf(obj)) == kTags) {
    settle();  // a new tag may make the table again
    newTag(highOf(obj));
  }
  objects_.push_back(obj);  // within the capacity reserveOne made
  __builtin_prefetch(&slots_[hashSlot(obj, shift_)], 1);
}

Persistable* DupChecker::get(int index) const {
  const std::size_t i = static_cast<unsigned int>(index);
  if (i >= settled_) {
    // Entries before the pending ones never move; later ones may.
    settleView();
    if (i >= objects_.size()) return nullptr;
  }
  return const_cast<Persistable*>(objects_[i]);
}

unsigned int DupChecker::entries() const {
  settleView();
  return static_cast<unsigned int>(objects_.size());
}

void DupChecker::clear() {
  settle();
  const std::size_t pass = objects_.size();
  const std::size_t keep = std::max(kAlwaysKept, std::min(pass, lastPass_));
  lastPass_ = pass;
  expected_ = std::min(pass, keep);
  const std::size_t keptSlots = slotsFor(keep);
  if (slots_) {
    const std::size_t size = mask_ + 1;
    if (size > keptSlots) {
      releaseTable();
    } else if (pass < size / 16) {
      // A few entries in a large table: free their slots one by one rather
      // than wiping the whole table.
      // A freed slot may sit in the probe of a later one: look past free
      // slots here.
      for (const Persistable* obj : objects_) {
        if (!obj) continue;
        const std::uint32_t low = lowOf(obj);
        const unsigned int tag = verify_ ? 0 : findTag(highOf(obj));
        std::size_t s = hashSlot(obj, shift_);
        while (!holds(slots_[s], obj, low, tag)) s = (s + 1) & mask_;
        slots_[s].meta = 0;
      }
    } else {
      std::memset(slots_, 0, size * sizeof(Slot));
    }
  }
  if (objects_.capacity() > keptSlots / 2) {
    std::vector<const Persistable*>().swap(objects_);
  } else {
    objects_.clear();
  }
  settled_ = 0;
  nullIndex_ = -1;
  verify_ = false;  // the table, if kept, is empty
  tags_ = 0;
  lastTag_ = 0;
}
