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

TEST(DupCheckerTest, IndicesFollowTheOrderOfFirstRecording) {
  DupChecker d;
  Persistable a, b;
  EXPECT_EQ(d.add(&a), -1);
  EXPECT_EQ(d.add(&a), 0);
  EXPECT_EQ(d.add(&b), -1);
  EXPECT_EQ(d.add(&b), 1);
  EXPECT_EQ(d.add(&a), 0);
  EXPECT_EQ(d.entries(), 2u);
  EXPECT_EQ(d.get(0), &a);
  EXPECT_EQ(d.get(1), &b);
}

TEST(DupCheckerTest, OutOfRangeIndicesGiveNull) {
  DupChecker d;
  Persistable a;
  EXPECT_EQ(d.get(0), nullptr);
  EXPECT_EQ(d.get(-1), nullptr);
  d.add(&a);
  EXPECT_EQ(d.get(-1), nullptr);
  EXPECT_EQ(d.get(1), nullptr);
  EXPECT_EQ(d.get(-2147483647 - 1), nullptr);
}

TEST(DupCheckerTest, ClearForgetsEverything) {
  DupChecker d;
  Persistable a, b;
  d.add(&a);
  d.add(&b);
  d.clear();
  EXPECT_EQ(d.entries(), 0u);
  EXPECT_EQ(d.get(0), nullptr);
  EXPECT_EQ(d.add(&b), -1);  // new again, and at index 0
  EXPECT_EQ(d.get(0), &b);
  EXPECT_EQ(d.add(&a), -1);
}

TEST(DupCheckerTest, CopiesAreIndependent) {
  DupChecker d;
  Persistable a, b, c;
  d.add(&a);
  d.add(&b);
  DupChecker copy;
  copy.add(&c);
  copy = d;
  EXPECT_EQ(copy.entries(), 2u);
  EXPECT_EQ(copy.add(&b), 1);  // the lookup index came along
  EXPECT_EQ(copy.add(&c), -1);
  EXPECT_EQ(d.entries(), 2u);
  EXPECT_EQ(d.add(&c), -1);
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

}  // namespace

namespace {

TEST(DupCheckerTest, NullIsRecordedLikeAnyAddress) {
  DupChecker d;
  Persistable a;
  EXPECT_EQ(d.add(nullptr), -1);
  EXPECT_EQ(d.add(&a), -1);
  EXPECT_EQ(d.add(nullptr), 0);
  EXPECT_EQ(d.add(&a), 1);
  EXPECT_EQ(d.entries(), 2u);
  EXPECT_EQ(d.get(0), nullptr);
  d.clear();
  EXPECT_EQ(d.add(&a), -1);
  EXPECT_EQ(d.add(nullptr), -1);  // forgotten with the rest
  EXPECT_EQ(d.add(nullptr), 1);
  // Entries after the null one survive the table's regrowths.
  for (int i = 2; i < 5000; ++i) ASSERT_EQ(d.add(fake(0x40000 + 16 * i)), -1) << i;
  for (int i = 2; i < 5000; ++i) ASSERT_EQ(d.add(fake(0x40000 + 16 * i)), i) << i;
  EXPECT_EQ(d.add(nullptr), 1);
}

// Addresses that share their low bits, their high bits or both, across
// several growths of the table: a hash that looked at only part of the
// address would pile them into one run of slots, and a probe or a regrowth
// that lost an entry would show as a wrong index.
TEST(DupCheckerTest, AddressesAlikeInManyBitsAreToldApart) {
  const std::uintptr_t strides[] = {8, 16, 4096, 1u << 20};
  for (std::uintptr_t stride : strides) {
    DupChecker d;
    recordAndFind(d, 0x10000, stride, 3000);
    d.clear();
    // Again after clear: the same addresses are new, at new indices.
    recordAndFind(d, 0x10000 + stride / 2, stride, 700);
  }
}

// Addresses that differ only in their high 32 bits, first fewer than the
// table has tags for them, then more, and again after clear: none may be
// taken for another.
TEST(DupCheckerTest, AddressesAlikeInTheirLowHalfAreToldApart) {
  if (sizeof(std::uintptr_t) < 8) GTEST_SKIP() << "addresses have no high half here";
  const std::uint64_t lows[] = {0x1000, 0x1008, 0x2040};
  DupChecker d;
  for (int pass = 0; pass < 2; ++pass) {
    std::vector<const Persistable*> added;
    for (std::uint64_t high = 1; high <= 40; ++high) {
      for (std::uint64_t low : lows) {
        const Persistable* obj = fake(static_cast<std::uintptr_t>((high << 32) | low));
        ASSERT_EQ(d.add(obj), -1) << "high " << high << " low " << low;
        added.push_back(obj);
        for (std::size_t i = 0; i < added.size(); ++i) ASSERT_EQ(d.add(added[i]), static_cast<int>(i));
      }
    }
    d.clear();
  }
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
// them, against the reference. Addresses come mostly fresh, often again
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
    const std::uintptr_t stride = seed % 3 == 0 ? 8 : seed % 3 == 1 ? 24 : 4096;
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
        const int index = static_cast<int>(rng() % 4 == 0 ? n - rng() % 4 : n == 0 ? 0 : n - 1 - rng() % std::min(n, 40u));
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
      } else if (rng() % 8 == 0) {
        d.clear();
        ref.clear();
        seen.clear();
      }
    }
    ASSERT_EQ(d.entries(), ref.entries());
    for (unsigned int i = 0; i < ref.entries(); ++i) ASSERT_EQ(d.get(static_cast<int>(i)), ref.get(static_cast<int>(i)));
  }
}

}  // namespace
