#include "TobrelTools/platform/internal/stack_bounds.h"

#include <gtest/gtest.h>

#include "tests/thread_util.h"

namespace {

bool frameWithin(const char* low, const char* high) {
  const char* frame = static_cast<const char*>(__builtin_frame_address(0));
  return frame > low && frame < high;
}

TEST(StackBoundsTest, MainThreadStackHoldsTheCurrentFrame) {
  const char* low = nullptr;
  const char* high = nullptr;
  ASSERT_TRUE(tobrel::currentThreadStack(&low, &high));
  EXPECT_TRUE(frameWithin(low, high));
}

TEST(StackBoundsTest, ThreadStackHasTheRequestedSize) {
  const std::size_t size = 3u << 20;
  const char* low = nullptr;
  const char* high = nullptr;
  bool ok = false, within = false;
  ASSERT_TRUE(tobrel::test::runOnThread(size, [&] {
    ok = tobrel::currentThreadStack(&low, &high);
    within = ok && frameWithin(low, high);
  }));
  ASSERT_TRUE(ok);
  EXPECT_TRUE(within);
  const std::size_t usable = static_cast<std::size_t>(high - low);
  // The host keeps guard pages out of the usable part, and may hand out a
  // larger stack (glibc reuses cached stacks up to four times the request).
  EXPECT_GE(usable, size - (256u << 10));
  EXPECT_LE(usable, 4 * size + (1u << 20));
}

}  // namespace
