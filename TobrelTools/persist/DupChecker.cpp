#include "TobrelTools/persist/DupChecker.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "TobrelTools/persist/globals.h"

static const char sccsid[] __attribute__((used)) = "@(#)DupChecker.cpp:  Ver01.00  2026.12.05";

namespace {

// The smallest table made.
const std::size_t kMinSlots = 64;
// Storage for passes of up to this many entries is always kept (a table of
// 8192 slots: 128 KiB on 64-bit hosts, 64 KiB on 32-bit ones).
const std::size_t kAlwaysKept = 4096;

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

// Fibonacci hashing: the top bits of the address times 2^64 / phi depend on
// every bit of the address, so the zero low bits of aligned objects and the
// common high bits of one heap spread over the whole table.
inline std::size_t hashSlot(const Persistable* obj, unsigned int shift) {
  const std::uint64_t a = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(obj));
  return static_cast<std::size_t>((a * 0x9E3779B97F4A7C15ull) >> shift);
}

}  // namespace

DupChecker::DupChecker()
    : slots_(nullptr), mask_(0), shift_(0), nullIndex_(-1), lastPass_(0), expected_(0) {}

DupChecker::DupChecker(const DupChecker& other) : DupChecker() { *this = other; }

DupChecker& DupChecker::operator=(const DupChecker& other) {
  if (this == &other) return *this;
  std::vector<const Persistable*> objects(other.objects_);
  Slot* slots = nullptr;
  if (other.slots_) {
    const std::size_t bytes = (other.mask_ + 1) * sizeof(Slot);
    slots = static_cast<Slot*>(std::malloc(bytes));
    if (!slots) throw std::bad_alloc();
    std::memcpy(slots, other.slots_, bytes);
  }
  releaseTable();
  objects_.swap(objects);
  slots_ = slots;
  mask_ = other.mask_;
  shift_ = other.shift_;
  nullIndex_ = other.nullIndex_;
  lastPass_ = other.lastPass_;
  expected_ = other.expected_;
  return *this;
}

DupChecker::~DupChecker() { releaseTable(); }

DupChecker* DupChecker::getInstance() { return tobrel::theDupCheckerManager.get(); }

void DupChecker::destroyInstance() { tobrel::theDupCheckerManager.freeValue(); }

void DupChecker::releaseTable() {
  std::free(slots_);
  slots_ = nullptr;
  mask_ = 0;
  shift_ = 0;
}

void DupChecker::rebuild(std::size_t slots) {
  Slot* table = static_cast<Slot*>(std::calloc(slots, sizeof(Slot)));
  if (!table) throw std::bad_alloc();
  releaseTable();
  slots_ = table;
  mask_ = slots - 1;
  shift_ = 64 - log2Of(slots);
  // In recording order: the sequence is read straight through.
  const int n = static_cast<int>(objects_.size());
  for (int i = 0; i < n; ++i) {
    const Persistable* obj = objects_[static_cast<std::size_t>(i)];
    if (!obj) continue;
    std::size_t s = hashSlot(obj, shift_);
    while (slots_[s].object) s = (s + 1) & mask_;
    slots_[s].object = obj;
    slots_[s].index = i;
  }
}

void DupChecker::reserveOne() {
  const std::size_t needed = objects_.size() + 1;
  if (slots_ && needed <= (mask_ + 1) / 2) return;
  if (needed > static_cast<std::size_t>(2147483647)) throw std::bad_alloc();  // indices are ints
  // A new table is sized for the passes that came before, a full one
  // doubles; the sequence grows along with it.
  std::size_t slots = slotsFor(std::max(needed, slots_ ? needed : expected_));
  if (objects_.capacity() < slots / 2) objects_.reserve(slots / 2);
  rebuild(slots);
}

std::size_t DupChecker::slotOf(const Persistable* obj) const {
  std::size_t s = hashSlot(obj, shift_);
  while (slots_[s].object != obj) s = (s + 1) & mask_;
  return s;
}

int DupChecker::add(const Persistable* obj) {
  if (!obj) {
    if (nullIndex_ >= 0) return nullIndex_;
    const int next = static_cast<int>(objects_.size());
    objects_.push_back(obj);
    nullIndex_ = next;
    return -1;
  }
  reserveOne();
  std::size_t s = hashSlot(obj, shift_);
  for (;;) {
    Slot& slot = slots_[s];
    if (slot.object == obj) return slot.index;
    if (!slot.object) break;
    s = (s + 1) & mask_;
  }
  const int next = static_cast<int>(objects_.size());
  objects_.push_back(obj);  // if this throws, nothing has changed
  slots_[s].object = obj;
  slots_[s].index = next;
  return -1;
}

Persistable* DupChecker::get(int index) const {
  if (static_cast<unsigned int>(index) >= objects_.size()) return nullptr;
  return const_cast<Persistable*>(objects_[static_cast<unsigned int>(index)]);
}

unsigned int DupChecker::entries() const { return static_cast<unsigned int>(objects_.size()); }

void DupChecker::clear() {
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
      for (const Persistable* obj : objects_) {
        if (obj) slots_[slotOf(obj)].object = nullptr;
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
  nullIndex_ = -1;
}
