#include "cli/dump/render.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tobrel {
namespace cli {
namespace {

std::string utcOfUnix(std::int64_t unixSeconds, std::uint32_t extraTicks = 0) {
  std::uint64_t ticks = static_cast<std::uint64_t>(unixSeconds + 11644473600LL) * 10000000u + extraTicks;
  return filetimeUtc(static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32));
}

TEST(FiletimeUtc, CalendarDatesAcrossLeapYearsAndCenturies) {
  EXPECT_EQ(utcOfUnix(0), "1970-01-01 00:00:00 UTC");
  EXPECT_EQ(utcOfUnix(1715936584, 9999999), "2024-05-17 09:03:04 UTC");
  EXPECT_EQ(utcOfUnix(951782400), "2000-02-29 00:00:00 UTC");
  EXPECT_EQ(utcOfUnix(4107542399LL), "2100-02-28 23:59:59 UTC");
  EXPECT_EQ(utcOfUnix(4107542400LL), "2100-03-01 00:00:00 UTC");
  EXPECT_EQ(filetimeUtc(1, 0), "1601-01-01 00:00:00 UTC");
  EXPECT_EQ(filetimeUtc(0, 0), "");
  EXPECT_EQ(filetimeUtc(0xFFFFFFFF, 0xFFFFFFFF), "");  // far beyond the year 9999
}

TEST(Names, RegistryTypesAndRootKeys) {
  EXPECT_STREQ(regTypeName(7), "REG_MULTI_SZ");
  EXPECT_STREQ(regTypeName(11), "REG_QWORD");
  EXPECT_EQ(regTypeName(12), nullptr);
  EXPECT_STREQ(rootKeyName(0x80000003u), "HKEY_USERS");
  EXPECT_EQ(rootKeyName(0x1234), nullptr);
  EXPECT_TRUE(isTextType(2));
  EXPECT_FALSE(isTextType(3));
}

}  // namespace
}  // namespace cli
}  // namespace tobrel
