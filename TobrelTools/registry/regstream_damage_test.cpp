// Registry objects read from damaged streams: every damage ends in an
// InternalException* or a stream that is no longer good, with bounded memory,
// and the elements read whole before the damage stay in their key.
#include <list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/registry/reg.h"
#include "tests/memory_stream.h"

namespace {

using Bytes = std::vector<unsigned char>;
using tobrel::test::MemoryIStream;
using tobrel::test::MemoryOStream;

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
