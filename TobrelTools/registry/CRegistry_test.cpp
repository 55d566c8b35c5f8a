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
  void setRaw(HKEY key, const char* name, DWORD type, const std::vector<unsigned char>& bytes) {
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  bool exists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(base_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
};

TEST_F(CRegistryTest, ConstructionOpensTheNamedKeyOrNothing) {
  CRegistry software(HKEY_CURRENT_USER, "Software");
  EXPECT_TRUE(software);
  EXPECT_NE(software.getKey(), nullptr);
  EXPECT_EQ(static_cast<HKEY>(software), software.getKey());
  EXPECT_EQ(software.getKeyName(), "Software");
  EXPECT_EQ(software.getRootKey(), HKEY_CURRENT_USER);

  CRegistry none(base_, nullptr);
  EXPECT_FALSE(none);
  EXPECT_EQ(none.getKey(), nullptr);
  EXPECT_TRUE(none.getKeyName().empty());
  EXPECT_EQ(none.getRootKey(), base_);

  CRegistry missing(base_, "no such key");
  EXPECT_FALSE(missing);
  EXPECT_EQ(missing.getKey(), nullptr);
  EXPECT_EQ(missing.getKeyName(), "no such key");
}

TEST_F(CRegistryTest, EmptyNameOpensTheRootAgainAndItsCopyOpensNothing) {
  CRegistry self(base_, "");
  ASSERT_TRUE(self);
  EXPECT_NE(self.getKey(), base_);
  EXPECT_TRUE(self.set("through second handle", std::tstring("x")));
  std::tstring text;
  CRegistry again(base_, "");
  EXPECT_TRUE(again.get("through second handle", text));
  EXPECT_EQ(text, "x");

  CRegistry copy(self);
  EXPECT_FALSE(copy);
  EXPECT_EQ(copy.getRootKey(), base_);
  EXPECT_TRUE(copy.getKeyName().empty());
}

TEST_F(CRegistryTest, CopiesAndAssignmentsHoldHandlesOfTheirOwn) {
  RegCloseKey(create("A"));
  RegCloseKey(create("B"));
  CRegistry a(base_, "A");
  ASSERT_TRUE(a);
  CRegistry copy(a);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy.getKey(), a.getKey());
  EXPECT_EQ(copy.getKeyName(), "A");

  CRegistry b(base_, "B");
  ASSERT_TRUE(b);
  b = a;
  ASSERT_TRUE(b);
  EXPECT_EQ(b.getKeyName(), "A");
  EXPECT_NE(b.getKey(), a.getKey());
  // Each object closes its own handle once.
  EXPECT_TRUE(a.close());
  EXPECT_TRUE(b.close());
  EXPECT_TRUE(copy.close());

  CRegistry& alias = b;
  b = alias;  // self-assignment keeps the state as it is
  EXPECT_FALSE(b);
  EXPECT_EQ(b.getKeyName(), "A");

  // A copy of an object whose name cannot be opened holds nothing either.
  CRegistry missing(base_, "missing");
  CRegistry missingCopy(missing);
  EXPECT_FALSE(missingCopy);
  EXPECT_EQ(missingCopy.getKeyName(), "missing");
  // And a copy on a null root does not try.
  CRegistry nullRoot(nullptr, "x");
  CRegistry nullRootCopy(nullRoot);
  EXPECT_FALSE(nullRootCopy);
  EXPECT_EQ(nullRootCopy.getKeyName(), "x");
}

TEST_F(CRegistryTest, CloseOnceThenNothingToClose) {
  RegCloseKey(create("C"));
  CRegistry reg(base_, "C");
  ASSERT_TRUE(reg);
  EXPECT_TRUE(reg.close());
  EXPECT_FALSE(reg);
  EXPECT_EQ(reg.getKey(), nullptr);
  EXPECT_FALSE(reg.close());
  CRegistry never(base_, nullptr);
  EXPECT_FALSE(never.close());
}

TEST_F(CRegistryTest, CreateMakesMissingKeysAndOpensExistingOnes) {
  CRegistry reg(base_, nullptr);
  EXPECT_TRUE(reg.create("one\\two", 0));
  EXPECT_TRUE(reg);
  EXPECT_EQ(reg.getKeyName(), "one\\two");
  EXPECT_TRUE(exists("one\\two"));
  EXPECT_TRUE(reg.set("v", std::tstring("1")));
  EXPECT_TRUE(reg.create("one\\two", 0));  // the existing key, value kept
  std::tstring text;
  EXPECT_TRUE(reg.get("v", text));
  EXPECT_EQ(text, "1");

  // A create that fails leaves nothing open, but takes the name.
  CRegistry broken(nullptr, nullptr);
  EXPECT_FALSE(broken.create("x", 0));
  EXPECT_FALSE(broken);
  EXPECT_EQ(broken.getKeyName(), "x");
}

// Creating from an element with its name and class is what restoring a
// snapshot does (the regtree round trip); a failure keeps the name as it was.
TEST_F(CRegistryTest, CreateFromAnElementThatFailsKeepsTheName) {
  regkey_t element;
  element.setName("classy");
  CRegistry broken(nullptr, nullptr);
  broken.create(std::tstring("before"), 0);
  EXPECT_FALSE(broken.create(element, 0));
  EXPECT_EQ(broken.getKeyName(), "before");
}

TEST_F(CRegistryTest, OpenAndCreateReplaceTheHeldKey) {
  RegCloseKey(create("first"));
  RegCloseKey(create("second"));
  CRegistry reg(base_, "first");
  ASSERT_TRUE(reg);
  EXPECT_TRUE(reg.open("second"));
  EXPECT_TRUE(reg.set("here", std::tstring("2")));
  HKEY second = create("second");
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(second, "here", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  RegCloseKey(second);
  EXPECT_FALSE(reg.open("absent"));
  EXPECT_FALSE(reg);
  EXPECT_EQ(reg.getKeyName(), "absent");
}

TEST_F(CRegistryTest, TextValuesCarryTheirNul) {
  CRegistry reg(base_, "");
  ASSERT_TRUE(reg.set("abc", std::tstring("abc")));
  EXPECT_EQ(reg.querySize("abc"), 4u);
  EXPECT_EQ(reg.queryType("abc"), static_cast<unsigned long>(REG_SZ));
  std::tstring text("old");
  EXPECT_TRUE(reg.get("abc", text));
  EXPECT_EQ(text, "abc");

  ASSERT_TRUE(reg.set("", std::tstring("default")));  // the key's default value
  EXPECT_TRUE(reg.get("", text));
  EXPECT_EQ(text, "default");

  EXPECT_EQ(reg.querySize("missing"), 0u);
  EXPECT_EQ(reg.queryType("missing"), 0u);
  text = "kept";
  EXPECT_FALSE(reg.get("missing", text));
  EXPECT_EQ(text, "kept");
}

TEST_F(CRegistryTest, GetReadsAnyTypeAsTextWithinTheBuffer) {
  setRaw(base_, "dword", REG_DWORD, {0x41, 0, 0, 0});
  setRaw(base_, "nonul", REG_BINARY, {'x', 'y', 'z'});
  setRaw(base_, "exact", REG_BINARY, std::vector<unsigned char>(1024, 'e'));
  setRaw(base_, "toolong", REG_SZ, std::vector<unsigned char>(1025, 'l'));
  CRegistry reg(base_, "");
  std::tstring text;
  EXPECT_TRUE(reg.get("dword", text));
  EXPECT_EQ(text, "A");
  EXPECT_TRUE(reg.get("nonul", text));
  EXPECT_EQ(text, "xyz");
  EXPECT_TRUE(reg.get("exact", text));
  EXPECT_EQ(text.size(), 1024u);
  text = "unchanged";
  EXPECT_FALSE(reg.get("toolong", text));
  EXPECT_EQ(text, "unchanged");
}

TEST_F(CRegistryTest, RawReadReportsTheSizeNeeded) {
  CRegistry reg(base_, "");
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
// the registry; here what they leave alone.
TEST_F(CRegistryTest, EnumKeyLeavesTheListAndOnFailureTheElement) {
  RegCloseKey(create("alpha", "AlphaClass"));
  CRegistry reg(base_, "");
  regkey_t element;
  element.addElements(new regval_t);
  ASSERT_TRUE(reg.enumKey(0, element));
  EXPECT_EQ(element.getName(), "alpha");
  EXPECT_EQ(element.getElements().size(), 1u);  // the list is not touched
  filetime before = element.getLastWriteTime();
  EXPECT_FALSE(reg.enumKey(1, element));
  EXPECT_EQ(element.getName(), "alpha");
  EXPECT_EQ(element.getClass(), "AlphaClass");
  EXPECT_TRUE(element.getLastWriteTime() == before);
}

TEST_F(CRegistryTest, EnumKeyFailsOnAClassThatDoesNotFit) {
  std::string longClass(1024, 'c');
  RegCloseKey(create("long class", longClass.c_str()));
  std::string fits(1023, 'c');
  RegCloseKey(create("m fits", fits.c_str()));
  CRegistry reg(base_, "");
  regkey_t element;
  EXPECT_FALSE(reg.enumKey(0, element));
  ASSERT_TRUE(reg.enumKey(1, element));
  EXPECT_EQ(element.getClass().size(), 1023u);
}

TEST_F(CRegistryTest, EnumValuePastTheEndEmptiesTheElement) {
  setString(base_, "text", "hello");
  CRegistry reg(base_, "");
  regval_t value;
  ASSERT_TRUE(reg.enumValue(0, value));
  EXPECT_EQ(value.getName(), "text");
  EXPECT_FALSE(reg.enumValue(1, value));
  EXPECT_TRUE(value.getName().empty());
  EXPECT_EQ(value.getData(), nullptr);
  EXPECT_EQ(value.getDataSize(), 0);
  EXPECT_EQ(value.getType(), 0u);
}

TEST_F(CRegistryTest, EnumValueFailsOnItemsThatDoNotFit) {
  setRaw(base_, "big", REG_BINARY, std::vector<unsigned char>(1025, 1));
  CRegistry reg(base_, "");
  regval_t value;
  value.setName("stale");
  EXPECT_FALSE(reg.enumValue(0, value));
  EXPECT_TRUE(value.getName().empty());
  EXPECT_EQ(value.getDataSize(), 0);
  ASSERT_TRUE(reg.deleteValue("big"));

  std::string fits(1023, 'n');
  std::string tooLong(1024, 'n');
  setString(base_, fits.c_str(), "a");
  setString(base_, tooLong.c_str(), "b");
  ASSERT_TRUE(reg.enumValue(0, value));
  EXPECT_EQ(value.getName().size(), 1023u);
  EXPECT_FALSE(reg.enumValue(1, value));
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
