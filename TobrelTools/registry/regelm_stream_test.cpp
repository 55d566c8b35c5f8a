// The stream encoding of the registry elements and trees.
#include <cstdint>
#include <cstring>
#include <list>
#include <memory>
#include <stdexcept>
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

// Registry objects read from damaged streams: every damage ends in an
// InternalException* or a stream that is no longer good, with bounded memory,
// and the elements read whole before the damage stay in their key.

// Writes records by hand. Strings go through the tstring operator, so their
// records are whatever the string class writes.
class Writer {
 public:
  Writer() { Persistable::readyToSerialize(); }
  Writer& open(unsigned short id) {
    out_ << ':' << id << '{';
    return *this;
  }
  Writer& close() {
    out_ << '}';
    return *this;
  }
  Writer& i32(int v) {
    out_ << v;
    return *this;
  }
  Writer& u32(unsigned long v) {
    out_ << v;
    return *this;
  }
  Writer& text(const char* s) {
    // Kept alive to the end: a string destroyed during the pass could leave
    // its address to the next one, which would then be written as a reference.
    strings_.emplace_back(s);
    out_ << strings_.back();
    return *this;
  }
  Writer& raw(const std::string& bytes) {
    for (char c : bytes) out_ << c;
    return *this;
  }
  Writer& ref(int index) {
    out_ << '@' << index;
    return *this;
  }
  // A complete value record with REG_SZ data.
  Writer& value(const char* name, const char* data) {
    std::string bytes(data);
    bytes.push_back('\0');
    return open(0xF035).i32(1).text(name).u32(REG_SZ).i32(static_cast<int>(bytes.size())).raw(bytes).close();
  }
  // The head of a key record, up to and including the element count.
  Writer& keyHead(const char* name, int count) {
    return open(0xF033).i32(1).text("").text(name).u32(0).u32(0).i32(count);
  }
  const Bytes& bytes() const { return out_.bytes(); }

 private:
  MemoryOStream out_;
  std::list<std::tstring> strings_;
};

// What reading bytes into a new object of class T ended in.
struct Outcome {
  bool threw = false;
  std::string message;
  bool good = true;
};

template <class T>
Outcome readNew(const Bytes& bytes) {
  Outcome outcome;
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  T* obj = nullptr;
  try {
    in >> obj;
  } catch (InternalException* e) {
    outcome.threw = true;
    outcome.message = e->getMsg();
    delete e;
  }
  delete obj;
  outcome.good = in.good();
  return outcome;
}

template <class T>
Outcome readInto(const Bytes& bytes, T& obj) {
  Outcome outcome;
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  try {
    in >> obj;
  } catch (InternalException* e) {
    outcome.threw = true;
    outcome.message = e->getMsg();
    delete e;
  }
  outcome.good = in.good();
  return outcome;
}

TEST(RegStreamDamage, NegativeDataSize) {
  Writer w;
  w.open(0xF035).i32(1).text("v").u32(REG_BINARY).i32(-5).close();
  Outcome o = readNew<regval_t>(w.bytes());
  EXPECT_TRUE(o.threw);
  EXPECT_EQ(o.message, "regval_t: negative data size -5");
  EXPECT_FALSE(o.good);
}

TEST(RegStreamDamage, HugeDataSizeEndsWithTheStream) {
  for (int size : {0x7FFFFFFF, 0x10000000, 70000}) {
    Writer w;
    w.open(0xF035).i32(1).text("v").u32(REG_BINARY).i32(size).raw("only a few bytes").close();
    Outcome o = readNew<regval_t>(w.bytes());
    EXPECT_TRUE(o.threw || !o.good) << size;
    if (o.threw) {
      EXPECT_EQ(o.message, "Invalid format: can't find closing brace.");
    }
    EXPECT_FALSE(o.good);
  }
  // The value read into an existing element keeps its name but no data.
  Writer w;
  w.open(0xF035).i32(1).text("cut").u32(REG_BINARY).i32(100).raw("12345");
  regval_t v;
  v.setData(std::tstring("old"), REG_SZ);
  readInto(w.bytes(), v);
  EXPECT_EQ(v.getName(), "cut");
  EXPECT_EQ(v.getData(), nullptr);
  EXPECT_EQ(v.getDataSize(), 0);
}

TEST(RegStreamDamage, NegativeElementCount) {
  Writer w;
  w.keyHead("k", -1).close();
  Outcome o = readNew<regkey_t>(w.bytes());
  EXPECT_TRUE(o.threw);
  EXPECT_EQ(o.message, "regkey_t: negative element count -1");
  EXPECT_FALSE(o.good);
}

TEST(RegStreamDamage, HugeElementCountKeepsWhatArrived) {
  Writer w;
  w.keyHead("k", 0x7FFFFFFF).value("a", "1").value("b", "2");
  regkey_t k;
  Outcome o = readInto(w.bytes(), k);
  EXPECT_TRUE(o.threw || !o.good);
  EXPECT_FALSE(o.good);
  ASSERT_EQ(k.getElements().size(), 2u);
  EXPECT_EQ(k.getElements()[0]->getName(), "a");
  EXPECT_EQ(k.getElements()[1]->getName(), "b");

  // The read stops at the failure: it does not go on asking the failed
  // stream for the remaining two thousand million elements.
  class StoppingStream : public MemoryIStream {
   public:
    using MemoryIStream::MemoryIStream;
    bool good() override {
      if (!MemoryIStream::good() && ++askedAfterFailure_ > 1000) throw std::runtime_error("still reading");
      return MemoryIStream::good();
    }

   private:
    int askedAfterFailure_ = 0;
  };
  regkey_t again;
  Persistable::readyToSerialize();
  StoppingStream in(w.bytes());
  try {
    in >> again;
  } catch (InternalException* e) {
    delete e;
  } catch (const std::runtime_error&) {
    ADD_FAILURE() << "the key went on reading elements from a failed stream";
  }
  EXPECT_EQ(again.getElements().size(), 2u);
}

TEST(RegStreamDamage, ElementsOfTheWrongKindAreRefused) {
  struct Case {
    const char* what;
    std::string message;
  };
  std::vector<std::pair<Bytes, Case>> cases;
  {
    Writer w;
    w.keyHead("k", 2).value("kept", "1").text("a string where an element belongs");
    cases.push_back({w.bytes(), {"tstring", "regkey_t: element 1 has class id 0x0070, not a registry key or value"}});
  }
  {
    Writer w;
    w.keyHead("k", 2).value("kept", "1").open(0x8001).close();
    cases.push_back({w.bytes(), {"Persistable", "regkey_t: element 1 has class id 0x8001, not a registry key or value"}});
  }
  {
    Writer w;
    w.keyHead("k", 2).value("kept", "1").open(0xF036).close();
    cases.push_back({w.bytes(), {"bare regelm", "regkey_t: element 1 has class id 0xF036, not a registry key or value"}});
  }
  {
    Writer w;
    w.keyHead("k", 2).value("kept", "1");
    w.open(0xF034).i32(1).u32(0x80000001u).text("t").keyHead("top", 1).value("x", "y").close().close();
    cases.push_back({w.bytes(), {"regtree", "regkey_t: element 1 has class id 0xF034, not a registry key or value"}});
  }
  {
    // Index 0 is the key being read, 2 its name, 3 the value read before.
    for (int index : {0, 2, 3}) {
      Writer w;
      w.keyHead("k", 2).value("kept", "1").ref(index);
      cases.push_back({w.bytes(), {"back-reference", "regkey_t: element 1 is a back-reference, not an element of its own"}});
    }
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second.what);
    regkey_t k;
    Outcome o = readInto(c.first, k);
    EXPECT_TRUE(o.threw);
    EXPECT_EQ(o.message, c.second.message);
    EXPECT_FALSE(o.good);
    ASSERT_EQ(k.getElements().size(), 1u);
    EXPECT_EQ(k.getElements()[0]->getName(), "kept");

    Outcome fresh = readNew<regkey_t>(c.first);
    EXPECT_EQ(fresh.message, c.second.message);
  }
}

TEST(RegStreamDamage, ABrokenElementIsDroppedAndItsElderSiblingsStay) {
  Writer w;
  w.keyHead("k", 3).value("a", "1").value("b", "2");
  w.open(0xF033).i32(1).text("").text("sub").u32(0).u32(0).i32(1).value("inner", "x");
  w.raw("!");  // where the sub key's closing brace belongs
  regkey_t k;
  k.addElements(new regval_t);
  Outcome o = readInto(w.bytes(), k);
  EXPECT_TRUE(o.threw);
  EXPECT_EQ(o.message, "Invalid format: can't find closing brace.");
  ASSERT_EQ(k.getElements().size(), 3u);
  EXPECT_EQ(k.getElements()[1]->getName(), "a");
  EXPECT_EQ(k.getElements()[2]->getName(), "b");
}

TEST(RegStreamDamage, EveryPrefixOfASavedTreeFailsCleanly) {
  regtree tree(HKEY_CURRENT_USER, "Software\\Damaged");
  tree.getTopkey().setName("Software\\Damaged");
  regkey_t* sub = new regkey_t;
  sub->setName("sub");
  sub->setClass("cls");
  regval_t* inner = new regval_t;
  inner->setName("bin");
  const unsigned char bytes[] = {1, 2, 3, 4, 5, 6};
  inner->setData(bytes, 6, REG_BINARY);
  sub->addElements(inner);
  tree.getTopkey().addElements(sub);
  regval_t* top = new regval_t;
  top->setName("text");
  top->setData(std::tstring("hello"), REG_SZ);
  tree.getTopkey().addElements(top);

  Persistable::readyToSerialize();
  MemoryOStream out;
  out << tree;
  const Bytes whole = out.bytes();
  for (std::size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    Outcome o = readNew<regtree>(Bytes(whole.begin(), whole.begin() + length));
    EXPECT_TRUE(o.threw || !o.good);
  }
  Outcome o = readNew<regtree>(whole);
  EXPECT_FALSE(o.threw) << o.message;
  EXPECT_TRUE(o.good);

  // Any single damaged byte is read without a crash or a leak.
  for (std::size_t at = 0; at < whole.size(); ++at) {
    for (unsigned char flip : {0x01, 0x80, 0xFF}) {
      Bytes damaged = whole;
      damaged[at] ^= flip;
      readNew<regtree>(damaged);
    }
  }
}

}  // namespace
