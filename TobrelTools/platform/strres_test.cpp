// String resources: the executable's and a shared library's string tables
// through GetModuleHandleA and LoadStringA, and the buffer rules.
#include "TobrelTools/platform/platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

#include "TobrelTools/platform/testdata/ids.h"

extern "C" HMODULE strresTestLibraryModule();

namespace {

std::string load(HMODULE module, unsigned id, int size = 2048) {
  std::string buffer(static_cast<std::size_t>(size), '\x7F');
  int n = LoadStringA(module, id, &buffer[0], size);
  EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buffer.c_str()));
  return buffer.substr(0, static_cast<std::size_t>(n));
}

TEST(StringResourceTest, ExecutableStringsUnderTheNullModule) {
  HMODULE exe = GetModuleHandleA(nullptr);
  ASSERT_NE(exe, nullptr);
  EXPECT_EQ(load(exe, IDS_HELLO), "Hello");
  EXPECT_EQ(load(exe, IDS_SHARED), "program copy");
  EXPECT_EQ(load(exe, IDS_JAPANESE), "\x93\xfa\x96\x7b\x8c\xea\x95\x5c");
  EXPECT_EQ(load(exe, IDS_ESCAPES), "tab\there \"quoted\" back\\slash");
  EXPECT_EQ(load(exe, IDS_LONG).size(), 1200u);
}

TEST(StringResourceTest, LibraryStringsUnderTheLibraryModule) {
  HMODULE lib = strresTestLibraryModule();
  ASSERT_NE(lib, nullptr);
  EXPECT_NE(lib, GetModuleHandleA(nullptr));
  EXPECT_EQ(lib, GetModuleHandleA("strres_testlib"));
  EXPECT_EQ(load(lib, IDS_SHARED), "library copy");
  char buffer[16] = "untouched";
  EXPECT_EQ(LoadStringA(lib, IDS_HELLO, buffer, sizeof buffer), 0);  // the program's only
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(GetModuleHandleA("no_such_module_here"), nullptr);
}

TEST(StringResourceTest, MissingAndEmptyStringsGiveZero) {
  HMODULE exe = GetModuleHandleA(nullptr);
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(LoadStringA(exe, 999, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
  std::strcpy(buffer, "xxxxxxx");
  EXPECT_EQ(LoadStringA(exe, IDS_EMPTY, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(StringResourceTest, LongStringsAreCutToTheBuffer) {
  HMODULE exe = GetModuleHandleA(nullptr);
  EXPECT_EQ(load(exe, IDS_HELLO, 4), "Hel");
  EXPECT_EQ(load(exe, IDS_HELLO, 6), "Hello");
  EXPECT_EQ(load(exe, IDS_LONG, 1024), std::string(load(exe, IDS_LONG), 0, 1023));
  char one[1] = {'x'};
  EXPECT_EQ(LoadStringA(exe, IDS_HELLO, one, 1), 0);
  EXPECT_EQ(one[0], '\0');
}

#if !defined(_WIN32)
TEST(StringResourceTest, BadArgumentsWriteNothing) {
  HMODULE exe = GetModuleHandleA(nullptr);
  char buffer[4] = "abc";
  EXPECT_EQ(LoadStringA(exe, IDS_HELLO, buffer, 0), 0);
  EXPECT_EQ(LoadStringA(exe, IDS_HELLO, buffer, -5), 0);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(LoadStringA(exe, IDS_HELLO, nullptr, 10), 0);
}

TEST(StringResourceTest, CutInsideADoubleByteCharacterKeepsTheLeadByte) {
  EXPECT_EQ(load(GetModuleHandleA(nullptr), IDS_JAPANESE, 4), "\x93\xfa\x96");
}

TEST(StringResourceTest, ModuleHandlesAreTheLoadAddressesOfTheObjects) {
  Dl_info info;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&load), &info), 0);
  EXPECT_EQ(GetModuleHandleA(nullptr), info.dli_fbase);
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&LoadStringA), &info), 0);
  EXPECT_EQ(GetModuleHandleA("TobrelTools"), info.dli_fbase);
  EXPECT_EQ(GetModuleHandleA("TobrelTools.dll"), info.dli_fbase);
  EXPECT_EQ(load(nullptr, IDS_HELLO), "Hello");  // null: the executable
}
#endif

}  // namespace
