#include "TobrelTools/persist/Persistable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TobrelTools/persist/ClassFactory.h"
#include "tests/memory_stream.h"
#include "tests/persist_classes.h"
#include "tests/thread_util.h"

namespace {

using tobrel::test::MemoryIStream;
using tobrel::test::MemoryOStream;
using tobrel::test::Node;
using tobrel::test::runOnThread;
typedef std::vector<unsigned char> Bytes;

const std::size_t kHeaderSize = 12;  // ':' id '{' value links

// depth Node records, each holding the next as its left link.
Bytes nestedStream(std::size_t depth) {
  Bytes bytes;
  bytes.reserve(depth * (kHeaderSize + 1));
  for (std::size_t i = 0; i < depth; ++i) {
    const unsigned char header[kHeaderSize] = {':', 0x01, 0x02, '{', 0, 0, 0, 0,
                                                static_cast<unsigned char>(i + 1 < depth ? 1 : 0), 0, 0, 0};
    bytes.insert(bytes.end(), header, header + kHeaderSize);
  }
  bytes.insert(bytes.end(), depth, '}');
  return bytes;
}

// A chain of n nodes, each also linked back to an earlier node.
std::vector<Node*> chain(int n) {
  std::vector<Node*> nodes;
  nodes.reserve(n);
  for (int i = 0; i < n; ++i) nodes.push_back(new Node(i));
  for (int i = 0; i + 1 < n; ++i) nodes[i]->left = nodes[i + 1];
  for (int i = 1; i < n; ++i) nodes[i]->right = nodes[i / 2];
  return nodes;
}

struct ReadResult {
  std::string message;
  int state = 0;
  std::size_t position = 0;
  Persistable* root = nullptr;
  std::size_t nodesLeft = 0;
};

// Reads bytes on the calling thread (which has the test classes' table).
ReadResult readAll(const Bytes& bytes) {
  ReadResult r;
  Persistable::readyToSerialize();
  MemoryIStream is(bytes);
  try {
    is >> r.root;
  } catch (InternalException* e) {
    r.message = e->getMsg();
    delete e;
  }
  r.state = is.rdstate();
  r.position = is.position();
  return r;
}

std::string saveAll(const Persistable& root, Bytes* out) {
  Persistable::readyToSerialize();
  MemoryOStream os;
  std::string message;
  try {
    os << root;
  } catch (InternalException* e) {
    message = e->getMsg();
    delete e;
  }
  if (message.empty() && !os.good()) message = "stream not good";
  if (out) *out = os.bytes();
  return message;
}

class NestingTest : public ::testing::Test {
 protected:
  void SetUp() override { table_ = tableWithTestClasses(); }

  static ClassFactory::Associators tableWithTestClasses() {
    tobrel::test::registerTestClasses();
    return ClassFactory::getInstance()->getAssociators();
  }

  // Runs body on a new thread with the given stack and the test classes.
  void onThread(std::size_t stack, const std::function<void()>& body) {
    const ClassFactory::Associators table = table_;
    ASSERT_TRUE(runOnThread(stack, [&] {
      ClassFactory::getInstance()->setAssociators(table);
      body();
      Node::releaseNodes();
      Persistable::clearInstance();
    }));
  }

  ClassFactory::Associators table_;
};

TEST_F(NestingTest, TooDeepStreamIsRefusedOnASmallStack) {
  const Bytes bytes = nestedStream(200000);
  ReadResult r;
  onThread(512 * 1024, [&] {
    r = readAll(bytes);
    r.nodesLeft = Node::pool().size();
  });
  EXPECT_EQ(r.message, "Invalid format: nesting too deep.");
  EXPECT_EQ(r.state, vios::failbit);
  EXPECT_EQ(r.root, nullptr);
  EXPECT_EQ(r.nodesLeft, 0u);  // every level released what it made
  // The guard uses the stack it has, not a small fixed count.
  EXPECT_GT(r.position / kHeaderSize, 200u);
}

TEST_F(NestingTest, MainThreadRefusesWhatItCannotHold) {
  ReadResult r = readAll(nestedStream(300000));
  EXPECT_EQ(r.message, "Invalid format: nesting too deep.");
  EXPECT_EQ(Node::pool().size(), 0u);
}

TEST_F(NestingTest, DeepGraphRoundTripsOnALargeStack) {
  const int n = 100000;
  std::string saveMessage, readMessage;
  bool sameShape = false;
  onThread(std::size_t(256) << 20, [&] {
    std::vector<Node*> nodes = chain(n);
    Bytes bytes;
    saveMessage = saveAll(*nodes[0], &bytes);
    for (Node* node : nodes) delete node;
    ReadResult r = readAll(bytes);
    readMessage = r.message;
    Node* p = dynamic_cast<Node*>(r.root);
    std::vector<Node*> back;
    while (p != nullptr && back.size() < static_cast<std::size_t>(n)) {
      back.push_back(p);
      p = p->left;
    }
    sameShape = back.size() == static_cast<std::size_t>(n);
    for (int i = 1; sameShape && i < n; ++i) sameShape = back[i]->value == i && back[i]->right == back[i / 2];
  });
  EXPECT_EQ(saveMessage, "");
  EXPECT_EQ(readMessage, "");
  EXPECT_TRUE(sameShape);
}

TEST_F(NestingTest, SaveRefusesWhatItCouldNotFinish) {
  std::string message;
  bool failed = false;
  onThread(256 * 1024, [&] {
    std::vector<Node*> nodes = chain(100000);
    Persistable::readyToSerialize();
    MemoryOStream os;
    try {
      os << *nodes[0];
    } catch (InternalException* e) {
      message = e->getMsg();
      delete e;
    }
    failed = os.fail();
    for (Node* node : nodes) delete node;
  });
  EXPECT_EQ(message, "nesting too deep to save.");
  EXPECT_TRUE(failed);
}

// Whatever save accepts on a thread, restore reads on a thread with the same
// stack size.
TEST_F(NestingTest, WhatSaveWritesRestoreReadsOnTheSameStackSize) {
  const std::size_t stack = 1 << 20;
  const int n = 200000;
  Bytes deepest;
  int depth = 0;
  onThread(stack, [&] {
    std::vector<Node*> nodes = chain(n);
    for (int i = 0; i + 1 < n; ++i) nodes[i]->right = nullptr;  // plain chain
    nodes[n - 1]->right = nullptr;
    // The deepest chain save accepts: node k heads a chain of n - k.
    int lo = 1, hi = n;
    while (lo < hi) {
      const int mid = lo + (hi - lo + 1) / 2;
      if (saveAll(*nodes[n - mid], nullptr).empty()) lo = mid; else hi = mid - 1;
    }
    depth = lo;
    saveAll(*nodes[n - depth], &deepest);
    for (Node* node : nodes) delete node;
  });
  ASSERT_GT(depth, 100);
  ASSERT_LT(depth, n);
  ReadResult r;
  onThread(stack, [&] { r = readAll(deepest); });
  EXPECT_EQ(r.message, "") << "depth " << depth;
  EXPECT_EQ(r.state, 0);
}

}  // namespace
