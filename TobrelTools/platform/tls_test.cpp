#include "TobrelTools/platform/platform.h"

#include <gtest/gtest.h>

namespace {

// The slots' values per thread and per slot are checked through their user,
// InstanceManager (persist tests).
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
