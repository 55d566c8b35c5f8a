#include "TobrelTools/persist/Persistable.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/stream/file_handle.h"
#include "TobrelTools/stream/fistream.h"
#include "tests/memory_stream.h"
#include "tests/persist_classes.h"
#include "tests/test_util.h"

namespace {

using tobrel::test::MemoryIStream;
using tobrel::test::MemoryOStream;
using tobrel::test::Node;
using tobrel::test::Tree;
typedef std::vector<unsigned char> Bytes;

// The outcome of one read of a whole stream into a null pointer.
struct Outcome {
  std::string message;  // empty when nothing was thrown
  int state = 0;
  Persistable* result = nullptr;
  std::size_t position = 0;
};

Outcome readInto(const Bytes& bytes, Persistable* initial = nullptr, bool pointerForm = true) {
  Outcome out;
  MemoryIStream is(bytes);
  out.result = initial;
  try {
    if (pointerForm) {
      is >> out.result;
    } else {
      Persistable::restore(is, out.result);
    }
  } catch (InternalException* e) {
    out.message = e->getMsg();
    EXPECT_EQ(e->getCode(), 0);
    delete e;
  }
  out.state = is.rdstate();
  out.position = is.position();
  return out;
}

class PersistableErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tobrel::test::registerTestClasses();
    Persistable::readyToSerialize();
  }
  void TearDown() override {
    Node::releaseNodes();
    EXPECT_EQ(Tree::live(), 0);
    Persistable::readyToSerialize();
  }
};

// Each malformed record: the message, the state bits, how far the reader
// got, and whether restore left an object for its caller (only when the
// closing brace is missing: the object was read and recorded).
TEST_F(PersistableErrorsTest, EachMalformedRecordEndsWithItsMessageStateAndPosition) {
  struct Case {
    Bytes bytes;
    bool pointerForm;
    const char* message;
    int state;
    std::size_t position;
    bool objectLeft;
  };
  const Case cases[] = {
      {{'x', 0, 0, 0, 0}, true, "Invalid format: can't find referencer.", vios::failbit, 1, false},
      {{':', 0x01, 0x80, '}', '}'}, true, "Invalid format: can't find opening brace.", vios::failbit, 4, false},
      {{':', 0x34, 0x12, '{', '}'}, false, "can't find creator", 0, 4, false},
      {{':', 0x01, 0x80, '{', ']'}, false, "Invalid format: can't find closing brace.", 0, 5, true},
      {{':', 0x02, 0x02, '{', 5, 0}, true, "Invalid format: can't find closing brace.", vios::eofbit, 6, false},
      // References before anything is recorded: index 0 and a negative one.
      {{'@', 0, 0, 0, 0}, true, "unmatch serialized object.", 0, 5, false},
      {{'@', 0xFF, 0xFF, 0xFF, 0xFF}, false, "unmatch serialized object.", 0, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Persistable::readyToSerialize();
    Outcome o = readInto(c.bytes, nullptr, c.pointerForm);
    EXPECT_EQ(o.message, c.message);
    EXPECT_EQ(o.state, c.state);
    EXPECT_EQ(o.position, c.position);
    EXPECT_EQ(o.result != nullptr, c.objectLeft);
    if (c.objectLeft) {
      EXPECT_EQ(o.result->isA(), 0x8001);
      EXPECT_EQ(DupChecker::getInstance()->get(0), o.result);
      delete o.result;
    } else if (c.position <= 4) {
      EXPECT_EQ(DupChecker::getInstance()->entries(), 0u);  // nothing is recorded before the brace
    }
  }
}

TEST_F(PersistableErrorsTest, ReferenceIntoAnExistingObject) {
  Persistable recorded, existing;
  DupChecker::getInstance()->add(&recorded);
  // Through restore with a pointer that is not null ...
  Outcome o = readInto({'@', 0, 0, 0, 0}, &existing, false);
  EXPECT_EQ(o.message, "ileagal reference object.");
  EXPECT_EQ(o.state, 0);
  EXPECT_EQ(o.result, &existing);
  // ... and through the reference form of operator>>.
  const Bytes reference = {'@', 0, 0, 0, 0};
  MemoryIStream is(reference);
  try {
    is >> existing;
    ADD_FAILURE() << "no exception";
  } catch (InternalException* e) {
    EXPECT_EQ(e->getMsg(), "ileagal reference object.");
    delete e;
  }
  EXPECT_TRUE(is.good());
}

TEST_F(PersistableErrorsTest, PointerFormKeepsTheCallersPointerAndReleasesTheObject) {
  Persistable mine;
  Tree source(1, new Tree(2), new Tree(3, new Tree(4)));
  MemoryOStream os;
  os << source;
  Bytes bytes = os.bytes();
  bytes.back() = ']';  // the outermost closing brace is damaged
  const int before = Tree::live();
  Outcome o = readInto(bytes, &mine);
  EXPECT_EQ(o.message, "Invalid format: can't find closing brace.");
  EXPECT_EQ(o.result, &mine);
  EXPECT_EQ(Tree::live(), before);  // the whole half-read tree is gone
}

TEST_F(PersistableErrorsTest, FailedReadsOfTheFramingOnlySetTheFailBit) {
  const Bytes cases[] = {{}, {':'}, {':', 0x01}, {':', 0x01, 0x80}, {'@'}, {'@', 0, 0}};
  for (const Bytes& bytes : cases) {
    Persistable existing;
    Outcome o = readInto(bytes, &existing, false);
    EXPECT_EQ(o.message, "") << bytes.size();
    EXPECT_EQ(o.result, &existing);
    EXPECT_TRUE(o.state & vios::failbit);
    EXPECT_TRUE(o.state & vios::eofbit);
  }
  // A stream that is not good on entry is not read at all.
  const Bytes plain = {0x3A, 0x01, 0x80, 0x7B, 0x7D};
  MemoryIStream is(plain);
  is.clear(vios::badbit);
  Persistable* p = nullptr;
  is >> p;
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(is.rdstate(), vios::badbit | vios::failbit);
  EXPECT_EQ(is.position(), 0u);
}

// Every prefix of a stream with nesting, sharing and back-references either
// throws one of the documented messages or leaves the stream not good; it
// never crashes and never leaks (checked by the sanitizer build).
TEST_F(PersistableErrorsTest, EveryTruncationFailsCleanly) {
  const std::vector<std::string> messages = {
      "Invalid format: can't find referencer.", "unmatch serialized object.",
      "ileagal reference object.", "Invalid format: can't find opening brace.",
      "can't find creator", "Invalid format: can't find closing brace."};
  Node a(1), b(2), c(3);
  a.left = &b;
  a.right = &c;
  b.left = &c;
  c.left = &a;
  c.right = &c;
  MemoryOStream nodes;
  nodes << a;
  Tree tree(1, new Tree(2, new Tree(3)), new Tree(4));
  Persistable::readyToSerialize();
  MemoryOStream trees;
  trees << tree;

  for (const Bytes* full : {&nodes.bytes(), &trees.bytes()}) {
    for (std::size_t n = 0; n < full->size(); ++n) {
      Persistable::readyToSerialize();
      const Bytes prefix(full->begin(), full->begin() + static_cast<std::ptrdiff_t>(n));
      const std::size_t nodesBefore = Node::pool().size();
      const int treesBefore = Tree::live();
      Outcome o = readInto(prefix);
      if (o.message.empty()) {
        EXPECT_NE(o.state, 0) << "prefix " << n;
      } else {
        EXPECT_NE(std::find(messages.begin(), messages.end(), o.message), messages.end()) << o.message;
      }
      EXPECT_EQ(o.result, nullptr) << "prefix " << n;
      EXPECT_EQ(Tree::live(), treesBefore) << "prefix " << n;
      EXPECT_EQ(Node::pool().size() >= nodesBefore, true);
    }
  }
  Persistable::readyToSerialize();
  Outcome whole = readInto(trees.bytes());
  EXPECT_EQ(whole.message, "");
  EXPECT_EQ(whole.state, 0);
  delete whole.result;
}

// The file streams take their own road through restore: every malformed
// record must end there exactly as on any other stream (message, state,
// bytes consumed, pointer left null). Each is read at the start of the file,
// after a byte read before it (the file's buffer then already holds the
// record), and with the end of the first buffer's worth of the file falling
// inside the record's head, so that the head is split by a refill.
TEST_F(PersistableErrorsTest, FileStreamsFailTheSameWay) {
  const Bytes cases[] = {{},
                         {'x', 0, 0, 0, 0},
                         {'@', 0, 0, 0, 0},
                         {'@', 0, 0},
                         {':'},
                         {':', 0x01, 0x80},
                         {':', 0x01, 0x80, 'x'},
                         {':', 0x01, 0x80, 'x', '}'},
                         {':', 0x99, 0x99, '{', '}'},
                         {':', 0x01, 0x80, '{'},
                         {':', 0x01, 0x80, '{', 'x'},
                         {':', 0x01, 0x80, '{', '}'}};
  const std::size_t k = tobrel::FileHandle::kBufferSize;
  const std::size_t leads[] = {0, 1, k - 4, k - 3, k - 1};
  const std::string path = tobrel::test::tempPath("case.bin");
  for (const Bytes& bytes : cases) {
    for (std::size_t lead : leads) {
      SCOPED_TRACE(std::string(bytes.begin(), bytes.end()) + " after " + std::to_string(lead) + " bytes");
      Persistable::readyToSerialize();
      Outcome memory = readInto(bytes);
      delete memory.result;
      Bytes file = bytes;
      file.insert(file.begin(), lead, '-');
      tobrel::test::writeBytes(path, file);
      Persistable::readyToSerialize();
      fvistream is(path.c_str());
      char skipped = 0;
      for (std::size_t i = 0; i < lead; ++i) is >> skipped;
      Persistable* result = nullptr;
      std::string message;
      try {
        is >> result;
      } catch (InternalException* e) {
        message = e->getMsg();
        delete e;
      }
      EXPECT_EQ(message, memory.message);
      EXPECT_EQ(is.rdstate() & ~vios::eofbit, memory.state & ~vios::eofbit);
      EXPECT_EQ(std::ftell(is.file()), static_cast<long>(lead + memory.position));
      EXPECT_EQ(result != nullptr, memory.result != nullptr);
      delete result;
    }
  }
}

}  // namespace
