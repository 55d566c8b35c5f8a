// CRegistry against the Linux registry store: what needs the store's own
// controls (read-only keys) or its handle numbering (a closed handle is not
// handed out again soon, so a second close of it is seen to fail).
#include "TobrelTools/registry/CRegistry.h"

#include <gtest/gtest.h>

#include "TobrelTools/platform/registry.h"
#include "TobrelTools/registry/regkey.h"
#include "TobrelTools/registry/regtree.h"
#include "TobrelTools/registry/regval.h"
#include "tests/registry_test_util.h"

namespace {

using tobrel::test::RegistryFixture;

class CRegistryStoreTest : public RegistryFixture {
 protected:
  // The scratch key can only be deleted once it is writable again.
  void TearDown() override {
    tobrel::registrySetReadOnly(base_, "ro", false);
    RegistryFixture::TearDown();
  }
};

TEST_F(CRegistryStoreTest, ReadOnlyKeyOpensForReadingAndRefusesWrites) {
  HKEY ro = create("ro");
  setString(ro, "v", "value");
  RegCloseKey(ro);
  ASSERT_EQ(tobrel::registrySetReadOnly(base_, "ro", true), ERROR_SUCCESS);

  CRegistry reg(base_, "ro");
  ASSERT_TRUE(reg);
  std::tstring text;
  EXPECT_TRUE(reg.get("v", text));
  EXPECT_EQ(text, "value");
  EXPECT_FALSE(reg.set("v", std::tstring("changed")));
  EXPECT_FALSE(reg.set("new", std::tstring("x")));
  EXPECT_FALSE(reg.deleteValue("v"));
  EXPECT_TRUE(reg.get("v", text));
  EXPECT_EQ(text, "value");
}

TEST_F(CRegistryStoreTest, ReadOnlySubtreeLoadsButNeitherRestoresNorRemoves) {
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

TEST_F(CRegistryStoreTest, EveryHandleIsClosedExactlyOnce) {
  RegCloseKey(create("a"));
  RegCloseKey(create("b"));
  HKEY first;
  {
    CRegistry reg(base_, "a");
    first = reg.getKey();
    ASSERT_TRUE(reg.open("b"));          // open closes the handle it held ...
    EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);
    HKEY second = reg.getKey();
    ASSERT_TRUE(reg.create(std::tstring("c"), 0));  // ... and so does create
    EXPECT_EQ(RegCloseKey(second), ERROR_INVALID_HANDLE);
    CRegistry other(base_, "a");
    HKEY third = reg.getKey();
    reg = other;                         // and assignment
    EXPECT_EQ(RegCloseKey(third), ERROR_INVALID_HANDLE);
    first = reg.getKey();
    EXPECT_NE(first, other.getKey());
  }
  // The destructor closed the last one.
  EXPECT_EQ(RegCloseKey(first), ERROR_INVALID_HANDLE);

  HKEY closed;
  {
    CRegistry reg(base_, "a");
    closed = reg.getKey();
    EXPECT_TRUE(reg.close());
  }
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
}

// "hyouji": its first character's trail byte is 0x5C, the backslash. The
// store reads key paths as code page 932, as a Japanese Windows does; a
// Windows host with another ANSI code page would split the name there.
TEST_F(CRegistryStoreTest, NamesWithABackslashTrailByteStayWhole) {
  const std::string hyouji = "\x95\x5c\x8e\xa6";
  CRegistry reg(base_, nullptr);
  ASSERT_TRUE(reg.create(std::tstring((hyouji + "\\sub").c_str()), 0));
  ASSERT_TRUE(reg.create(std::tstring(hyouji.c_str()), 0));
  ASSERT_TRUE(reg.set(std::tstring(hyouji.c_str()), std::tstring(hyouji.c_str())));
  reg.close();

  std::tstring top(path_.c_str());
  regtree tree(HKEY_CURRENT_USER, top.c_str());
  tree.load();
  ASSERT_EQ(tree.getTopkey().getElements().size(), 1u);
  regkey_t* k = dynamic_cast<regkey_t*>(tree.getTopkey().getElements()[0]);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->getName(), hyouji.c_str());
  ASSERT_EQ(k->getElements().size(), 2u);
  EXPECT_EQ(k->getElements()[0]->getName(), "sub");
  EXPECT_EQ(k->getElements()[1]->getName(), hyouji.c_str());

  tree.setTop(HKEY_CURRENT_USER, CRegistry::addKey(top, "copy"));
  tree.restore();
  CRegistry copy(base_, ("copy\\" + hyouji + "\\sub").c_str());
  EXPECT_TRUE(copy);
  tree.remove();
  CRegistry gone(base_, "copy");
  EXPECT_FALSE(gone);
  CRegistry original(base_, (hyouji + "\\sub").c_str());
  EXPECT_TRUE(original);
}

}  // namespace
