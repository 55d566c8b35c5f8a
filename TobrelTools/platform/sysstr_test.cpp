// System strings of the platform layer: layout (byte count before the text,
// zero unit after it), lengths with zero units inside, null handling.
#include "TobrelTools/platform/platform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

std::uint32_t storedCount(BSTR b) {
  std::uint32_t count;
  std::memcpy(&count, reinterpret_cast<unsigned char*>(b) - 4, 4);
  return count;
}

TEST(SysString, HoldsACopyWithByteCountBeforeAndZeroAfter) {
  unsigned short text[] = {'a', 0x3042, 'c', 0};
  BSTR b = SysAllocString(text);
  ASSERT_NE(nullptr, b);
  EXPECT_NE(text, b);
  text[0] = 'z';                       // a copy, not the caller's array
  EXPECT_EQ('a', b[0]);
  EXPECT_EQ(0x3042, b[1]);
  EXPECT_EQ(0, b[3]);
  EXPECT_EQ(6u, storedCount(b));
  EXPECT_EQ(3u, SysStringLen(b));
  EXPECT_EQ(6u, SysStringByteLen(b));
  SysFreeString(b);
  const unsigned short empty[] = {0};
  b = SysAllocString(empty);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(0u, SysStringLen(b));
  EXPECT_EQ(0, b[0]);
  SysFreeString(b);
}

TEST(SysString, NullIsAllowedEverywhere) {
  EXPECT_EQ(nullptr, SysAllocString(nullptr));
  EXPECT_EQ(0u, SysStringLen(nullptr));
  EXPECT_EQ(0u, SysStringByteLen(nullptr));
  SysFreeString(nullptr);
}

TEST(SysString, ExplicitLengthKeepsZeroUnitsAndRefusesOverflow) {
  const unsigned short units[] = {'x', 0, 'y'};
  BSTR b = SysAllocStringLen(units, 3);
  ASSERT_NE(nullptr, b);
  EXPECT_EQ(3u, SysStringLen(b));
  EXPECT_EQ('y', b[2]);
  EXPECT_EQ(0, b[3]);
  SysFreeString(b);

  BSTR zeros = SysAllocStringLen(nullptr, 4);
  ASSERT_NE(nullptr, zeros);
  for (int i = 0; i <= 4; ++i) EXPECT_EQ(0, zeros[i]);
  SysFreeString(zeros);

  EXPECT_EQ(nullptr, SysAllocStringLen(units, 0x80000000u));   // 4 GiB of bytes: no 32-bit count
}

}  // namespace
