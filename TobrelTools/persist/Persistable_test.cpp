#include "TobrelTools/persist/Persistable.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/stream/fistream.h"
#include "TobrelTools/stream/fostream.h"
#include "tests/memory_stream.h"
#include "tests/persist_classes.h"
#include "tests/test_util.h"

namespace {

using tobrel::test::MemoryIStream;
using tobrel::test::MemoryOStream;
using tobrel::test::Node;
typedef std::vector<unsigned char> Bytes;

class Q : public Persistable {
 public:
  int value = 0;
  unsigned short isA() const override { return 0x0102; }
  void saveContents(vostream& os) const override { os << value; }
  void restoreContents(vistream& is) override { is >> value; }
  static Persistable* create() { return new Q(); }
};

class P : public Persistable {
 public:
  Q* first = nullptr;
  Q* second = nullptr;
  unsigned short isA() const override { return 0x0101; }
  void saveContents(vostream& os) const override { os << first << second; }
  void restoreContents(vistream& is) override {
    Persistable* a = nullptr;
    Persistable* b = nullptr;
    is >> a >> b;
    first = static_cast<Q*>(a);
    second = static_cast<Q*>(b);
  }
  static Persistable* create() { return new P(); }
};

class PersistableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClassFactory::getInstance()->add(0x0101, &P::create);
    ClassFactory::getInstance()->add(0x0102, &Q::create);
    tobrel::test::registerTestClasses();
    Persistable::readyToSerialize();
  }
  void TearDown() override {
    Node::releaseNodes();
    Persistable::readyToSerialize();
  }

  static Bytes saved(const Persistable& obj) {
    Persistable::readyToSerialize();
    MemoryOStream os;
    os << obj;
    EXPECT_TRUE(os.good());
    return os.bytes();
  }
  static Persistable* restored(const Bytes& bytes) {
    Persistable::readyToSerialize();
    MemoryIStream is(bytes);
    Persistable* p = nullptr;
    is >> p;
    EXPECT_TRUE(is.good());
    EXPECT_EQ(is.position(), bytes.size());
    return p;
  }
};

TEST_F(PersistableTest, WorkedExampleThroughFileStreams) {
  Q q;
  q.value = 7;
  P p;
  p.first = p.second = &q;
  const std::string path = tobrel::test::tempPath("pq.bin");
  Persistable::readyToSerialize();
  {
    fvostream out(path.c_str());
    out << p;
    EXPECT_TRUE(out.good());
  }
  EXPECT_EQ(DupChecker::getInstance()->entries(), 2u);
  const Bytes expected = {0x3A, 0x01, 0x01, 0x7B, 0x3A, 0x02, 0x01, 0x7B, 0x07, 0x00, 0x00,
                          0x00, 0x7D, 0x40, 0x01, 0x00, 0x00, 0x00, 0x7D};
  EXPECT_EQ(tobrel::test::bytesOf(path), expected);

  Persistable::readyToSerialize();
  fvistream in(path.c_str());
  Persistable* back = nullptr;
  in >> back;
  EXPECT_TRUE(in.good());
  std::unique_ptr<P> pb(dynamic_cast<P*>(back));
  ASSERT_NE(pb, nullptr);
  ASSERT_NE(pb->first, nullptr);
  EXPECT_EQ(pb->first, pb->second);  // one Q, shared
  EXPECT_NE(pb->first, &q);
  EXPECT_EQ(pb->first->value, 7);
  EXPECT_EQ(DupChecker::getInstance()->get(0), back);
  EXPECT_EQ(DupChecker::getInstance()->get(1), pb->first);
  delete pb->first;
}

// A plain Persistable is the five-byte record; within one pass a second
// save is a reference by index (indices run on across saves), and the next
// pass starts again with records.
TEST_F(PersistableTest, RecordsThenReferencesByIndexUntilTheNextPass) {
  Persistable a, b;
  Persistable::readyToSerialize();
  MemoryOStream os;
  os << a << &a;
  os << b << a << b;
  EXPECT_EQ(os.bytes(), (Bytes{0x3A, 0x01, 0x80, 0x7B, 0x7D, 0x40, 0, 0, 0, 0, 0x3A, 0x01, 0x80, 0x7B, 0x7D,
                               0x40, 0, 0, 0, 0, 0x40, 1, 0, 0, 0}));
  Persistable::readyToSerialize();
  os << a;
  EXPECT_EQ(os.bytes().size(), 30u);
  EXPECT_EQ(os.bytes()[25], 0x3A);

  std::unique_ptr<Persistable> back(restored(Bytes(os.bytes().begin(), os.bytes().begin() + 5)));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->isA(), 0x8001);
}

TEST_F(PersistableTest, RecordIsReadIntoAnExistingObjectOfAnyClass) {
  // The record's class id is not compared with the object's: a Q record
  // (one int) read into a P-sized object of another class.
  class R : public Q {
    unsigned short isA() const override { return 0x0103; }
  };
  Q q;
  q.value = 11;
  const Bytes qBytes = saved(q);
  R other;
  Persistable* into = &other;
  Persistable::readyToSerialize();
  MemoryIStream is2(qBytes);
  Persistable::restore(is2, into);
  EXPECT_EQ(into, &other);
  EXPECT_EQ(other.value, 11);
}

// An object read into (twice here) is recorded once, as itself: the objects
// after it keep the indices the writer gave them.
TEST_F(PersistableTest, ObjectReadIntoTwiceKeepsOneIndex) {
  Q q;
  q.value = 5;
  const Bytes record = saved(q);
  Bytes bytes = record;
  bytes.insert(bytes.end(), record.begin(), record.end());
  bytes.insert(bytes.end(), record.begin(), record.end());
  const unsigned char reference[] = {'@', 1, 0, 0, 0};
  bytes.insert(bytes.end(), reference, reference + sizeof reference);
  Q target;
  Persistable::readyToSerialize();
  MemoryIStream is(bytes);
  is >> static_cast<Persistable&>(target) >> static_cast<Persistable&>(target);
  Persistable* fresh = nullptr;
  Persistable* again = nullptr;
  is >> fresh >> again;
  ASSERT_TRUE(is.good());
  EXPECT_EQ(target.value, 5);
  EXPECT_EQ(DupChecker::getInstance()->get(0), &target);
  EXPECT_NE(fresh, &target);
  EXPECT_EQ(again, fresh);
  EXPECT_EQ(DupChecker::getInstance()->entries(), 2u);
  delete fresh;
}

TEST_F(PersistableTest, EachThreadRunsItsOwnPass) {
  Node a(1), b(2);
  a.left = &b;
  const Bytes bytes = saved(a);
  const ClassFactory::Associators table = ClassFactory::getInstance()->getAssociators();
  Persistable::readyToSerialize();
  DupChecker::getInstance()->add(&b);  // main thread's pass is not the other's

  bool unknownWithoutTable = false;
  bool readBack = false;
  unsigned int otherEntries = 0;
  std::thread t([&] {
    MemoryIStream first(bytes);
    Persistable* p = nullptr;
    try {
      first >> p;
    } catch (InternalException* e) {
      unknownWithoutTable = e->getMsg() == "can't find creator";
      delete e;
    }
    ClassFactory::getInstance()->setAssociators(table);
    Persistable::readyToSerialize();
    MemoryIStream second(bytes);
    second >> p;
    Node* n = dynamic_cast<Node*>(p);
    readBack = n && n->value == 1 && n->left && n->left->value == 2;
    otherEntries = DupChecker::getInstance()->entries();
    Node::releaseNodes();
    Persistable::clearInstance();
  });
  t.join();
  EXPECT_TRUE(unknownWithoutTable);
  EXPECT_TRUE(readBack);
  EXPECT_EQ(otherEntries, 2u);
  EXPECT_EQ(DupChecker::getInstance()->entries(), 1u);
}

TEST_F(PersistableTest, NullPointerCannotBeSaved) {
  MemoryOStream os;
  const Persistable* none = nullptr;
  try {
    os << none;
    FAIL() << "no exception";
  } catch (InternalException* e) {
    EXPECT_EQ(e->getMsg(), "can't save a null object.");
    delete e;
  }
  EXPECT_TRUE(os.fail());
  EXPECT_TRUE(os.bytes().empty());
}

// A file stream of a derived class is written and read through its own
// operators, the framing included; an exact file stream writes the same
// bytes as any other stream.
class CountingOut : public fvostream {
 public:
  using fvostream::fvostream;
  vostream& operator<<(char v) override {
    ++chars;
    return fvostream::operator<<(v);
  }
  int chars = 0;
};

class CountingIn : public fvistream {
 public:
  using fvistream::fvistream;
  vistream& operator>>(char& v) override {
    ++chars;
    return fvistream::operator>>(v);
  }
  int chars = 0;
};

TEST_F(PersistableTest, FileStreamsOfEveryClassFrameTheSameBytes) {
  std::vector<Node*> nodes;
  for (int i = 0; i < 4; ++i) nodes.push_back(new Node(i));
  nodes[0]->left = nodes[1];
  nodes[0]->right = nodes[2];
  nodes[1]->left = nodes[3];
  nodes[2]->left = nodes[3];
  nodes[3]->right = nodes[0];  // a cycle back to the root
  const Bytes expected = saved(*nodes[0]);

  const std::string exact = tobrel::test::tempPath("exact.bin"), derived = tobrel::test::tempPath("derived.bin");
  Persistable::readyToSerialize();
  {
    fvostream os(exact.c_str());
    os << nodes[0];
  }
  Persistable::readyToSerialize();
  int written = 0;
  {
    CountingOut os(derived.c_str());
    os << nodes[0];
    written = os.chars;
  }
  EXPECT_EQ(tobrel::test::bytesOf(exact), expected);
  EXPECT_EQ(tobrel::test::bytesOf(derived), expected);
  EXPECT_EQ(written, 4 * 3 + 2);  // ':' '{' '}' per record, '@' per reference

  Persistable::readyToSerialize();
  CountingIn is(derived.c_str());
  Persistable* back = nullptr;
  is >> back;
  EXPECT_TRUE(is.good());
  EXPECT_EQ(is.chars, 4 * 3 + 2);
  Node* root = dynamic_cast<Node*>(back);
  ASSERT_NE(root, nullptr);
  ASSERT_NE(root->left, nullptr);
  ASSERT_NE(root->right, nullptr);
  EXPECT_EQ(root->left->left, root->right->left);
  ASSERT_NE(root->left->left, nullptr);
  EXPECT_EQ(root->left->left->right, root);
}

// A class that ends the thread's duplicate checker from inside its contents
// (Persistable::clearInstance): what follows in the same pass is recorded in
// the new checker, from index 0, on writing and on reading.
class Resetter : public Persistable {
 public:
  Q* child = nullptr;
  unsigned short isA() const override { return 0x0103; }
  void saveContents(vostream& os) const override {
    Persistable::clearInstance();
    os << child << child;
  }
  void restoreContents(vistream& is) override {
    Persistable::clearInstance();
    Persistable* a = nullptr;
    Persistable* b = nullptr;
    is >> a >> b;
    child = static_cast<Q*>(a);
    EXPECT_EQ(a, b);
  }
  static Persistable* create() { return new Resetter(); }
};

TEST_F(PersistableTest, ClearInstanceInsideContentsStartsFromIndexZero) {
  ClassFactory::getInstance()->add(0x0103, &Resetter::create);
  Q q;
  q.value = 5;
  Resetter r;
  r.child = &q;
  const Bytes expected = {':', 0x03, 0x01, '{', ':', 0x02, 0x01, '{', 5, 0, 0, 0, '}', '@', 0, 0, 0, 0, '}'};
  const std::string path = tobrel::test::tempPath("reset.bin");
  Persistable::readyToSerialize();
  {
    fvostream os(path.c_str());
    os << r;
  }
  EXPECT_EQ(tobrel::test::bytesOf(path), expected);
  EXPECT_EQ(saved(r), expected);

  Persistable::readyToSerialize();
  fvistream is(path.c_str());
  Persistable* back = nullptr;
  is >> back;
  EXPECT_TRUE(is.good());
  std::unique_ptr<Resetter> rb(dynamic_cast<Resetter*>(back));
  ASSERT_NE(rb, nullptr);
  ASSERT_NE(rb->child, nullptr);
  EXPECT_EQ(rb->child->value, 5);
  EXPECT_EQ(DupChecker::getInstance()->get(0), rb->child);
  delete rb->child;
}

}  // namespace
