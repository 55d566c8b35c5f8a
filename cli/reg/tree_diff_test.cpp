#include "cli/reg/tree_diff.h"

#include <gtest/gtest.h>

#include "cli/reg/name_key.h"

namespace tobrel {
namespace cli {
namespace {

regval_t* value(const char* name, const std::string& data, unsigned long type = REG_BINARY) {
  regval_t* v = new regval_t();
  v->setName(std::tstring(name));
  v->setData(data.data(), static_cast<int>(data.size()), type);
  return v;
}

regkey_t* key(const char* name, std::vector<regelm*> elements) {
  regkey_t* k = new regkey_t();
  k->setName(std::tstring(name));
  for (regelm* e : elements) k->addElements(e);
  return k;
}

// "+ path name" lines for a compact comparison.
std::vector<std::string> summary(const std::vector<TreeDifference>& diffs) {
  std::vector<std::string> lines;
  for (const TreeDifference& d : diffs) {
    std::string line = d.change == TreeDifference::kAdded ? "+" : d.change == TreeDifference::kRemoved ? "-" : "~";
    line += d.isValue() ? " value " + d.keyPath + ":" + (d.after ? d.after : d.before)->getName().c_str()
                        : " key " + d.keyPath;
    lines.push_back(line);
  }
  return lines;
}

TEST(TreeDiff, ReportsEveryAddedRemovedAndChangedElementWithWhatItHolds) {
  std::unique_ptr<regkey_t> a(key("Top", {value("same", "1"), value("changed", "1"), value("retyped", "1"),
                                          value("gone", "x"), key("Sub", {value("deep", "a")}),
                                          key("Removed", {value("inner", "i"), key("Leaf", {})})}));
  std::unique_ptr<regkey_t> b(key("Other", {value("same", "1"), value("changed", "2"),
                                            value("retyped", "1", REG_SZ), key("Sub", {value("deep", "b")}),
                                            value("new", "n"), key("Added", {value("v", "")})}));
  regkey_t* classed = key("Classy", {});
  regkey_t* reclassed = key("Classy", {});
  reclassed->setClass(std::tstring("other class"));
  a->addElements(classed);
  b->addElements(reclassed);
  EXPECT_EQ(summary(diffTrees(*a, *b)),
            (std::vector<std::string>{"~ value :changed", "~ value :retyped", "- value :gone",
                                      "~ value Sub:deep", "- key Removed", "- value Removed:inner",
                                      "- key Removed\\Leaf", "~ key Classy", "+ value :new", "+ key Added",
                                      "+ value Added:v"}));
  EXPECT_TRUE(diffTrees(*a, *a).empty());
}

TEST(TreeDiff, NamesMatchAsTheRegistryMatchesThem) {
  // Letters in either case are one name, ASCII or not: full-width Ａ/ａ
  // (82 60, 82 81), Greek Σ/σ (83 B0, 83 D0), Cyrillic Ж/ж (84 47, 84 77). A
  // code page 932 trail byte that looks like a letter is not folded (83 61
  // and 83 41 are different katakana), and keys and values with one name are
  // different elements.
  std::unique_ptr<regkey_t> a(key("", {value("Name", "1"), key("Alpha", {}), value("\x83\x61", "k"),
                                       value("both", "v"), value("\x82\x60", "w"), key("\x83\xB0", {}),
                                       value("\x84\x47x", "c")}));
  std::unique_ptr<regkey_t> b(key("", {value("nAME", "1"), key("ALPHA", {}), value("\x83\x41", "k"),
                                       key("both", {}), value("\x82\x81", "w"), key("\x83\xD0", {}),
                                       value("\x84\x77X", "c")}));
  EXPECT_EQ(summary(diffTrees(*a, *b)), (std::vector<std::string>{"- value :\x83\x61", "- value :both",
                                                                   "+ value :\x83\x41", "+ key both"}));
  EXPECT_EQ(registryNameKey(std::tstring("a\x82\x81z")), registryNameKey(std::tstring("A\x82\x60Z")));
  EXPECT_NE(registryNameKey(std::tstring("\x83\x61")), registryNameKey(std::tstring("\x83\x41")));
  EXPECT_NE(registryNameKey(std::tstring("\x82\x60")), registryNameKey(std::tstring("\x82\x61")));
}

}  // namespace
}  // namespace cli
}  // namespace tobrel
