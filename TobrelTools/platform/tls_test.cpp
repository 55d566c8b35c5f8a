#include "TobrelTools/platform/platform.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(TlsTest, SlotsAreDistinctAndStartNullInEveryThread) {
  DWORD a = TlsAlloc();
  DWORD b = TlsAlloc();
  ASSERT_NE(a, TLS_OUT_OF_INDEXES);
  ASSERT_NE(b, TLS_OUT_OF_INDEXES);
  EXPECT_NE(a, b);
  EXPECT_EQ(TlsGetValue(a), nullptr);

  int mine = 1, theirs = 2;
  ASSERT_TRUE(TlsSetValue(a, &mine));
  EXPECT_EQ(TlsGetValue(a), &mine);
  EXPECT_EQ(TlsGetValue(b), nullptr);

  void* seenBefore = &mine;
  void* seenAfter = nullptr;
  std::thread other([&] {
    seenBefore = TlsGetValue(a);
    TlsSetValue(a, &theirs);
    seenAfter = TlsGetValue(a);
  });
  other.join();
  EXPECT_EQ(seenBefore, nullptr);
  EXPECT_EQ(seenAfter, &theirs);
  EXPECT_EQ(TlsGetValue(a), &mine);  // the other thread's store is its own

  EXPECT_TRUE(TlsFree(a));
  EXPECT_TRUE(TlsFree(b));
}

TEST(TlsTest, FreedSlotIsFreshWhenAllocatedAgain) {
  DWORD a = TlsAlloc();
  int value = 0;
  TlsSetValue(a, &value);
  ASSERT_TRUE(TlsFree(a));
  DWORD again = TlsAlloc();
  ASSERT_NE(again, TLS_OUT_OF_INDEXES);
  EXPECT_EQ(TlsGetValue(again), nullptr);
  TlsFree(again);
}

}  // namespace
