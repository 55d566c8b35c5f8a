#include "TobrelTools/persist/DupChecker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "TobrelTools/persist/Persistable.h"

// What the tests see of the checker's storage.
struct DupCheckerInspector {
  static std::size_t tableSlots(const DupChecker& d) { return d.slots_ ? d.mask_ + 1 : 0; }
  static const void* table(const DupChecker& d) { return d.slots_; }
  static std::size_t sequenceCapacity(const DupChecker& d) { return d.objects_.capacity(); }
};

namespace {

// Addresses that are never dereferenced: the checker only compares them.
const Persistable* fake(std::uintptr_t address) { return reinterpret_cast<const Persistable*>(address); }

// Records n addresses from base at the given stride, then checks that each
// one is found at its own index, last one first.
void recordAndFind(DupChecker& d, std::uintptr_t base, std::uintptr_t stride, int n) {
  for (int i = 0; i < n; ++i) ASSERT_EQ(d.add(fake(base + i * stride)), -1) << "address " << i;
  ASSERT_EQ(d.entries(), static_cast<unsigned int>(n));
  for (int i = n - 1; i >= 0; --i) {
    ASSERT_EQ(d.add(fake(base + i * stride)), i);
    ASSERT_EQ(d.get(i), fake(base + i * stride));
  }
  ASSERT_EQ(d.entries(), static_cast<unsigned int>(n));
}

// A pass over many objects: each lookup must find its own index, in any
// order, among hundreds of thousands of entries. A checker that scans its
// sequence would need about 10^11 comparisons here and never finish within
// the test's time limit.
TEST(DupCheckerTest, LargePassesFindEveryIndex) {
  const int n = 400000;
  std::vector<Persistable> objects(n);
  DupChecker d;
  for (int i = 0; i < n; ++i) ASSERT_EQ(d.add(&objects[i]), -1);
  ASSERT_EQ(d.entries(), static_cast<unsigned int>(n));
  for (int i = n - 1; i >= 0; i -= 7) ASSERT_EQ(d.add(&objects[i]), i);
  for (int i = 0; i < n; i += 13) ASSERT_EQ(d.get(i), &objects[i]);
  d.clear();
  EXPECT_EQ(d.add(&objects[n - 1]), -1);
  EXPECT_EQ(d.add(&objects[n - 1]), 0);
}

// Passes of the same size keep their storage; a pass much larger than the
// ones before gives its storage back when it is cleared; small passes never
// release anything.
TEST(DupCheckerTest, ClearKeepsStorageForPassesLikeTheLastOnes) {
  DupChecker d;
  recordAndFind(d, 0x100000, 16, 100000);
  d.clear();  // the first large pass after nothing: unusually large
  EXPECT_LE(DupCheckerInspector::tableSlots(d), 8192u);
  EXPECT_LE(DupCheckerInspector::sequenceCapacity(d), 4096u);

  recordAndFind(d, 0x100000, 16, 100000);
  const void* table = DupCheckerInspector::table(d);
  const std::size_t slots = DupCheckerInspector::tableSlots(d);
  EXPECT_GE(slots, 200000u);
  d.clear();  // the second such pass: kept
  EXPECT_EQ(DupCheckerInspector::table(d), table);
  EXPECT_EQ(DupCheckerInspector::tableSlots(d), slots);
  recordAndFind(d, 0x200000, 16, 100000);
  EXPECT_EQ(DupCheckerInspector::table(d), table);  // no regrowth
  d.clear();

  recordAndFind(d, 0x100000, 24, 50);  // a small pass after large ones
  d.clear();
  EXPECT_LE(DupCheckerInspector::tableSlots(d), 8192u);
  EXPECT_LE(DupCheckerInspector::sequenceCapacity(d), 4096u);

  recordAndFind(d, 0x100000, 24, 3000);
  d.clear();
  recordAndFind(d, 0x100000, 24, 3000);
  const void* small = DupCheckerInspector::table(d);
  for (int pass = 0; pass < 3; ++pass) {
    d.clear();
    EXPECT_EQ(DupCheckerInspector::table(d), small);
    recordAndFind(d, 0x300000 + pass * 8, 40, pass == 1 ? 5 : 3000);  // few entries in the kept table, then many
  }
}

}  // namespace

namespace {

// The checker as its interface describes it: a sequence scanned for an
// address (here through a map from address to index).
class ReferenceChecker {
 public:
  int add(const Persistable* obj) {
    auto found = index_.find(obj);
    if (found != index_.end()) return found->second;
    index_.emplace(obj, static_cast<int>(objects_.size()));
    objects_.push_back(obj);
    return -1;
  }
  const Persistable* get(int index) const {
    return static_cast<unsigned int>(index) < objects_.size() ? objects_[static_cast<unsigned int>(index)] : nullptr;
  }
  unsigned int entries() const { return static_cast<unsigned int>(objects_.size()); }
  void clear() {
    objects_.clear();
    index_.clear();
  }

 private:
  std::vector<const Persistable*> objects_;
  std::map<const Persistable*, int> index_;
};

// Random runs of every operation, record (restore's deferred add) among
// them, against the reference, with out-of-range indices (negative, past the
// end) and fresh addresses at strides from 8 bytes to 1 MiB (a hash that
// looked at only part of the address would pile them up; a probe or a
// regrowth that lost an entry shows as a wrong index). Addresses come mostly fresh, often again
// (recently or long ago), sometimes null, sometimes alike in their low 32
// bits (on 64-bit hosts: with more high halves than the table has tags, in
// every other run); runs of record cross the deferred
// batches with duplicates inside them, and references reach into the batch
// still pending. Copies are taken mid-run and must go on alike.
TEST(DupCheckerTest, BehavesAsTheSequenceItDescribes) {
  for (unsigned int seed = 1; seed <= 12; ++seed) {
    std::mt19937 rng(seed);
    DupChecker d;
    ReferenceChecker ref;
    std::vector<const Persistable*> seen;
    std::uintptr_t next = 0x10000 + seed * 8;
    const std::uintptr_t strides[] = {8, 24, 4096, std::uintptr_t(1) << 20};
    const std::uintptr_t stride = strides[seed % 4];
    auto address = [&]() -> const Persistable* {
      const unsigned int pick = rng() % 100;
      if (pick < 3) return nullptr;
      if (pick < 25 && !seen.empty()) return seen[seen.size() - 1 - rng() % std::min<std::size_t>(seen.size(), 40)];
      if (pick < 35 && !seen.empty()) return seen[rng() % seen.size()];
      if (pick < 40) return fake((static_cast<std::uintptr_t>(rng()) << 4) | 8);
      if (pick < 46) {
        // The low half of an address seen before under another high half:
        // of a few (one tag each) or of more than there are tags.
        const std::uint64_t high = 1 + rng() % (seed % 2 == 0 ? 3 : 40);
        const std::uint64_t low = seen.empty() ? 0x1000 : reinterpret_cast<std::uintptr_t>(seen[rng() % seen.size()]);
        return fake(static_cast<std::uintptr_t>((high << 32) | (low & 0xFFFFFFFFu)));
      }
      next += stride;
      seen.push_back(fake(next));
      return seen.back();
    };
    for (int step = 0; step < 30000; ++step) {
      const unsigned int op = rng() % 100;
      if (op < 45) {
        const Persistable* obj = address();
        d.record(obj);
        ref.add(obj);
      } else if (op < 70) {
        const Persistable* obj = address();
        ASSERT_EQ(d.add(obj), ref.add(obj)) << "seed " << seed << " step " << step;
      } else if (op < 92) {
        const unsigned int n = ref.entries();
        int index = static_cast<int>(rng() % 4 == 0 ? n - rng() % 4 : n == 0 ? 0 : n - 1 - rng() % std::min(n, 40u));
        if (rng() % 64 == 0) index = -2147483647 - 1;
        ASSERT_EQ(d.get(index), ref.get(index)) << "seed " << seed << " step " << step << " index " << index;
      } else if (op < 97) {
        ASSERT_EQ(d.entries(), ref.entries()) << "seed " << seed << " step " << step;
      } else if (op < 99) {
        DupChecker copy(d);
        for (int i = 0; i < 20; ++i) {
          const Persistable* obj = address();
          copy.record(obj);
          d.record(obj);
          ref.add(obj);
        }
        ASSERT_EQ(copy.entries(), ref.entries());
        for (unsigned int i = 0; i < ref.entries(); i += 97) ASSERT_EQ(copy.get(static_cast<int>(i)), ref.get(static_cast<int>(i)));
        d = copy;
      } else if (rng() % (seed % 2 ? 8 : 1) == 0) {
        // Passes of many sizes (a small one in a table kept from a large
        // one); addresses of earlier passes come again, new once more.
        d.clear();
        ref.clear();
      }
    }
    ASSERT_EQ(d.entries(), ref.entries());
    for (unsigned int i = 0; i < ref.entries(); ++i) ASSERT_EQ(d.get(static_cast<int>(i)), ref.get(static_cast<int>(i)));
  }
}

}  // namespace
