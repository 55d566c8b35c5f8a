// The registry calls as Windows defines them: keys, values, enumeration,
// buffer rules, handles, deletion and last write times. Written against the
// calls only, so that they pass against a real registry as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "TobrelTools/platform/platform.h"
#include "tests/registry_test_util.h"

namespace {

using tobrel::test::RegistryFixture;

std::uint64_t ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

class RegistryApiTest : public RegistryFixture {
 protected:
  // The last write time of the subkey `name` of `parent`.
  std::uint64_t lastWrite(HKEY parent, const std::string& name) {
    char buf[1024];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof buf;
      FILETIME ft = {0, 0};
      if (RegEnumKeyExA(parent, i, buf, &size, nullptr, nullptr, nullptr, &ft) != ERROR_SUCCESS) break;
      if (name == std::string(buf, size)) return ticks(ft);
    }
    ADD_FAILURE() << "no subkey " << name;
    return 0;
  }
  std::string queryBytes(HKEY key, const char* name, DWORD* type = nullptr) {
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    std::string out(size, '\0');
    DWORD t = 0;
    EXPECT_EQ(RegQueryValueExA(key, name, nullptr, &t, reinterpret_cast<BYTE*>(&out[0]), &size), ERROR_SUCCESS);
    out.resize(size);
    if (type) *type = t;
    return out;
  }
  // Lets the clock move on by more than the coarsest registry time step.
  static void tick() { std::this_thread::sleep_for(std::chrono::milliseconds(40)); }
};

TEST_F(RegistryApiTest, CreateMakesEveryMissingKeyAndReportsDisposition) {
  DWORD disposition = 0;
  HKEY c = create("A\\B\\C", nullptr, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(c);
  HKEY b = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, "A\\B", 0, KEY_READ, &b), ERROR_SUCCESS);
  EXPECT_EQ(subkeys(b), std::vector<std::string>{"C"});
  RegCloseKey(b);
  c = create("a\\b\\c", nullptr, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  RegCloseKey(c);
  // The last component is created below existing ones.
  c = create("A\\B\\D", nullptr, &disposition);
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(c);
}

TEST_F(RegistryApiTest, PathsIgnoreRepeatedAndTrailingBackslashes) {
  RegCloseKey(create("P\\Q"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, "P\\\\Q\\", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(base_, "\\P", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
}

TEST_F(RegistryApiTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
  HKEY key = create("MixedCase");
  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, "MIXEDcase", 0, KEY_ALL_ACCESS, &again), ERROR_SUCCESS);
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"MixedCase"});

  setString(key, "Value", "one");
  setString(again, "VALUE", "two");
  EXPECT_EQ(valueNames(key), std::vector<std::string>{"Value"});
  EXPECT_EQ(queryBytes(key, "vALUE"), std::string("two", 4));
  RegCloseKey(again);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, EmptyOrNullSubkeyOpensTheSameKeyAsANewHandle) {
  for (const char* sub : {"", static_cast<const char*>(nullptr)}) {
    HKEY same = nullptr;
    ASSERT_EQ(RegOpenKeyExA(base_, sub, 0, KEY_ALL_ACCESS, &same), ERROR_SUCCESS);
    EXPECT_NE(same, base_);
    setString(same, "through", "second handle");
    EXPECT_EQ(RegCloseKey(same), ERROR_SUCCESS);
    EXPECT_EQ(queryBytes(base_, "through"), std::string("second handle", 14));
  }
  HKEY same = nullptr;
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExA(base_, "", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &same, &disposition), ERROR_SUCCESS);
  EXPECT_NE(same, base_);
  RegCloseKey(same);
}

TEST_F(RegistryApiTest, ClassGivenAtCreationIsReported) {
  RegCloseKey(create("Classy", "first"));
  char name[64], cls[64];
  DWORD nameSize = sizeof name, clsSize = sizeof cls;
  ASSERT_EQ(RegEnumKeyExA(base_, 0, name, &nameSize, nullptr, cls, &clsSize, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(std::string(name, nameSize), "Classy");
  EXPECT_EQ(std::string(cls, clsSize), "first");
}

TEST_F(RegistryApiTest, SubkeysEnumerateSortedByNameIgnoringCase) {
  for (const char* n : {"b", "D10", "C", "a", "d2", "AB"}) RegCloseKey(create(n));
  EXPECT_EQ(subkeys(base_), (std::vector<std::string>{"a", "AB", "b", "C", "D10", "d2"}));
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(base_, 6, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(base_, 1000, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  // Random access after sequential access.
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(base_, 3, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "C");
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(base_, 3, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "C");
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(base_, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "a");
}

TEST_F(RegistryApiTest, EnumerationFollowsChangesMadeBetweenSteps) {
  for (const char* n : {"b", "c", "d"}) RegCloseKey(create(n));
  char name[16];
  DWORD size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(base_, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(base_, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "c");
  RegCloseKey(create("a"));  // now a, b, c, d
  size = sizeof name;
  ASSERT_EQ(RegEnumKeyExA(base_, 2, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "c");

  // Deleting whatever index 0 names until nothing is left empties the key.
  int deleted = 0;
  for (;;) {
    size = sizeof name;
    if (RegEnumKeyExA(base_, 0, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    ASSERT_EQ(RegDeleteKeyA(base_, name), ERROR_SUCCESS);
    ++deleted;
  }
  EXPECT_EQ(deleted, 4);

  setString(base_, "v1", "1");
  setString(base_, "v2", "2");
  setString(base_, "v3", "3");
  size = sizeof name;
  ASSERT_EQ(RegEnumValueA(base_, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(base_, "v1"), ERROR_SUCCESS);
  size = sizeof name;
  ASSERT_EQ(RegEnumValueA(base_, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(name, "v3");
}

TEST_F(RegistryApiTest, EnumKeyBufferRules) {
  RegCloseKey(create("Name5", "Class"));
  char name[16], cls[16];
  std::memset(name, 'x', sizeof name);
  DWORD nameSize = 6, clsSize = 6;  // exactly room for the texts and their NULs
  FILETIME ft = {0, 0};
  ASSERT_EQ(RegEnumKeyExA(base_, 0, name, &nameSize, nullptr, cls, &clsSize, &ft), ERROR_SUCCESS);
  EXPECT_EQ(nameSize, 5u);
  EXPECT_EQ(clsSize, 5u);
  EXPECT_STREQ(name, "Name5");
  EXPECT_STREQ(cls, "Class");
  EXPECT_NE(ticks(ft), 0u);

  nameSize = 5;  // no room for the NUL
  clsSize = sizeof cls;
  EXPECT_EQ(RegEnumKeyExA(base_, 0, name, &nameSize, nullptr, cls, &clsSize, nullptr), ERROR_MORE_DATA);
  nameSize = sizeof name;
  clsSize = 5;
  EXPECT_EQ(RegEnumKeyExA(base_, 0, name, &nameSize, nullptr, cls, &clsSize, nullptr), ERROR_MORE_DATA);
}

TEST_F(RegistryApiTest, SettingAValueAgainKeepsOneEntry) {
  setString(base_, "zeta", "1");
  setString(base_, "alpha", "2");
  setString(base_, "ZETA", "changed");
  std::vector<std::string> names = valueNames(base_);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"alpha", "zeta"}));
  char name[16];
  DWORD size = sizeof name;
  EXPECT_EQ(RegEnumValueA(base_, 2, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryApiTest, EnumValueBufferRules) {
  const BYTE data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(RegSetValueExA(base_, "Bytes", 0, REG_BINARY, data, sizeof data), ERROR_SUCCESS);
  char name[16];
  BYTE buf[16];
  DWORD nameSize = sizeof name, type = 0, dataSize = 0;
  // No data buffer: the size alone.
  ASSERT_EQ(RegEnumValueA(base_, 0, name, &nameSize, nullptr, &type, nullptr, &dataSize), ERROR_SUCCESS);
  EXPECT_EQ(nameSize, 5u);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(dataSize, 10u);
  // A data buffer too small: ERROR_MORE_DATA and the size needed.
  nameSize = sizeof name;
  dataSize = 4;
  EXPECT_EQ(RegEnumValueA(base_, 0, name, &nameSize, nullptr, &type, buf, &dataSize), ERROR_MORE_DATA);
  EXPECT_EQ(dataSize, 10u);
  // A name buffer too small.
  nameSize = 5;
  dataSize = sizeof buf;
  EXPECT_EQ(RegEnumValueA(base_, 0, name, &nameSize, nullptr, &type, buf, &dataSize), ERROR_MORE_DATA);
  // Exactly enough.
  nameSize = 6;
  dataSize = 10;
  ASSERT_EQ(RegEnumValueA(base_, 0, name, &nameSize, nullptr, &type, buf, &dataSize), ERROR_SUCCESS);
  EXPECT_STREQ(name, "Bytes");
  EXPECT_EQ(dataSize, 10u);
  EXPECT_EQ(std::memcmp(buf, data, 10), 0);
}

TEST_F(RegistryApiTest, QueryValueSizeTypeAndSmallBuffer) {
  setString(base_, "Text", "abc");
  DWORD type = 0, size = 0;
  ASSERT_EQ(RegQueryValueExA(base_, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 4u);
  type = 0;
  ASSERT_EQ(RegQueryValueExA(base_, "Text", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  BYTE buf[8];
  size = 2;
  EXPECT_EQ(RegQueryValueExA(base_, "Text", nullptr, &type, buf, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  size = 4;
  ASSERT_EQ(RegQueryValueExA(base_, "Text", nullptr, nullptr, buf, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(buf, "abc", 4), 0);

  size = 0;
  EXPECT_EQ(RegQueryValueExA(base_, "Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValueA(base_, "Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, SetValueStoresExactlyTheBytesGiven) {
  DWORD type = 0;
  const BYTE binary[6] = {0, 0xFF, 0, 0x80, 0x5C, 0};
  ASSERT_EQ(RegSetValueExA(base_, "Bin", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
  EXPECT_EQ(queryBytes(base_, "Bin", &type), std::string(reinterpret_cast<const char*>(binary), 6));
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  ASSERT_EQ(RegSetValueExA(base_, "Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(queryBytes(base_, "Empty", &type), "");
  const BYTE qword[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(RegSetValueExA(base_, "Q", 0, REG_QWORD, qword, 8), ERROR_SUCCESS);
  EXPECT_EQ(queryBytes(base_, "Q", &type), std::string(reinterpret_cast<const char*>(qword), 8));
  EXPECT_EQ(type, static_cast<DWORD>(REG_QWORD));
  // Overwriting with another type and size replaces both.
  DWORD dword = 0x41;
  ASSERT_EQ(RegSetValueExA(base_, "Bin", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), 4), ERROR_SUCCESS);
  EXPECT_EQ(queryBytes(base_, "Bin", &type), std::string("A\0\0\0", 4));
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
}

TEST_F(RegistryApiTest, EmptyOrNullValueNameIsTheDefaultValue) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(base_, "", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  setString(base_, nullptr, "default");
  EXPECT_EQ(queryBytes(base_, ""), std::string("default", 8));
  EXPECT_EQ(queryBytes(base_, nullptr), std::string("default", 8));
  EXPECT_EQ(valueNames(base_), std::vector<std::string>{""});
  EXPECT_EQ(RegDeleteValueA(base_, ""), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(base_, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, DeleteKeyRefusesAKeyWithSubkeysAndTakesValuesAlong) {
  HKEY parent = create("Parent\\Child");
  RegCloseKey(parent);
  EXPECT_EQ(RegDeleteKeyA(base_, "Parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"Parent"});
  EXPECT_EQ(RegDeleteKeyA(base_, "Parent\\Child"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(base_, "Parent\\Child"), ERROR_FILE_NOT_FOUND);
  HKEY key = create("Parent");
  setString(key, "v", "value");
  RegCloseKey(key);
  EXPECT_EQ(RegDeleteKeyA(base_, "parent"), ERROR_SUCCESS);
  EXPECT_TRUE(subkeys(base_).empty());
  key = create("Parent");
  EXPECT_TRUE(valueNames(key).empty());
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, HandlesOfADeletedKeyFailWithKeyDeleted) {
  HKEY doomed = create("Doomed");
  setString(doomed, "v", "x");
  ASSERT_EQ(RegDeleteKeyA(base_, "Doomed"), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(doomed, "v", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(doomed, "w", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueA(doomed, "v"), ERROR_KEY_DELETED);
  char name[16];
  size = sizeof name;
  EXPECT_EQ(RegEnumKeyExA(doomed, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  size = sizeof name;
  EXPECT_EQ(RegEnumValueA(doomed, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExA(doomed, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExA(doomed, "Sub", 0, KEY_READ, &sub), ERROR_KEY_DELETED);
  // A key made again under the same name (the newest key, as the deleted one
  // was) is a new key, which the old handle never reaches.
  HKEY again = create("Doomed");
  size = 0;
  EXPECT_EQ(RegQueryValueExA(again, "v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  setString(again, "w", "new");
  EXPECT_EQ(RegQueryValueExA(doomed, "w", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(doomed, "x", 0, REG_SZ, reinterpret_cast<const BYTE*>("y"), 2), ERROR_KEY_DELETED);
  EXPECT_EQ(valueNames(again), std::vector<std::string>{"w"});
  EXPECT_EQ(RegCloseKey(doomed), ERROR_SUCCESS);
  RegCloseKey(again);
}

TEST_F(RegistryApiTest, MissingKeysAreNotFound) {
  HKEY key = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExA(base_, "Nowhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(RegOpenKeyExA(base_, "Nowhere\\Deeper", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(base_, "Nowhere"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryApiTest, ReadHandlesRefuseWrites) {
  RegCloseKey(create("ReadMe"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, "ReadMe", 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(key, "v"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(valueNames(key).empty());
  RegCloseKey(key);
  // A write-only handle cannot read.
  ASSERT_EQ(RegOpenKeyExA(base_, "ReadMe", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  setString(key, "v", "x");
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, InvalidAndClosedHandles) {
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(nullptr, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  HKEY key = create("Closed");
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryApiTest, ClosingAPredefinedRootSucceedsAndChangesNothing) {
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, HandlesFitIn32Bits) {
  std::vector<HKEY> keys;
  for (int i = 0; i < 20; ++i) keys.push_back(create("H" + std::to_string(i)));
  for (HKEY k : keys) {
    std::uintptr_t v = reinterpret_cast<std::uintptr_t>(k);
    EXPECT_EQ(v, static_cast<std::uintptr_t>(static_cast<std::uint32_t>(v)));
    RegCloseKey(k);
  }
}

TEST_F(RegistryApiTest, LastWriteTimesMoveWithValuesAndDirectSubkeys) {
  HKEY key = create("Timed");
  HKEY deep = create("Timed\\Deep");
  std::uint64_t t0 = lastWrite(base_, "Timed");
  EXPECT_NE(t0, 0u);

  tick();
  setString(deep, "v", "x");  // a grandchild's value does not count
  EXPECT_EQ(lastWrite(base_, "Timed"), t0);
  setString(key, "v", "x");
  std::uint64_t t1 = lastWrite(base_, "Timed");
  EXPECT_GT(t1, t0);

  tick();
  setString(key, "v", "y");
  std::uint64_t t2 = lastWrite(base_, "Timed");
  EXPECT_GT(t2, t1);

  tick();
  RegCloseKey(create("Timed\\Second"));
  std::uint64_t t3 = lastWrite(base_, "Timed");
  EXPECT_GT(t3, t2);

  tick();
  RegCloseKey(create("Timed\\Deep\\Deeper"));  // below a subkey: no change
  EXPECT_EQ(lastWrite(base_, "Timed"), t3);
  ASSERT_EQ(RegDeleteKeyA(key, "Second"), ERROR_SUCCESS);
  std::uint64_t t4 = lastWrite(base_, "Timed");
  EXPECT_GT(t4, t3);

  tick();
  ASSERT_EQ(RegDeleteValueA(key, "v"), ERROR_SUCCESS);
  EXPECT_GT(lastWrite(base_, "Timed"), t4);

  // A failed write changes nothing.
  std::uint64_t t5 = lastWrite(base_, "Timed");
  tick();
  EXPECT_EQ(RegDeleteValueA(key, "absent"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(lastWrite(base_, "Timed"), t5);
  RegCloseKey(deep);
  RegCloseKey(key);
}

TEST_F(RegistryApiTest, CreationTimeIsTheCurrentUtcTime) {
  RegCloseKey(create("Now"));
  // FILETIME of the Unix epoch plus the seconds since it.
  std::uint64_t now = (static_cast<std::uint64_t>(std::time(nullptr)) + 11644473600ULL) * 10000000ULL;
  std::uint64_t t = lastWrite(base_, "Now");
  EXPECT_LT(t > now ? t - now : now - t, 60ULL * 10000000ULL);
}

TEST(FileTimeToDosDateTimeTest, ConvertsWithoutTimeZoneAndRefusesOutOfRange) {
  // 17 May 2024 09:03:04 UTC.
  std::uint64_t seconds = 1715936584ULL + 11644473600ULL;
  std::uint64_t t = seconds * 10000000ULL;
  FILETIME ft = {static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(t >> 32)};
  WORD date = 0, time = 0;
  ASSERT_TRUE(FileTimeToDosDateTime(&ft, &date, &time));
  EXPECT_EQ((date >> 9) + 1980, 2024);
  EXPECT_EQ((date >> 5) & 15, 5);
  EXPECT_EQ(date & 31, 17);
  EXPECT_EQ(time >> 11, 9);
  EXPECT_EQ((time >> 5) & 63, 3);
  EXPECT_EQ((time & 31) * 2, 4);

  FILETIME zero = {0, 0};
  EXPECT_FALSE(FileTimeToDosDateTime(&zero, &date, &time));
  std::uint64_t y1979 = (315532799ULL + 11644473600ULL) * 10000000ULL;  // 1979-12-31 23:59:59
  FILETIME before = {static_cast<std::uint32_t>(y1979), static_cast<std::uint32_t>(y1979 >> 32)};
  EXPECT_FALSE(FileTimeToDosDateTime(&before, &date, &time));
}

}  // namespace
