// The stream encoding of the registry elements and trees.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/registry/reg.h"
#include "tests/memory_stream.h"
#include "tests/stream_bytes.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Record = tobrel::test::Bytes;
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
  EXPECT_EQ(saved(v), expected);
  EXPECT_EQ(saved(static_cast<const regval_t*>(&v)), expected);

  std::unique_ptr<regval_t> back(readBack<regval_t>(expected));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(saved(*back), expected);
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

// Whole trees come back element for element in the regtree round trip; an
// empty data block comes back as one, not as no data.
TEST(RegStream, EmptyDataReadsBackAsAnEmptyBlock) {
  std::unique_ptr<regval_t> empty(value("empty", "", REG_BINARY));
  std::unique_ptr<regval_t> back(readBack<regval_t>(saved(*empty)));
  ASSERT_NE(back, nullptr);
  EXPECT_NE(back->getData(), nullptr);
  EXPECT_EQ(back->getDataSize(), 0);
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
  std::unique_ptr<regval_t> v(value("fresh", "\x05", REG_BINARY));
  Bytes valueBytes = saved(*v);
  Persistable::readyToSerialize();
  MemoryIStream valueIn(valueBytes);
  valueIn >> existing;
  EXPECT_EQ(existing.getName(), "fresh");
  EXPECT_EQ(existing.getType(), static_cast<unsigned long>(REG_BINARY));
  EXPECT_EQ(bytesOf(existing), "\x05");
}

// The tree's root handle is written as 32 bits and sign-extended on reading;
// the tree written whole is its record around the top key's.
TEST(RegStream, TreeEncodingByteForByte) {
  regtree tree(HKEY_USERS, "S-1\\x");
  regkey_t* k = new regkey_t;
  k->setName("k");
  k->addElements(value("bin", std::string("\0\1\2", 3), REG_BINARY));
  tree.getTopkey().addElements(k);
  using tobrel::test::key;
  Record expected;
  expected.open(0xF034).i32(1).i32(0x80000003u).text("S-1\\x");
  expected.add(key("", 0, 0, {key("k", 0, 0, {tobrel::test::value("bin", REG_BINARY, std::string("\0\1\2", 3))})}));
  const Bytes bytes = expected.close().b;
  EXPECT_EQ(saved(tree), bytes);

  std::unique_ptr<regtree> back(readBack<regtree>(bytes));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->getKey(), HKEY_USERS);
  EXPECT_EQ(back->getSubKey(), "S-1\\x");
  EXPECT_EQ(saved(*back), bytes);

  // Reading into a tree that holds a snapshot appends to it.
  regtree target(HKEY_CURRENT_USER, "elsewhere");
  target.getTopkey().addElements(value("first", "1", REG_SZ));
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  in >> target;
  EXPECT_TRUE(in.good());
  EXPECT_EQ(target.getKey(), HKEY_USERS);
  EXPECT_EQ(target.getSubKey(), "S-1\\x");
  ASSERT_EQ(target.getTopkey().getElements().size(), 2u);
  EXPECT_EQ(target.getTopkey().getElements()[0]->getName(), "first");
  EXPECT_EQ(target.getTopkey().getElements()[1]->getName(), "k");
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

// Records written by hand: the head of a key record up to its element count,
// and a complete value record with REG_SZ data.
Record keyHead(const char* name, int count) {
  Record r;
  r.open(0xF033).i32(1).text("").text(name).i32(0).i32(0).i32(count);
  return r;
}

Record sz(const char* name, const char* data) { return tobrel::test::value(name, REG_SZ, std::string(data) + '\0'); }

// What reading bytes into a new object of class T ended in.
struct Outcome {
  bool threw = false;
  std::string message;
  bool good = true;
};

// Runs read on a stream over bytes and says how it ended.
template <class Read>
Outcome attempt(const Bytes& bytes, Read read) {
  Outcome outcome;
  Persistable::readyToSerialize();
  MemoryIStream in(bytes);
  try {
    read(in);
  } catch (InternalException* e) {
    outcome.threw = true;
    outcome.message = e->getMsg();
    delete e;
  }
  outcome.good = in.good();
  return outcome;
}

template <class T>
Outcome readNew(const Bytes& bytes) {
  T* obj = nullptr;
  Outcome outcome = attempt(bytes, [&obj](MemoryIStream& in) { in >> obj; });
  delete obj;
  return outcome;
}

template <class T>
Outcome readInto(const Bytes& bytes, T& obj) {
  return attempt(bytes, [&obj](MemoryIStream& in) { in >> obj; });
}

TEST(RegStreamDamage, NegativeSizesAreRefused) {
  Record w;
  w.open(0xF035).i32(1).text("v").i32(REG_BINARY).i32(-5).close();
  const Outcome value = readNew<regval_t>(w.b), key = readNew<regkey_t>(keyHead("k", -1).close().b);
  EXPECT_EQ(value.message, "regval_t: negative data size -5");
  EXPECT_EQ(key.message, "regkey_t: negative element count -1");
  EXPECT_FALSE(value.good || key.good);
}

TEST(RegStreamDamage, HugeDataSizeEndsWithTheStream) {
  for (int size : {0x7FFFFFFF, 0x10000000, 70000}) {
    Record w;
    w.open(0xF035).i32(1).text("v").i32(REG_BINARY).i32(size).raw("only a few bytes").close();
    Outcome o = readNew<regval_t>(w.b);
    EXPECT_EQ(o.message, o.threw ? "Invalid format: can't find closing brace." : "") << size;
    EXPECT_FALSE(o.good) << size;
  }
  // The value read into an existing element keeps its name but no data.
  Record w;
  w.open(0xF035).i32(1).text("cut").i32(REG_BINARY).i32(100).raw("12345");
  regval_t v;
  v.setData(std::tstring("old"), REG_SZ);
  readInto(w.b, v);
  EXPECT_EQ(v.getName(), "cut");
  EXPECT_EQ(v.getData(), nullptr);
  EXPECT_EQ(v.getDataSize(), 0);
}

TEST(RegStreamDamage, HugeElementCountKeepsWhatArrived) {
  const Bytes bytes = keyHead("k", 0x7FFFFFFF).add(sz("a", "1")).add(sz("b", "2")).b;
  regkey_t k;
  EXPECT_FALSE(readInto(bytes, k).good);
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
  StoppingStream in(bytes);
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
  auto kept = [] { return keyHead("k", 2).add(sz("kept", "1")); };
  auto wrongClass = [](const char* id) {
    return std::string("regkey_t: element 1 has class id ") + id + ", not a registry key or value";
  };
  std::vector<std::pair<Bytes, Case>> cases = {
      {kept().text("a string where an element belongs").b, {"tstring", wrongClass("0x0070")}},
      {kept().open(0x8001).close().b, {"Persistable", wrongClass("0x8001")}},
      {kept().open(0xF036).close().b, {"bare regelm", wrongClass("0xF036")}},
      {kept().open(0xF034).i32(1).i32(0x80000001u).text("t").add(keyHead("top", 1)).add(sz("x", "y")).close().close().b,
       {"regtree", wrongClass("0xF034")}},
  };
  // Index 0 is the key being read, 2 its name, 3 the value read before.
  for (int index : {0, 2, 3}) {
    cases.push_back({kept().ref(index).b, {"back-reference", "regkey_t: element 1 is a back-reference, not an element of its own"}});
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
  Record w = keyHead("k", 3).add(sz("a", "1")).add(sz("b", "2"));
  w.add(keyHead("sub", 1)).add(sz("inner", "x"));
  w.raw("!");  // where the sub key's closing brace belongs
  regkey_t k;
  k.addElements(new regval_t);
  Outcome o = readInto(w.b, k);
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
  sub->addElements(value("bin", "\1\2\3\4\5\6", REG_BINARY));
  tree.getTopkey().addElements(sub);
  tree.getTopkey().addElements(value("text", std::string("hello", 6), REG_SZ));
  const Bytes whole = saved(tree);
  for (std::size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    Outcome o = readNew<regtree>(Bytes(whole.begin(), whole.begin() + length));
    EXPECT_TRUE(o.threw || !o.good);
  }
}

}  // namespace
