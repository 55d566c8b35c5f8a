// A whole subtree taken from the registry, saved to a file, removed, read
// back, and restored in its place and elsewhere, compared key by key and byte
// by byte with what was there.
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

namespace {

using tobrel::test::expectSameElements;
using tobrel::test::expectSameTree;
using tobrel::test::rawSnapshot;
using tobrel::test::RawKey;

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
    put(key, "", REG_SZ, "default value" + std::string(1, '\0'));
    put(key, "none", REG_NONE, std::string("\x01\x02", 2));
    put(key, "sz", REG_SZ, std::string("text ") + kJapanese + std::string(1, '\0'));
    put(key, "expand", REG_EXPAND_SZ, std::string("%PATH%;x\0", 9));
    put(key, "binary", REG_BINARY, binary);
    put(key, "empty binary", REG_BINARY, "");
    put(key, "dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4));
    put(key, "dword be", REG_DWORD_BIG_ENDIAN, std::string("\x12\x34\x56\x78", 4));
    put(key, "multi", REG_MULTI_SZ, std::string("one\0two\0three\0\0", 15));
    put(key, "qword", REG_QWORD, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
    put(key, "resource list", REG_RESOURCE_LIST, std::string("\0\0\0\0", 4));
    put(key, "full 1024", REG_BINARY, std::string(1024, static_cast<char>(seed)));
    put(key, "odd !#$%&'()=~|-^@[]{};:+*,.<>?_ name", REG_SZ, std::string("p\0", 2));
    put(key, std::string("value ") + kKatakana, REG_SZ, std::string(kKatakana) + std::string(1, '\0'));
    put(key, "unknown type", 0x1234, "raw");
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

TEST_F(RegTreeRoundTrip, SavedRemovedReadBackAndRestoredTwice) {
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

  const std::string elsewhere = path_ + "\\copies\\" + kJapanese + "\\restored";
  back->setTop(HKEY_CURRENT_USER, elsewhere.c_str());
  back->restore();
  expectSameTree(before, rawSnapshot(HKEY_CURRENT_USER, elsewhere), "restored elsewhere");
  expectSameTree(before, rawSnapshot(HKEY_CURRENT_USER, source), "the original, untouched");

  // The copy loads back into the same snapshot as the original.
  regtree again(HKEY_CURRENT_USER, elsewhere.c_str());
  again.load();
  expectSameElements(before, again.getTopkey());
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

}  // namespace
