#include "cli/reg/paths.h"

#include <gtest/gtest.h>

#include "cli/command.h"

namespace tobrel {
namespace cli {
namespace {

TEST(RegistryPaths, LongAndShortRootNamesInAnyCase) {
  struct {
    const char* text;
    HKEY root;
    const char* subkey;
  } cases[] = {
      {"HKEY_CURRENT_USER\\Software\\X", HKEY_CURRENT_USER, "Software\\X"},
      {"hkcu\\Software", HKEY_CURRENT_USER, "Software"},
      {"HKLM", HKEY_LOCAL_MACHINE, ""},
      {"HKCR\\", HKEY_CLASSES_ROOT, ""},
      {"hkey_users\\.DEFAULT", HKEY_USERS, ".DEFAULT"},
      {"HKU\\\\a\\\\b\\", HKEY_USERS, "a\\b"},
      {"HKCU\\with space\\and/slash", HKEY_CURRENT_USER, "with space\\and/slash"},
  };
  for (const auto& c : cases) {
    RegistryPath p = parseRegistryPath(c.text);
    EXPECT_EQ(p.root, c.root) << c.text;
    EXPECT_EQ(p.subkey, c.subkey) << c.text;
  }
  EXPECT_EQ(parseRegistryPath("hkcu\\A\\\\B").text(), "HKEY_CURRENT_USER\\A\\B");
  EXPECT_EQ(parseRegistryPath("HKLM\\").text(), "HKEY_LOCAL_MACHINE");
}

TEST(RegistryPaths, UnknownRootsAreUsageErrors) {
  for (const char* text : {"", "Software\\X", "HKEY_CURRENT_USERS\\X", "HKC\\X", "\\HKCU\\X", "HKCU/Software"}) {
    EXPECT_THROW(parseRegistryPath(text), UsageError) << text;
  }
}

TEST(RegistryPaths, RootNamesOfHandles) {
  EXPECT_EQ(rootNameOf(HKEY_LOCAL_MACHINE), "HKEY_LOCAL_MACHINE");
  EXPECT_EQ(rootNameOf(nullptr), "");
}

}  // namespace
}  // namespace cli
}  // namespace tobrel
