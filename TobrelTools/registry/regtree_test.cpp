// regtree and the element traversals against the registry.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/registry/internal/raw_snapshot_test.h"
#include "TobrelTools/registry/reg.h"
#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "tests/registry_test_util.h"
#include "tests/test_util.h"
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

TEST_F(RegTreeTest, LoadAppendsSubkeysBeforeValuesAndStopsAtAnItemThatDoesNotFit) {
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
  tree.load();  // appends a second copy
  EXPECT_EQ(names(top), (std::vector<std::string>{"A", "B", "v", "A", "B", "v"}));

  makeValue("t", "w big", std::string(1100, 'b'));
  makeValue("t", "x after", "3");
  regtree cut(HKEY_CURRENT_USER, at("t").c_str());
  cut.load();
  EXPECT_EQ(names(cut.getTopkey()), (std::vector<std::string>{"A", "B", "v"}));

  for (regtree missing : {regtree(HKEY_CURRENT_USER, at("missing").c_str()), regtree(nullptr, "x")}) {
    missing.load();
    EXPECT_TRUE(missing.getTopkey().getElements().empty());
  }
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
}

// A key element removes what its list holds below the key and leaves the
// key; an empty name works on the parent itself.
TEST_F(RegTreeTest, KeyRemoveEmptiesWhatItsListHolds) {
  makeValue("t\\k\\s1\\s2", "v", "1");
  makeValue("t\\k", "kv", "2");
  makeValue("t", "tv", "3");
  makeValue("t", "unlisted", "4");
  regkey_t listed;
  std::tstring name(at("t").c_str());
  regtree::load(HKEY_CURRENT_USER, name, listed);
  ASSERT_EQ(names(listed), (std::vector<std::string>{"k", "tv", "unlisted"}));
  listed.getElements()[2]->deleteMe();  // leave "unlisted" out of the list
  listed.getElements().pop_back();
  regkey_t* k = dynamic_cast<regkey_t*>(listed.getElements()[0]);
  CRegistry parent(HKEY_CURRENT_USER, at("t").c_str());
  k->remove(parent);
  EXPECT_TRUE(k->getElements().empty());
  RawKey left = rawSnapshot(HKEY_CURRENT_USER, at("t\\k"));
  EXPECT_TRUE(left.exists && left.keys.empty() && left.values.empty());

  listed.remove(parent);
  left = rawSnapshot(HKEY_CURRENT_USER, at("t"));
  EXPECT_TRUE(left.keys.empty());
  ASSERT_EQ(left.values.size(), 1u);
  EXPECT_EQ(left.values[0].name, "unlisted");

  // A key that does not exist keeps its list; no open parent, nothing written.
  regkey_t ghost;
  ghost.setName("ghost");
  ghost.addElements(new regval_t);
  ghost.remove(parent);
  EXPECT_EQ(ghost.getElements().size(), 1u);
  CRegistry none(base_, nullptr), missing(base_, "missing parent");
  ghost.restore(none);
  ghost.restore(missing);
  EXPECT_EQ(rawSnapshot(HKEY_CURRENT_USER, path_).keys.size(), 1u);
}

// A whole subtree taken from the registry, saved to a file, removed, read
// back and restored, compared key by key and byte by byte with what was
// there; and restored below another opened key.

using tobrel::test::expectSameElements;
using tobrel::test::expectSameTree;

// Code page 932 names: "nihongo" (93FA 967B 8CEA), katakana "kii" (834C 815B)
// and a half-width katakana (B1).
const char kJapanese[] = "\x93\xfa\x96\x7b\x8c\xea";
const char kKatakana[] = "\x83\x4c\x81\x5b \xb1";

class RegTreeRoundTrip : public tobrel::test::RegistryFixture {
 protected:
  void put(HKEY key, const std::string& name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS)
        << name;
  }

  // Every value type the registry knows, and some odd names.
  void fillValues(HKEY key, int seed) {
    std::string binary;
    for (int i = 0; i < 256; ++i) binary.push_back(static_cast<char>((i * 7 + seed) & 0xFF));
    const struct {
      std::string name;
      DWORD type;
      std::string bytes;
    } values[] = {
        {"", REG_SZ, std::string("default value", 14)},
        {"none", REG_NONE, "\x01\x02"},
        {"sz", REG_SZ, std::string("text ") + kJapanese + std::string(1, '\0')},
        {"expand", REG_EXPAND_SZ, std::string("%PATH%;x\0", 9)},
        {"binary", REG_BINARY, binary},
        {"empty binary", REG_BINARY, ""},
        {"dword", REG_DWORD, "\x78\x56\x34\x12"},
        {"dword be", REG_DWORD_BIG_ENDIAN, "\x12\x34\x56\x78"},
        {"multi", REG_MULTI_SZ, std::string("one\0two\0three\0\0", 15)},
        {"qword", REG_QWORD, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {"resource list", REG_RESOURCE_LIST, std::string(4, '\0')},
        {"full 1024", REG_BINARY, std::string(1024, static_cast<char>(seed))},
        {"odd !#$%&'()=~|-^@[]{};:+*,.<>?_ name", REG_SZ, std::string("p\0", 2)},
        {std::string("value ") + kKatakana, REG_SZ, std::string(kKatakana) + std::string(1, '\0')},
        {"unknown type", 0x1234, "raw"},
    };
    for (const auto& v : values) put(key, v.name, v.type, v.bytes);
  }

  void buildTree(const std::string& relative) {
    const char* level1[] = {"plain", "with space", "punct !#$%&'()=~-^@[]{};+,.", kJapanese};
    const char* level2[] = {"a", kKatakana, "c c"};
    HKEY top = create(relative);
    fillValues(top, 1);
    RegCloseKey(top);
    int seed = 2;
    for (const char* one : level1) {
      HKEY k1 = create(relative + "\\" + one, one == level1[0] ? "ClassOne" : nullptr);
      fillValues(k1, seed++);
      RegCloseKey(k1);
      for (const char* two : level2) {
        HKEY k2 = create(relative + "\\" + one + "\\" + two);
        put(k2, "v", REG_DWORD, std::string(4, static_cast<char>(seed++)));
        RegCloseKey(k2);
        RegCloseKey(create(relative + "\\" + one + "\\" + two + "\\leaf\\deeper leaf"));
      }
    }
  }
};

TEST_F(RegTreeRoundTrip, SavedRemovedReadBackAndRestored) {
  buildTree("source");
  const std::string source = path_ + "\\source";
  const RawKey before = rawSnapshot(HKEY_CURRENT_USER, source);
  ASSERT_TRUE(before.exists);
  ASSERT_EQ(before.keys.size(), 4u);

  regtree tree(HKEY_CURRENT_USER, source.c_str());
  tree.load();
  expectSameElements(before, tree.getTopkey());

  const std::string file = tobrel::test::tempPath("tree.bin");
  Persistable::readyToSerialize();
  {
    fvostream out(file.c_str());
    out << tree;
    ASSERT_TRUE(out.good());
  }
  const std::string dump(tree.toString().c_str());

  tree.remove();
  EXPECT_FALSE(rawSnapshot(HKEY_CURRENT_USER, source).exists);
  EXPECT_TRUE(tree.getTopkey().getElements().empty());

  Persistable::readyToSerialize();
  fvistream in(file.c_str());
  regtree* back = nullptr;
  in >> back;
  ASSERT_NE(back, nullptr);
  std::unique_ptr<regtree> owner(back);
  EXPECT_TRUE(in.good());
  EXPECT_EQ(back->getKey(), HKEY_CURRENT_USER);
  EXPECT_EQ(back->getSubKey(), source.c_str());
  EXPECT_EQ(std::string(back->toString().c_str()), dump);
  expectSameElements(before, back->getTopkey());

  back->restore();
  expectSameTree(before, rawSnapshot(HKEY_CURRENT_USER, source), "restored in place");
}

TEST_F(RegTreeRoundTrip, ATreeOfAnOpenedKeyRestoresBelowAnother) {
  buildTree("from\\here");
  HKEY from = create("from");
  HKEY to = create("to");
  regtree tree(from, "here");
  tree.load();
  tree.setTop(to, "there");
  tree.restore();
  RegCloseKey(from);
  RegCloseKey(to);
  expectSameTree(rawSnapshot(HKEY_CURRENT_USER, path_ + "\\from\\here"),
                 rawSnapshot(HKEY_CURRENT_USER, path_ + "\\to\\there"));
}

#ifndef _WIN32
// A subtree the Linux store holds read-only (no Windows counterpart without
// access control lists).
class RegTreeReadOnlyTest : public tobrel::test::RegistryFixture {
 protected:
  // The scratch key can only be deleted once it is writable again.
  void TearDown() override {
    tobrel::registrySetReadOnly(base_, "ro", false);
    RegistryFixture::TearDown();
  }
};

TEST_F(RegTreeReadOnlyTest, ReadOnlySubtreeLoadsButNeitherRestoresNorRemoves) {
  HKEY ro = create("ro\\inner");
  setString(ro, "v", "value");
  RegCloseKey(ro);
  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "ro", true), ERROR_SUCCESS);
  std::tstring path = CRegistry::addKey(path_.c_str(), "ro");

  regtree tree(HKEY_CURRENT_USER, path.c_str());
  tree.load();
  ASSERT_EQ(tree.getTopkey().getElements().size(), 1u);
  // Writes fail silently below a read-only key ...
  static_cast<regval_t*>(static_cast<regkey_t*>(tree.getTopkey().getElements()[0])->getElements()[0])
      ->setData(std::tstring("changed"), REG_SZ);
  tree.restore();
  CRegistry inner(base_, "ro\\inner");
  std::tstring text;
  EXPECT_TRUE(inner.get("v", text));
  EXPECT_EQ(text, "value");
  // ... and so do deletions; the snapshot is emptied all the same.
  tree.remove();
  EXPECT_TRUE(tree.getTopkey().getElements().empty());
  EXPECT_TRUE(inner.get("v", text));
}
#endif  // _WIN32

}  // namespace
