#include "TobrelTools/registry/CRegistry.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/platform/registry.h"
#include "TobrelTools/registry/regkey.h"
#include "TobrelTools/registry/regval.h"
#include "tests/registry_test_util.h"

namespace {

using tobrel::test::RegistryFixture;

class CRegistryTest : public RegistryFixture {
 protected:
  void setRaw(const char* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExA(base_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  bool exists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(base_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
};

TEST_F(CRegistryTest, ConstructionOpensTheNamedKeyOrNothingAndClosesOnce) {
  CRegistry software(HKEY_CURRENT_USER, "Software");
  EXPECT_TRUE(software);
  EXPECT_EQ(static_cast<HKEY>(software), software.getKey());
  EXPECT_EQ(software.getKeyName(), "Software");
  EXPECT_EQ(software.getRootKey(), HKEY_CURRENT_USER);
  EXPECT_TRUE(software.close());
  EXPECT_FALSE(software);
  EXPECT_EQ(software.getKey(), nullptr);
  EXPECT_FALSE(software.close());

  CRegistry none(base_, nullptr);
  EXPECT_FALSE(none);
  EXPECT_TRUE(none.getKeyName().empty());
  EXPECT_EQ(none.getRootKey(), base_);
  EXPECT_FALSE(none.close());
  CRegistry missing(base_, "no such key");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.getKey(), nullptr);
  EXPECT_EQ(missing.getKeyName(), "no such key");
}

TEST_F(CRegistryTest, CopiesAndAssignmentsHoldHandlesOfTheirOwn) {
  CRegistry self(base_, "");  // the root again, as a second handle
  ASSERT_TRUE(self);
  EXPECT_NE(self.getKey(), base_);
  EXPECT_TRUE(self.set("through second handle", std::tstring("x")));
  EXPECT_EQ(valueNames(base_), std::vector<std::string>{"through second handle"});
  CRegistry selfCopy(self);  // an empty name: the copy opens nothing
  EXPECT_FALSE(selfCopy);
  EXPECT_EQ(selfCopy.getRootKey(), base_);

  RegCloseKey(create("A"));
  RegCloseKey(create("B"));
  CRegistry a(base_, "A");
  CRegistry copy(a);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.getKey(), a.getKey());
  EXPECT_EQ(copy.getKeyName(), "A");
  CRegistry b(base_, "B");
  b = a;
  ASSERT_TRUE(b);
  EXPECT_EQ(b.getKeyName(), "A");
  EXPECT_NE(b.getKey(), a.getKey());
  EXPECT_TRUE(a.close());  // each object closes its own handle once
  EXPECT_TRUE(b.close());
  EXPECT_TRUE(copy.close());
  CRegistry& alias = b;
  b = alias;  // self-assignment keeps the state as it is
  EXPECT_FALSE(b);
  EXPECT_EQ(b.getKeyName(), "A");

  // Copies of an object whose name cannot be opened, or on a null root, hold
  // nothing either.
  for (const CRegistry& source : {CRegistry(base_, "missing"), CRegistry(nullptr, "x")}) {
    CRegistry c(source);
    EXPECT_FALSE(c);
    EXPECT_EQ(c.getKeyName(), source.getKeyName());
  }
}

TEST_F(CRegistryTest, OpenAndCreateReplaceTheHeldKey) {
  CRegistry reg(base_, nullptr);
  EXPECT_TRUE(reg.create("one\\two", 0));
  EXPECT_EQ(reg.getKeyName(), "one\\two");
  EXPECT_TRUE(exists("one\\two"));
  EXPECT_TRUE(reg.set("v", std::tstring("1")));
  EXPECT_TRUE(reg.create("one\\two", 0));  // the existing key, value kept
  std::tstring text;
  EXPECT_TRUE(reg.get("v", text));
  EXPECT_EQ(text, "1");
  EXPECT_TRUE(reg.open("one"));
  EXPECT_TRUE(reg.set("here", std::tstring("2")));
  CRegistry one(base_, "one");
  EXPECT_TRUE(one.get("here", text));
  EXPECT_FALSE(reg.open("absent"));
  EXPECT_FALSE(reg);
  EXPECT_EQ(reg.getKeyName(), "absent");

  // A create that fails leaves nothing open but takes the name; from an
  // element, it keeps the name it had.
  CRegistry broken(nullptr, nullptr);
  EXPECT_FALSE(broken.create("before", 0));
  EXPECT_FALSE(broken);
  EXPECT_EQ(broken.getKeyName(), "before");
  regkey_t element;
  element.setName("classy");
  EXPECT_FALSE(broken.create(element, 0));
  EXPECT_EQ(broken.getKeyName(), "before");
}

TEST_F(CRegistryTest, ValuesAsTextAndAsBytes) {
  CRegistry reg(base_, "");
  ASSERT_TRUE(reg.set("abc", std::tstring("abc")));
  EXPECT_EQ(reg.querySize("abc"), 4u);  // text carries its NUL
  EXPECT_EQ(reg.queryType("abc"), static_cast<unsigned long>(REG_SZ));
  ASSERT_TRUE(reg.set("", std::tstring("default")));
  std::tstring text;
  EXPECT_TRUE(reg.get("", text));
  EXPECT_EQ(text, "default");
  EXPECT_EQ(reg.querySize("missing"), 0u);
  EXPECT_EQ(reg.queryType("missing"), 0u);

  // Any type reads as text up to its first NUL, within 1024 bytes.
  setRaw("dword", REG_DWORD, std::string("A\0\0\0", 4));
  setRaw("nonul", REG_BINARY, "xyz");
  setRaw("exact", REG_BINARY, std::string(1024, 'e'));
  setRaw("toolong", REG_SZ, std::string(1025, 'l'));
  EXPECT_TRUE(reg.get("dword", text));
  EXPECT_EQ(text, "A");
  EXPECT_TRUE(reg.get("nonul", text));
  EXPECT_EQ(text, "xyz");
  EXPECT_TRUE(reg.get("exact", text));
  EXPECT_EQ(text.size(), 1024u);
  for (const char* refused : {"toolong", "missing"}) {
    text = "unchanged";
    EXPECT_FALSE(reg.get(refused, text));
    EXPECT_EQ(text, "unchanged");
  }

  const unsigned char bytes[] = {1, 2, 3, 4, 5};
  ASSERT_TRUE(reg.set("bin", bytes, sizeof bytes));
  EXPECT_EQ(reg.queryType("bin"), static_cast<unsigned long>(REG_BINARY));
  unsigned char buffer[8] = {0};
  unsigned long size = sizeof buffer;
  EXPECT_TRUE(reg.get("bin", buffer, &size));
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::memcmp(buffer, bytes, 5), 0);
  size = 2;
  EXPECT_FALSE(reg.get("bin", buffer, &size));
  EXPECT_EQ(size, 5u);
}

TEST_F(CRegistryTest, DeletionsAreOneLevelDeep) {
  RegCloseKey(create("parent\\child"));
  CRegistry reg(base_, "");
  EXPECT_FALSE(reg.deleteKey("parent"));
  EXPECT_TRUE(exists("parent\\child"));
  EXPECT_FALSE(reg.deleteKey("absent"));
  CRegistry parent(base_, "parent");
  EXPECT_TRUE(parent.deleteKey("child"));
  EXPECT_TRUE(reg.deleteKey("parent"));
  EXPECT_FALSE(exists("parent"));
  ASSERT_TRUE(reg.set("v", std::tstring("x")));
  EXPECT_TRUE(reg.deleteValue("v"));
  EXPECT_FALSE(reg.deleteValue("v"));
}

TEST_F(CRegistryTest, NoOpenKeyMeansEveryOperationFails) {
  CRegistry reg(base_, nullptr);
  std::tstring text("t");
  unsigned char buffer[4];
  unsigned long size = sizeof buffer;
  regkey_t key;
  regval_t value;
  EXPECT_FALSE(reg.get("v", text));
  EXPECT_FALSE(reg.get("v", buffer, &size));
  EXPECT_EQ(reg.querySize("v"), 0u);
  EXPECT_EQ(reg.queryType("v"), 0u);
  EXPECT_FALSE(reg.set("v", std::tstring("x")));
  EXPECT_FALSE(reg.set("v", buffer, 4));
  EXPECT_FALSE(reg.deleteValue("v"));
  EXPECT_FALSE(reg.deleteKey("k"));
  EXPECT_FALSE(reg.enumKey(0, key));
  EXPECT_FALSE(reg.enumValue(0, value));
}

// What the enumerations fill in is what the regtree round trip compares with
// the registry; here what they leave alone, and the items that do not fit.
TEST_F(CRegistryTest, EnumKeyLeavesTheListAndFailsOnAClassThatDoesNotFit) {
  RegCloseKey(create("alpha", "AlphaClass"));
  RegCloseKey(create("long class", std::string(1024, 'c').c_str()));
  RegCloseKey(create("m fits", std::string(1023, 'c').c_str()));
  CRegistry reg(base_, "");
  regkey_t element;
  element.addElements(new regval_t);
  ASSERT_TRUE(reg.enumKey(0, element));
  EXPECT_EQ(element.getName(), "alpha");
  EXPECT_EQ(element.getElements().size(), 1u);  // the list is not touched
  filetime before = element.getLastWriteTime();
  EXPECT_FALSE(reg.enumKey(1, element));  // the class does not fit
  EXPECT_FALSE(reg.enumKey(3, element));
  EXPECT_EQ(element.getName(), "alpha");
  EXPECT_EQ(element.getClass(), "AlphaClass");
  EXPECT_TRUE(element.getLastWriteTime() == before);
  ASSERT_TRUE(reg.enumKey(2, element));
  EXPECT_EQ(element.getClass().size(), 1023u);
}

TEST_F(CRegistryTest, EnumValueEmptiesTheElementOnFailure) {
  setRaw("big", REG_BINARY, std::string(1025, 1));
  CRegistry reg(base_, "");
  regval_t value;
  value.setName("stale");
  EXPECT_FALSE(reg.enumValue(0, value));  // data that does not fit
  EXPECT_TRUE(value.getName().empty());
  EXPECT_EQ(value.getDataSize(), 0);
  ASSERT_TRUE(reg.deleteValue("big"));

  setString(base_, std::string(1023, 'n').c_str(), "a");
  setString(base_, std::string(1024, 'n').c_str(), "b");
  ASSERT_TRUE(reg.enumValue(0, value));
  EXPECT_EQ(value.getName().size(), 1023u);
  EXPECT_FALSE(reg.enumValue(1, value));  // a name that does not fit
  EXPECT_FALSE(reg.enumValue(2, value));  // past the end
  EXPECT_TRUE(value.getName().empty());
  EXPECT_EQ(value.getData(), nullptr);
  EXPECT_EQ(value.getType(), 0u);
}

TEST(CRegistryAddKey, JoinsWithOneBackslashAndTrimsNothing) {
  EXPECT_EQ(CRegistry::addKey("", "B"), "B");
  EXPECT_EQ(CRegistry::addKey("A", "B"), "A\\B");
  EXPECT_EQ(CRegistry::addKey("A\\", "B"), "A\\\\B");
  EXPECT_EQ(CRegistry::addKey("A", ""), "A\\");
  EXPECT_EQ(CRegistry::addKey("", ""), "");
}

#ifndef _WIN32
// The Linux store does not hand a closed handle out again soon, so a second
// close of one is seen to fail.
using CRegistryStoreTest = RegistryFixture;

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

#endif  // _WIN32

}  // namespace
