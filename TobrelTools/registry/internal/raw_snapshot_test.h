// A registry subtree read with the plain Win32 calls, independent of the
// classes under test, for comparing what they wrote with what was there.
#ifndef TOBRELTOOLS_REGISTRY_INTERNAL_RAW_SNAPSHOT_TEST_H_
#define TOBRELTOOLS_REGISTRY_INTERNAL_RAW_SNAPSHOT_TEST_H_

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/platform/platform.h"
#include "TobrelTools/registry/regkey.h"
#include "TobrelTools/registry/regval.h"

namespace tobrel {
namespace test {

struct RawValue {
  std::string name;
  DWORD type;
  std::string bytes;
  bool operator==(const RawValue& o) const { return name == o.name && type == o.type && bytes == o.bytes; }
};

struct RawKey {
  std::string name;
  std::string cls;
  std::vector<RawKey> keys;
  std::vector<RawValue> values;
  bool exists = false;
};

// Reads `path` below `root` with everything under it (exists false when the
// key cannot be opened). The top key's own class is left empty, as regtree
// leaves it.
inline RawKey rawSnapshot(HKEY root, const std::string& path) {
  RawKey out;
  out.name = path;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return out;
  }
  out.exists = true;
  std::vector<char> name(2048), cls(2048);
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD classSize = static_cast<DWORD>(cls.size());
    FILETIME time;
    if (RegEnumKeyExA(key, i, name.data(), &nameSize, nullptr, cls.data(), &classSize, &time) != ERROR_SUCCESS) break;
    RawKey child = rawSnapshot(key, std::string(name.data(), nameSize));
    child.cls.assign(cls.data(), classSize);
    out.keys.push_back(child);
  }
  std::vector<unsigned char> data(65536);
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueA(key, i, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize) != ERROR_SUCCESS) break;
    out.values.push_back(RawValue{std::string(name.data(), nameSize), type,
                                  std::string(reinterpret_cast<const char*>(data.data()), dataSize)});
  }
  RegCloseKey(key);
  return out;
}

// Compares two subtrees key by key and byte by byte; the top names may differ.
inline void expectSameTree(const RawKey& expected, const RawKey& actual, const std::string& where = "") {
  SCOPED_TRACE("below " + where);
  EXPECT_TRUE(actual.exists);
  EXPECT_EQ(expected.cls, actual.cls);
  ASSERT_EQ(expected.keys.size(), actual.keys.size());
  for (std::size_t i = 0; i < expected.keys.size(); ++i) {
    EXPECT_EQ(expected.keys[i].name, actual.keys[i].name);
    expectSameTree(expected.keys[i], actual.keys[i], where + "\\" + expected.keys[i].name);
  }
  ASSERT_EQ(expected.values.size(), actual.values.size());
  for (std::size_t i = 0; i < expected.values.size(); ++i) {
    EXPECT_EQ(expected.values[i].name, actual.values[i].name);
    EXPECT_EQ(expected.values[i].type, actual.values[i].type) << expected.values[i].name;
    EXPECT_EQ(expected.values[i].bytes, actual.values[i].bytes) << expected.values[i].name;
  }
}

// Compares a snapshot held in elements with the registry's subtree: the
// subkeys first, then the values, each in enumeration order.
inline void expectSameElements(const RawKey& expected, const regkey_t& actual, const std::string& where = "") {
  SCOPED_TRACE("elements below " + where);
  const std::vector<regelm*>& elements = actual.getElements();
  ASSERT_EQ(elements.size(), expected.keys.size() + expected.values.size());
  for (std::size_t i = 0; i < expected.keys.size(); ++i) {
    const regkey_t* k = dynamic_cast<const regkey_t*>(elements[i]);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(std::string(k->getName().c_str()), expected.keys[i].name);
    EXPECT_EQ(std::string(k->getClass().c_str()), expected.keys[i].cls);
    EXPECT_NE(k->getLastWriteTime().dwHighDateTime, 0u);
    expectSameElements(expected.keys[i], *k, where + "\\" + expected.keys[i].name);
  }
  for (std::size_t i = 0; i < expected.values.size(); ++i) {
    const regval_t* v = dynamic_cast<const regval_t*>(elements[expected.keys.size() + i]);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(std::string(v->getName().c_str()), expected.values[i].name);
    EXPECT_EQ(v->getType(), expected.values[i].type);
    std::string bytes = v->getData() ? std::string(static_cast<const char*>(v->getData()), v->getDataSize())
                                     : std::string();
    EXPECT_EQ(bytes, expected.values[i].bytes) << expected.values[i].name;
  }
}

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_REGISTRY_INTERNAL_RAW_SNAPSHOT_TEST_H_
