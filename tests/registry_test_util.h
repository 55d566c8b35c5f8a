// Test helpers for registry tests: a fresh scratch key per test, on Linux in a
// fresh store file, on Windows under HKEY_CURRENT_USER\Software\TobrelTools
// Tests (deleted afterwards). Uses only the Windows-named calls, so the same
// tests run against the store and against a real registry.
#ifndef TOBRELTOOLS_TESTS_REGISTRY_TEST_UTIL_H_
#define TOBRELTOOLS_TESTS_REGISTRY_TEST_UTIL_H_

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/platform/platform.h"
#include "tests/test_util.h"

namespace tobrel {
namespace test {

// The names of the subkeys or values of `key`, by rising index.
inline std::vector<std::string> registryNames(HKEY key, bool values) {
  std::vector<std::string> out;
  char name[1024];
  for (DWORD i = 0;; ++i) {
    DWORD size = sizeof name;
    LONG err = values ? RegEnumValueA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr)
                      : RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr);
    if (err != ERROR_SUCCESS) {
      EXPECT_EQ(err, ERROR_NO_MORE_ITEMS);
      return out;
    }
    out.emplace_back(name, size);
  }
}

// Deletes `path` below `root` with everything under it; true when it is gone.
inline bool deleteTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  LONG err = RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, &key);
  if (err == ERROR_FILE_NOT_FOUND) return true;
  if (err != ERROR_SUCCESS) return false;
  bool ok = true;
  for (const std::string& child : registryNames(key, false)) ok = deleteTree(key, child) && ok;
  RegCloseKey(key);
  return RegDeleteKeyA(root, path.c_str()) == ERROR_SUCCESS && ok;
}

// Points the Linux store at a new, empty file of this test's own.
inline std::string freshRegistryStore() {
#if !defined(_WIN32)
  std::string db = tempPath("registry.db");
  for (const char* suffix : {"", "-wal", "-shm"}) std::remove((db + suffix).c_str());
  tobrel::registryStoreReset(db.c_str());
  return db;
#else
  return std::string();
#endif
}

// A fixture with an empty scratch key `base_` (all access) at `path_` below
// HKEY_CURRENT_USER.
class RegistryFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = freshRegistryStore();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::string("Software\\TobrelTools Tests\\") + info->test_suite_name() + "." + info->name();
    ASSERT_TRUE(deleteTree(HKEY_CURRENT_USER, path_));
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &base_,
                              nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(base_);
    EXPECT_TRUE(deleteTree(HKEY_CURRENT_USER, path_));
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &parent) == ERROR_SUCCESS) {
      RegDeleteKeyA(parent, "TobrelTools Tests");  // only when no other test's key is left
      RegCloseKey(parent);
    }
  }

  // Creates (or opens) `path` below the scratch key; the caller closes it.
  HKEY create(const std::string& path, const char* keyClass = nullptr, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(base_, path.c_str(), 0, const_cast<char*>(keyClass), 0, KEY_ALL_ACCESS, nullptr, &key,
                              disposition),
              ERROR_SUCCESS)
        << path;
    return key;
  }
  void setString(HKEY key, const char* name, const std::string& text) {
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }
  static std::vector<std::string> subkeys(HKEY key) { return registryNames(key, false); }
  static std::vector<std::string> valueNames(HKEY key) { return registryNames(key, true); }

  std::string db_;
  std::string path_;
  HKEY base_ = nullptr;
};

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_REGISTRY_TEST_UTIL_H_
