#include "cli/reg/tree_steps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TobrelTools/registry/regfile.h"
#include "cli/progress.h"
#include "tests/registry_test_util.h"

namespace tobrel {
namespace cli {
namespace {

class TreeStepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::freshRegistryStore();
    // Four levels, so that both the stepped levels and the subtrees handed
    // to the library whole are exercised; values before and after subkeys.
    std::string error;
    ASSERT_TRUE(importRegText("REGEDIT4\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\S]\r\n\"top\"=\"1\"\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\S\\b]\r\n\"v\"=dword:00000002\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\S\\b\\c]\r\n\"w\"=hex:03\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\S\\b\\c\\d]\r\n\"z\"=\"deep\"\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\S\\b\\c\\d\\e]\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\S\\A]\r\n\r\n"
                              "[HKEY_CURRENT_USER\\Software\\S\\A\\x]\r\n\"q\"=\"r\"\r\n\r\n",
                              &error))
        << error;
  }
  std::string exported(const char* subkey) {
    std::string text, error;
    exportRegText(HKEY_CURRENT_USER, subkey, true, &text, &error);
    std::size_t at;
    while ((at = text.find(subkey)) != std::string::npos) text.replace(at, std::strlen(subkey), "ROOT");
    return text;
  }
  Progress quiet_{false};
};

TEST_F(TreeStepsTest, LoadInStepsGivesWhatRegtreeLoadGives) {
  regtree whole(HKEY_CURRENT_USER, "Software\\S");
  whole.load();
  regtree stepped(HKEY_CURRENT_USER, "Software\\S");
  loadTree(stepped, quiet_, "loading");
  EXPECT_EQ(std::string(stepped.toString()), std::string(whole.toString()));
  TreeCounts counts = countTree(stepped.getTopkey());
  EXPECT_EQ(counts.keys, 6u);
  EXPECT_EQ(counts.values, 5u);
  EXPECT_EQ(describeCounts(counts), "6 keys and 5 values");

  // loading again appends, as regtree::load does
  whole.load();
  loadTree(stepped, quiet_, "loading");
  EXPECT_EQ(std::string(stepped.toString()), std::string(whole.toString()));

  regtree missing(HKEY_CURRENT_USER, "Software\\Missing");
  loadTree(missing, quiet_, "loading");
  EXPECT_EQ(countTree(missing.getTopkey()).keys, 0u);
  EXPECT_EQ(std::string(missing.getTopkey().getName()), "Software\\Missing");
}

TEST_F(TreeStepsTest, RestoreInStepsWritesWhatRegtreeRestoreWrites) {
  regtree tree(HKEY_CURRENT_USER, "Software\\S");
  tree.load();
  tree.setTop(HKEY_CURRENT_USER, std::tstring("Software\\Stepped\\Deeper"));
  restoreTree(tree, quiet_, "restoring");
  EXPECT_EQ(exported("Software\\Stepped\\Deeper"), exported("Software\\S"));
}

TEST_F(TreeStepsTest, CompareFindsMissingKeysAndChangedValues) {
  regtree tree(HKEY_CURRENT_USER, "Software\\S");
  tree.load();
  Mismatch same = compareWithRegistry(tree.getTopkey(), HKEY_CURRENT_USER, "Software\\S");
  EXPECT_EQ(same.keys + same.values, 0u);
  EXPECT_EQ(same.first, "");

  std::string error;
  ASSERT_TRUE(importRegText("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\S\\b]\r\n\"v\"=hex:02,00,00,00\r\n\r\n"
                            "[-HKEY_CURRENT_USER\\Software\\S\\b\\c\\d]\r\n\r\n",
                            &error))
      << error;
  Mismatch diff = compareWithRegistry(tree.getTopkey(), HKEY_CURRENT_USER, "Software\\S");
  EXPECT_EQ(diff.keys, 2u);    // d and e
  EXPECT_EQ(diff.values, 2u);  // v changed its type, z went with d
  EXPECT_EQ(diff.first, "Software\\S\\b\\c\\d");  // subkeys come before values

  Mismatch gone = compareWithRegistry(tree.getTopkey(), HKEY_CURRENT_USER, "Software\\Elsewhere");
  EXPECT_EQ(gone.keys, 7u);
  EXPECT_EQ(gone.values, 5u);
}

}  // namespace
}  // namespace cli
}  // namespace tobrel
