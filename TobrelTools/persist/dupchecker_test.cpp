#include "TobrelTools/persist/DupChecker.h"

#include <gtest/gtest.h>

#include <vector>

#include "TobrelTools/persist/Persistable.h"

namespace {

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
