// .reg import on the Linux store: a failure while applying undoes the whole
// import, because the import is one store transaction.
#include "TobrelTools/registry/regfile.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/registry_test_util.h"

namespace {

using tobrel::test::RegistryFixture;

class RegFileStoreTest : public RegistryFixture {};

TEST_F(RegFileStoreTest, AFailureWhileApplyingUndoesEverything) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(base_, "Locked", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "Locked", true), ERROR_SUCCESS);
  std::string k = "[HKEY_CURRENT_USER\\" + path_;
  std::string text = "REGEDIT4\r\n\r\n" + k + "\\Fresh]\r\n\"a\"=\"1\"\r\n\r\n" + k + "\\Locked]\r\n\"b\"=\"2\"\r\n";
  std::string error;
  EXPECT_FALSE(tobrel::importRegText(text, &error));
  EXPECT_EQ(error, "line 6: cannot create key HKEY_CURRENT_USER\\" + path_ + "\\Locked: error 5 (access denied)");
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"Locked"});   // Fresh was undone
  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "Locked", false), ERROR_SUCCESS);
  EXPECT_TRUE(tobrel::importRegText(text, &error)) << error;
  EXPECT_EQ(subkeys(base_), (std::vector<std::string>{"Fresh", "Locked"}));
}

}  // namespace
