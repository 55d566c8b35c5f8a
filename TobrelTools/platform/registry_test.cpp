// The registry calls as Windows defines them: keys, values, enumeration,
// buffer rules, handles, deletion and last write times. Written against the
// calls only, so that they pass against a real registry as well.
#include <gtest/gtest.h>

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

// Calls the registry transcript (tests/regdiff) does not make, or that it
// leaves out under Wine; the rest of the rules for paths, names, types,
// buffers and deleted keys it compares with Wine's registry call by call.
TEST_F(RegistryApiTest, PathsNamesAndTheDefaultValue) {
  DWORD disposition = 0;
  RegCloseKey(create("A\\B\\C", nullptr, &disposition));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  RegCloseKey(create("a\\b\\c", nullptr, &disposition));
  EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  HKEY key = reinterpret_cast<HKEY>(1);
  ASSERT_EQ(RegOpenKeyExA(base_, "A\\\\B\\", 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(RegOpenKeyExA(base_, "\\A", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(base_, "Nowhere", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(key, nullptr);
  EXPECT_EQ(subkeys(base_), std::vector<std::string>{"A"});   // the first spelling

  DWORD size = 0, type = 0;
  setString(base_, nullptr, "default");
  EXPECT_EQ(queryBytes(base_, ""), std::string("default", 8));
  EXPECT_EQ(valueNames(base_), std::vector<std::string>{""});
  ASSERT_EQ(RegQueryValueExA(base_, nullptr, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);   // the type alone
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(RegDeleteValueA(base_, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(base_, "", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
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

TEST_F(RegistryApiTest, HandlesThatCannotDoTheCall) {
  RegCloseKey(create("WriteOnly"));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(base_, "WriteOnly", 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
  setString(key, "v", "x");
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(key, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(key, "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegQueryValueExA(nullptr, "v", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  // Closing a predefined root succeeds and changes nothing.
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  RegCloseKey(key);
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

}  // namespace
