// The stream encoding of the registry elements and trees.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/registry/reg.h"
#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "tests/memory_stream.h"
#include "tests/test_util.h"

namespace {

using Bytes = std::vector<unsigned char>;
using tobrel::test::MemoryIStream;
using tobrel::test::MemoryOStream;

template <class T>
Bytes saved(const T& obj) {
  Persistable::readyToSerialize();
  MemoryOStream out;
  out << obj;
  return out.bytes();
}

template <class T>
T* readBack(const Bytes& bytes) {
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  T* obj = nullptr;
  in >> obj;
  EXPECT_TRUE(in.good());
  EXPECT_EQ(in.position(), bytes.size());
  return obj;
}

regval_t* value(const char* name, const std::string& bytes, unsigned long type) {
  regval_t* v = new regval_t;
  v->setName(name);
  v->setData(bytes.data(), static_cast<int>(bytes.size()), type);
  return v;
}

std::string str(const std::tstring& t) { return std::string(t.data(), t.size()); }

std::string bytesOf(const regval_t& v) {
  return std::string(static_cast<const char*>(v.getData()), v.getDataSize());
}

TEST(RegStream, ValueEncodingByteForByte) {
  regval_t v;
  v.setName("A");
  const unsigned char one[] = {1, 0, 0, 0};
  v.setData(one, 4, REG_DWORD);
  const Bytes expected = {0x3A, 0x35, 0xF0, 0x7B, 0x01, 0x00, 0x00, 0x00, 0x3A, 0x70, 0x00, 0x7B,
                          0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x41, 0x7D, 0x04, 0x00,
                          0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x7D};
  ASSERT_EQ(expected.size(), 35u);
  EXPECT_EQ(saved(v), expected);
  const regval_t* pointer = &v;
  Persistable::readyToSerialize();
  MemoryOStream out;
  out << pointer;
  EXPECT_EQ(out.bytes(), expected);

  std::unique_ptr<regval_t> back(readBack<regval_t>(expected));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getName(), "A");
  EXPECT_EQ(back->getType(), static_cast<unsigned long>(REG_DWORD));
  EXPECT_EQ(bytesOf(*back), std::string("\x01\0\0\0", 4));
}

TEST(RegStream, KeyAndBareElementEncoding) {
  regkey_t k;
  k.setClass("C");
  k.setName("N");
  k.setLastWriteTime(filetime{0x04030201u, 0x08070605u});
  const Bytes expected = {0x3A, 0x33, 0xF0, 0x7B, 1, 0, 0, 0,
                          0x3A, 0x70, 0x00, 0x7B, 0, 0, 0, 0, 1, 0, 0, 0, 'C', 0x7D,
                          0x3A, 0x70, 0x00, 0x7B, 0, 0, 0, 0, 1, 0, 0, 0, 'N', 0x7D,
                          1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0x7D};
  EXPECT_EQ(saved(k), expected);
  EXPECT_EQ(saved(regelm()), (Bytes{0x3A, 0x36, 0xF0, 0x7B, 0x7D}));
}

TEST(RegStream, KeyRoundTripKeepsOrderAndBytes) {
  regkey_t k;
  k.setName("top");
  k.setClass("TopClass");
  k.setLastWriteTime(filetime{123, 456});
  regkey_t* sub = new regkey_t;
  sub->setName("sub");
  sub->setLastWriteTime(filetime{1, 2});
  sub->addElements(value("deep", std::string("\xff\x00\x7f", 3), REG_BINARY));
  k.addElements(sub);
  k.addElements(value("", "default", REG_SZ));
  k.addElements(value("empty", "", REG_BINARY));

  std::unique_ptr<regkey_t> back(readBack<regkey_t>(saved(k)));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getName(), "top");
  EXPECT_EQ(back->getClass(), "TopClass");
  EXPECT_TRUE(back->getLastWriteTime() == (filetime{123, 456}));
  ASSERT_EQ(back->getElements().size(), 3u);
  regkey_t* backSub = dynamic_cast<regkey_t*>(back->getElements()[0]);
  ASSERT_NE(backSub, nullptr);
  EXPECT_EQ(backSub->getName(), "sub");
  EXPECT_TRUE(backSub->getLastWriteTime() == (filetime{1, 2}));
  ASSERT_EQ(backSub->getElements().size(), 1u);
  regval_t* deep = dynamic_cast<regval_t*>(backSub->getElements()[0]);
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(bytesOf(*deep), std::string("\xff\x00\x7f", 3));
  regval_t* def = dynamic_cast<regval_t*>(back->getElements()[1]);
  ASSERT_NE(def, nullptr);
  EXPECT_TRUE(def->getName().empty());
  EXPECT_EQ(bytesOf(*def), "default");
  regval_t* empty = dynamic_cast<regval_t*>(back->getElements()[2]);
  ASSERT_NE(empty, nullptr);
  EXPECT_NE(empty->getData(), nullptr);  // an empty block, not null
  EXPECT_EQ(empty->getDataSize(), 0);
  EXPECT_EQ(saved(*back), saved(k));
}

TEST(RegStream, ReadingIntoAnExistingKeyAppends) {
  regkey_t source;
  source.setName("new name");
  source.addElements(value("b", "2", REG_SZ));
  Bytes bytes = saved(source);

  regkey_t target;
  target.setName("old name");
  target.addElements(value("a", "1", REG_SZ));
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  in >> target;
  EXPECT_TRUE(in.good());
  EXPECT_EQ(target.getName(), "new name");
  ASSERT_EQ(target.getElements().size(), 2u);
  EXPECT_EQ(target.getElements()[0]->getName(), "a");
  EXPECT_EQ(target.getElements()[1]->getName(), "b");

  // A value read into an existing one replaces everything.
  regval_t existing;
  existing.setName("gone");
  existing.setData(std::tstring("gone"), REG_EXPAND_SZ);
  Persistable::readyToSerialize();
  std::unique_ptr<regval_t> v(value("fresh", "\x05", REG_BINARY));
  Bytes valueBytes = saved(*v);
  Persistable::readyToSerialize();
  MemoryIStream valueIn(valueBytes);
  valueIn >> existing;
  EXPECT_EQ(existing.getName(), "fresh");
  EXPECT_EQ(existing.getType(), static_cast<unsigned long>(REG_BINARY));
  EXPECT_EQ(bytesOf(existing), "\x05");
}

TEST(RegStream, TreeKeepsItsRootHandleAsThirtyTwoBits) {
  regtree tree(HKEY_LOCAL_MACHINE, "Software\\Test");
  tree.getTopkey().setName("Software\\Test");
  tree.getTopkey().addElements(value("v", "x", REG_SZ));
  Bytes bytes = saved(tree);
  ASSERT_GE(bytes.size(), 12u);
  EXPECT_EQ(Bytes(bytes.begin(), bytes.begin() + 12),
            (Bytes{0x3A, 0x34, 0xF0, 0x7B, 1, 0, 0, 0, 0x02, 0x00, 0x00, 0x80}));

  std::unique_ptr<regtree> back(readBack<regtree>(bytes));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getKey(), HKEY_LOCAL_MACHINE);  // sign-extended again
  EXPECT_EQ(back->getSubKey(), "Software\\Test");
  EXPECT_EQ(back->getTopkey().getName(), "Software\\Test");
  ASSERT_EQ(back->getTopkey().getElements().size(), 1u);
  EXPECT_EQ(saved(*back), bytes);

  // Reading into a tree that holds a snapshot appends to it.
  regtree target(HKEY_CURRENT_USER, "elsewhere");
  target.getTopkey().addElements(value("first", "1", REG_SZ));
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  in >> target;
  EXPECT_TRUE(in.good());
  EXPECT_EQ(target.getKey(), HKEY_LOCAL_MACHINE);
  EXPECT_EQ(target.getSubKey(), "Software\\Test");
  ASSERT_EQ(target.getTopkey().getElements().size(), 2u);
  EXPECT_EQ(target.getTopkey().getElements()[0]->getName(), "first");
  EXPECT_EQ(target.getTopkey().getElements()[1]->getName(), "v");
}

// A small tree through the file streams: the exact bytes of the file, and
// the same tree read back.
TEST(RegStream, ThroughFilesByteForByte) {
  regtree tree(HKEY_USERS, "S-1\\x");
  regkey_t* k = new regkey_t;
  k->setName("k");
  k->addElements(value("bin", std::string("\0\1\2", 3), REG_BINARY));
  tree.getTopkey().addElements(k);
  std::string path = tobrel::test::tempPath("tree.bin");
  Persistable::readyToSerialize();
  {
    fvostream out(path.c_str());
    out << tree;
    ASSERT_TRUE(out.good());
  }
  // The file, spelled out: object records of class id, '{', contents, '}';
  // every string a tstring record of its own (flag 0, length, bytes).
  auto le32 = [](std::uint32_t v) {
    return Bytes{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                 static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
  };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  auto record = [&](unsigned short id, const Bytes& contents) {
    return cat({Bytes{0x3A, static_cast<unsigned char>(id), static_cast<unsigned char>(id >> 8), 0x7B}, contents,
                Bytes{0x7D}});
  };
  auto text = [&](const std::string& t) {
    return record(0x0070, cat({le32(0), le32(static_cast<std::uint32_t>(t.size())), Bytes(t.begin(), t.end())}));
  };
  auto key = [&](const std::string& name, const Bytes& elements, std::uint32_t count) {
    return record(0xF033, cat({le32(1), text(""), text(name), le32(0), le32(0), le32(count), elements}));
  };
  const Bytes valueRecord = record(0xF035, cat({le32(1), text("bin"), le32(REG_BINARY), le32(3), Bytes{0, 1, 2}}));
  const Bytes expected =
      record(0xF034, cat({le32(1), le32(0x80000003u), text("S-1\\x"), key("", key("k", valueRecord, 1), 1)}));
  EXPECT_EQ(tobrel::test::bytesOf(path), expected);
  EXPECT_EQ(saved(tree), expected);
  Persistable::readyToSerialize();
  fvistream in(path.c_str());
  regtree* back = nullptr;
  in >> back;
  std::unique_ptr<regtree> owner(back);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getKey(), HKEY_USERS);
  EXPECT_EQ(str(back->toString()), str(tree.toString()));
}

TEST(RegStream, TypedPointerReadsRefuseOtherClasses) {
  std::unique_ptr<regval_t> v(value("v", "x", REG_SZ));
  Bytes bytes = saved(*v);
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  regkey_t* wrong = reinterpret_cast<regkey_t*>(0x1);  // left alone on error
  try {
    in >> wrong;
    FAIL() << "no exception";
  } catch (InternalException* e) {
    EXPECT_EQ(e->getMsg(), "regkey_t: the stream holds class id 0xF035 where a regkey_t was expected");
    delete e;
  }
  EXPECT_EQ(wrong, reinterpret_cast<regkey_t*>(0x1));
  EXPECT_TRUE(in.fail());

  // A regelm pointer takes any element.
  Persistable::readyToSerialize();
  MemoryIStream again(bytes);
  regelm* element = nullptr;
  again >> element;
  std::unique_ptr<regelm> owner(element);
  ASSERT_NE(element, nullptr);
  EXPECT_EQ(element->isA(), regval_t::getClassId());
}

}  // namespace
