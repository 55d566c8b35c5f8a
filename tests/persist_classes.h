// Persistable client classes shared by the persistence tests, the fuzz
// target and the benchmark.
//
//   Node   an int and two non-owning pointers; every Node is tracked in a
//          per-thread pool so that graphs with sharing and cycles, complete
//          or half-read, can be released in one go (releaseNodes).
//   Tree   an int and two owned children (deleted by the destructor), and a
//          live count, to check that failed reads leave nothing behind.
#ifndef TOBRELTOOLS_TESTS_PERSIST_CLASSES_H_
#define TOBRELTOOLS_TESTS_PERSIST_CLASSES_H_

#include <unordered_set>
#include <vector>

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/InstanceManager.h"
#include "TobrelTools/persist/Persistable.h"

namespace tobrel {
namespace test {

class Node;

// Each thread's set of live Nodes, released when the thread ends (also on
// threads made with CreateThread), through the library's per-thread holder.
class NodePools : public InstanceManager {
 public:
  typedef std::unordered_set<Node*> Pool;
  ~NodePools() override { retire(); }
  Pool& get() { return *static_cast<Pool*>(getOrAdd()); }

 protected:
  void* newValue() override { return new Pool(); }
  void deleteValue(void* value) override { delete static_cast<Pool*>(value); }
};
// Made during static initialisation, on the main thread: the holder's own
// thread keeps its pool until the process ends.
inline NodePools nodePools;

class Node : public Persistable {
 public:
  static const unsigned short Node_id = 0x0201;

  Node() { pool().insert(this); }
  explicit Node(int v) : value(v) { pool().insert(this); }
  ~Node() override { pool().erase(this); }

  unsigned short isA() const override { return Node_id; }
  void saveContents(vostream& os) const override {
    os << value << static_cast<int>((left ? 1 : 0) | (right ? 2 : 0));
    if (left) os << left;
    if (right) os << right;
  }
  void restoreContents(vistream& is) override {
    int links = 0;
    is >> value >> links;
    if (links & 1) readLink(is, left);
    if (links & 2) readLink(is, right);
  }

  static Persistable* create() { return new Node(); }
  static NodePools::Pool& pool() { return nodePools.get(); }
  // Deletes every Node of this thread that is still alive.
  static void releaseNodes() {
    std::vector<Node*> all(pool().begin(), pool().end());
    for (Node* n : all) delete n;
  }

  int value = 0;
  Node* left = nullptr;
  Node* right = nullptr;

 private:
  static void readLink(vistream& is, Node*& link) {
    Persistable* p = nullptr;
    is >> p;
    link = dynamic_cast<Node*>(p);
  }
};

class Tree : public Persistable {
 public:
  static const unsigned short Tree_id = 0x0202;

  Tree() { ++live(); }
  explicit Tree(int v, Tree* l = nullptr, Tree* r = nullptr) : value(v), left(l), right(r) { ++live(); }
  ~Tree() override {
    delete left;
    delete right;
    --live();
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  unsigned short isA() const override { return Tree_id; }
  void saveContents(vostream& os) const override {
    os << value << static_cast<char>(left ? 1 : 0) << static_cast<char>(right ? 1 : 0);
    if (left) os << left;
    if (right) os << right;
  }
  void restoreContents(vistream& is) override {
    char hasLeft = 0, hasRight = 0;
    is >> value >> hasLeft >> hasRight;
    if (hasLeft) readChild(is, left);
    if (hasRight) readChild(is, right);
  }

  static Persistable* create() { return new Tree(); }
  static int& live() {
    thread_local int count = 0;
    return count;
  }

  int value = 0;
  Tree* left = nullptr;
  Tree* right = nullptr;

 private:
  static void readChild(vistream& is, Tree*& child) {
    Persistable* p = nullptr;
    is >> p;
    child = dynamic_cast<Tree*>(p);
  }
};

// Registers the test classes with the calling thread's factory.
inline void registerTestClasses() {
  ClassFactory* factory = ClassFactory::getInstance();
  factory->add(Node::Node_id, &Node::create);
  factory->add(Tree::Tree_id, &Tree::create);
}

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_PERSIST_CLASSES_H_
