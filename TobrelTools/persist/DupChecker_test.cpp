#include "TobrelTools/persist/DupChecker.h"

#include <gtest/gtest.h>

#include <cstdint>
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
