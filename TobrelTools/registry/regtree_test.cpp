// regtree and the element traversals against the registry.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/registry/internal/raw_snapshot_test.h"
#include "TobrelTools/registry/reg.h"
#include "tests/registry_test_util.h"
#include "tests/wine_util.h"

namespace {

using tobrel::test::rawSnapshot;
using tobrel::test::RawKey;

class RegTreeTest : public tobrel::test::RegistryFixture {
 protected:
  // The full path below HKEY_CURRENT_USER of a key below the scratch key.
  std::string at(const std::string& relative) const { return path_ + "\\" + relative; }
  void makeKey(const std::string& relative) { RegCloseKey(create(relative)); }
  void makeValue(const std::string& relative, const char* name, const std::string& text) {
    HKEY key = create(relative);
    setString(key, name, text);
    RegCloseKey(key);
  }
  std::vector<std::string> names(const regkey_t& key) {
    std::vector<std::string> out;
    for (const regelm* e : key.getElements()) out.push_back(e->getName().c_str());
    return out;
  }
};

TEST_F(RegTreeTest, LoadOrdersSubkeysBeforeValuesDepthFirst) {
  makeValue("t\\A", "x", "1");
  makeKey("t\\B");
  makeValue("t", "v", "2");
  regtree tree(HKEY_CURRENT_USER, at("t").c_str());
  EXPECT_TRUE(tree.getTopkey().getElements().empty());  // nothing until load
  tree.load();
  const regkey_t& top = tree.getTopkey();
  EXPECT_EQ(top.getName(), at("t").c_str());
  EXPECT_TRUE(top.getClass().empty());
  EXPECT_EQ(top.getLastWriteTime().dwHighDateTime, 0u);
  EXPECT_EQ(names(top), (std::vector<std::string>{"A", "B", "v"}));
  const regkey_t* a = dynamic_cast<const regkey_t*>(top.getElements()[0]);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(names(*a), std::vector<std::string>{"x"});
  EXPECT_NE(a->getLastWriteTime().dwHighDateTime, 0u);

  tree.load();  // appends a second copy
  EXPECT_EQ(names(top), (std::vector<std::string>{"A", "B", "v", "A", "B", "v"}));
}

TEST_F(RegTreeTest, LoadOfAMissingKeyAddsNothing) {
  regtree tree(HKEY_CURRENT_USER, at("missing").c_str());
  tree.load();
  EXPECT_EQ(tree.getTopkey().getName(), at("missing").c_str());
  EXPECT_TRUE(tree.getTopkey().getElements().empty());
  regtree nullRoot(nullptr, "x");
  nullRoot.load();
  EXPECT_TRUE(nullRoot.getTopkey().getElements().empty());
}

TEST_F(RegTreeTest, LoadStopsAtAnItemThatDoesNotFit) {
  HKEY key = create("t");
  setString(key, "a small", "1");
  std::string big(1100, 'b');
  setString(key, "b big", big);
  setString(key, "c after", "3");
  RegCloseKey(key);
  regtree tree(HKEY_CURRENT_USER, at("t").c_str());
  tree.load();
  EXPECT_EQ(names(tree.getTopkey()), std::vector<std::string>{"a small"});
}

TEST_F(RegTreeTest, CopiesTakeTheAddressNotTheSnapshot) {
  makeValue("t", "v", "1");
  regtree tree(HKEY_CURRENT_USER, at("t").c_str());
  tree.load();
  regtree copy(tree);
  EXPECT_EQ(copy.getKey(), HKEY_CURRENT_USER);
  EXPECT_EQ(copy.getSubKey(), at("t").c_str());
  EXPECT_EQ(copy.getTopkey().getName(), at("t").c_str());
  EXPECT_TRUE(copy.getTopkey().getElements().empty());

  regtree assigned(HKEY_LOCAL_MACHINE, "other");
  assigned.load();
  assigned.getTopkey().addElements(new regval_t);
  assigned = tree;
  EXPECT_EQ(assigned.getKey(), HKEY_CURRENT_USER);
  EXPECT_EQ(assigned.getSubKey(), at("t").c_str());
  EXPECT_TRUE(assigned.getTopkey().getElements().empty());
  EXPECT_EQ(tree.getTopkey().getElements().size(), 1u);
}

TEST_F(RegTreeTest, RestoreWritesOverButRemovesNothing) {
  // Known to differ under Wine, which enumerates values sorted by name.
  if (tobrel::test::runningUnderWine()) GTEST_SKIP() << "Wine: values enumerate sorted by name";
  makeValue("t\\sub", "x", "original");
  regtree tree(HKEY_CURRENT_USER, at("t").c_str());
  tree.load();
  makeValue("t\\sub", "x", "changed");
  makeValue("t\\sub", "extra value", "stays");
  makeKey("t\\extra key");
  tree.restore();
  RawKey now = rawSnapshot(HKEY_CURRENT_USER, at("t"));
  ASSERT_EQ(now.keys.size(), 2u);
  EXPECT_EQ(now.keys[0].name, "extra key");
  // The order of values is the platform's: look them up by name.
  std::map<std::string, std::string> values;
  for (const auto& v : now.keys[1].values) values[v.name] = v.bytes;
  EXPECT_EQ(values.size(), 2u);
  EXPECT_EQ(values["x"], std::string("original", 9));
  EXPECT_EQ(values["extra value"], std::string("stays", 6));
  EXPECT_EQ(tree.getTopkey().getElements().size(), 1u);  // the snapshot is unchanged
}

TEST_F(RegTreeTest, RemoveTakesKeysCreatedAfterLoadToo) {
  makeValue("t\\a\\b\\c", "deep", "1");
  makeValue("t", "top", "2");
  regtree tree(HKEY_CURRENT_USER, at("t").c_str());
  tree.load();
  makeValue("t\\late\\later", "late value", "3");
  makeValue("t", "late top", "4");
  tree.remove();
  EXPECT_FALSE(rawSnapshot(HKEY_CURRENT_USER, at("t")).exists);
  EXPECT_TRUE(tree.getTopkey().getName().empty());
  EXPECT_TRUE(tree.getTopkey().getElements().empty());
  EXPECT_TRUE(rawSnapshot(HKEY_CURRENT_USER, path_).exists);  // the parent stays

  tree.remove();  // nothing left: no harm
  EXPECT_TRUE(tree.getTopkey().getElements().empty());
}

TEST_F(RegTreeTest, KeyRemoveEmptiesTheKeyButLeavesIt) {
  makeValue("t\\k\\s1\\s2", "v", "1");
  makeValue("t\\k", "kv", "2");
  regtree tree(HKEY_CURRENT_USER, at("t").c_str());
  tree.load();
  regkey_t* k = dynamic_cast<regkey_t*>(tree.getTopkey().getElements()[0]);
  ASSERT_NE(k, nullptr);
  CRegistry parent(HKEY_CURRENT_USER, at("t").c_str());
  k->remove(parent);
  EXPECT_TRUE(k->getElements().empty());
  RawKey left = rawSnapshot(HKEY_CURRENT_USER, at("t\\k"));
  EXPECT_TRUE(left.exists);
  EXPECT_TRUE(left.keys.empty());
  EXPECT_TRUE(left.values.empty());

  // A key that does not exist keeps its list.
  regkey_t ghost;
  ghost.setName("ghost");
  ghost.addElements(new regval_t);
  ghost.remove(parent);
  EXPECT_EQ(ghost.getElements().size(), 1u);
}

TEST_F(RegTreeTest, KeyRemoveWithAnEmptyNameWorksOnTheParent) {
  makeValue("t\\sub\\deeper", "v", "1");
  makeValue("t", "tv", "2");
  makeValue("t", "unlisted", "3");
  regkey_t listed;
  std::tstring name(at("t").c_str());
  regtree::load(HKEY_CURRENT_USER, name, listed);
  ASSERT_EQ(listed.getElements().size(), 3u);
  listed.getElements()[2]->deleteMe();  // leave "unlisted" out of the list
  listed.getElements().pop_back();
  CRegistry parent(HKEY_CURRENT_USER, at("t").c_str());
  listed.remove(parent);
  RawKey left = rawSnapshot(HKEY_CURRENT_USER, at("t"));
  EXPECT_TRUE(left.keys.empty());
  ASSERT_EQ(left.values.size(), 1u);
  EXPECT_EQ(left.values[0].name, "unlisted");
}

TEST_F(RegTreeTest, KeyRestoreWithoutAnOpenParentWritesNothing) {
  regkey_t k;
  k.setName("never");
  regval_t* v = new regval_t;
  v->setName("v");
  k.addElements(v);
  CRegistry none(base_, nullptr);
  k.restore(none);
  CRegistry missing(base_, "missing parent");
  k.restore(missing);
  EXPECT_TRUE(rawSnapshot(HKEY_CURRENT_USER, path_).keys.empty());
}

}  // namespace
