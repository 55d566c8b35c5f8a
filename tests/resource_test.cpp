// String resources compiled into a program with tobrel_add_string_resources
// and read back with LoadStringA from the program's own module.
#include <cstring>

#include <gtest/gtest.h>

#include "TobrelTools/platform/platform.h"

static const char sccsid[] __attribute__((used)) = "@(#)resource_test.cpp:  Ver01.00  2026.12.05";

namespace {

TEST(StringResourceTest, LoadsTheStringOfAnIdFromTheProgram) {
  char buffer[64];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 101, buffer, sizeof buffer), 16);
  EXPECT_STREQ(buffer, "Hello, resources");
}

TEST(StringResourceTest, KeepsCodePage932Text) {
  char buffer[64] = {};
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 102, buffer, sizeof buffer), 9);
  EXPECT_STREQ(buffer, "\x82\xA0\x82\xA2 kana");
}

TEST(StringResourceTest, TruncatesToTheBufferLeavingRoomForTheNul) {
  char buffer[8];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 101, buffer, 6), 5);
  EXPECT_STREQ(buffer, "Hello");
  EXPECT_EQ(buffer[6], '#');  // nothing written past the given size
}

TEST(StringResourceTest, UnknownIdGivesZero) {
  char buffer[16] = "untouched";
  EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), 999, buffer, sizeof buffer), 0);
}

}  // namespace
