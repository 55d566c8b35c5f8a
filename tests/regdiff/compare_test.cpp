// The comparison forgives exactly the known differences of Wine.
#include "tests/regdiff/compare.h"

#include <gtest/gtest.h>

namespace tobrel {
namespace regdiff {
namespace {

TEST(RegdiffCompare, ValueBlocksCompareAsSetsButKeyOrderCounts) {
  std::vector<std::string> store = {"#1 enum-values h0", "  value \"b\" type 1 6100", "  value \"a\" type 4 01000000",
                                    "#1 end 259", "#2 enum-keys h0", "#2 key \"A\"", "#2 key \"B\""};
  std::vector<std::string> wine = {"#1 enum-values h0", "  value \"a\" type 4 01000000", "  value \"b\" type 1 6100",
                                   "#1 end 259", "#2 enum-keys h0", "#2 key \"A\"", "#2 key \"B\""};
  EXPECT_EQ(normalise(store), normalise(wine));

  // Subkeys in another order, or a value block with other contents, differ.
  std::vector<std::string> keysSwapped = wine;
  std::swap(keysSwapped[5], keysSwapped[6]);
  EXPECT_NE(normalise(store), normalise(keysSwapped));
  std::vector<std::string> otherData = wine;
  otherData[1] = "  value \"a\" type 4 02000000";
  EXPECT_NE(normalise(store), normalise(otherData));
  // Blocks are sorted each on its own, never merged across other lines.
  std::vector<std::string> split = {"  value \"b\"", "#1 end 259", "  value \"a\""};
  EXPECT_EQ(normalise(split), split);
}

TEST(RegdiffCompare, CallsSkippedUnderWineLeaveBothTranscripts) {
  std::vector<std::string> store = {"#0 start -> 0", "#1 create h0 \"kkk\" -> 87", "#2 enum-keys h0", "#2 end 259"};
  std::vector<std::string> wine = {"#0 start -> 0", "#1 skipped under Wine", "#2 enum-keys h0", "#2 end 259"};
  std::string report;
  EXPECT_TRUE(agree(store, wine, &report)) << report;
  // Any other difference is reported with both lines.
  wine[3] = "#2 end 1018";
  EXPECT_FALSE(agree(store, wine, &report));
  EXPECT_NE(report.find("linux:   #2 end 259\n  windows: #2 end 1018"), std::string::npos) << report;
}

}  // namespace
}  // namespace regdiff
}  // namespace tobrel
