// Feeds arbitrary bytes to operator>> into a null Persistable pointer, with a
// client class registered that has ints, owned-nowhere links to other
// objects (so streams can share and cycle) and an embedded persistable
// member read in place. Every object a read creates is released afterwards,
// whether the read succeeded, failed quietly or threw. The bytes are read
// twice: from memory, and from a file through fvistream, which takes a road
// of its own through restore; both must end the same way.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/stream/fistream.h"
#include "tests/memory_stream.h"

namespace {

class Leaf : public Persistable {
 public:
  static const unsigned short Leaf_id = 0x0302;
  unsigned short isA() const override { return Leaf_id; }
  void saveContents(vostream& os) const override { os << value; }
  void restoreContents(vistream& is) override { is >> value; }
  int value = 0;
};

class FuzzNode : public Persistable {
 public:
  static const unsigned short FuzzNode_id = 0x0301;

  FuzzNode() { pool().insert(this); }
  ~FuzzNode() override { pool().erase(this); }

  unsigned short isA() const override { return FuzzNode_id; }
  void saveContents(vostream& os) const override {
    os << a << b << static_cast<char>((left ? 1 : 0) | (right ? 2 : 0));
    if (left) os << left;
    if (right) os << right;
    os << inner;
  }
  void restoreContents(vistream& is) override {
    char links = 0;
    is >> a >> b >> links;
    if (links & 1) readLink(is, left);
    if (links & 2) readLink(is, right);
    is >> static_cast<Persistable&>(inner);
  }

  static Persistable* create() { return new FuzzNode(); }
  static std::unordered_set<FuzzNode*>& pool() {
    static std::unordered_set<FuzzNode*> nodes;
    return nodes;
  }

  int a = 0;
  int b = 0;
  FuzzNode* left = nullptr;
  FuzzNode* right = nullptr;
  Leaf inner;

 private:
  static void readLink(vistream& is, FuzzNode*& link) {
    Persistable* p = nullptr;
    is >> p;
    // Only FuzzNode is registered, so p is a FuzzNode (created or shared) or
    // an embedded Leaf reached by a back-reference, which nobody may delete.
    link = dynamic_cast<FuzzNode*>(p);
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Only the client class: every object a read can create is a FuzzNode.
  ClassFactory::Associators table;
  table.push_back(IdAndCreator(FuzzNode::FuzzNode_id, &FuzzNode::create));
  ClassFactory::getInstance()->setAssociators(table);
  return 0;
}

namespace {

// How one read ended.
struct Outcome {
  std::string message;  // empty when nothing was thrown
  int state = 0;        // without eofbit: memory and file tell the end apart differently
  long consumed = 0;
  bool created = false;
};

// Reads one record from is and releases whatever it created.
Outcome readOnce(vistream& is) {
  Outcome out;
  Persistable::readyToSerialize();
  Persistable* root = nullptr;
  try {
    is >> root;
  } catch (InternalException* e) {
    out.message = e->getMsg();
    delete e;
  }
  out.state = is.rdstate() & ~vios::eofbit;
  out.created = root != nullptr;
  // A successful read leaves root; a failed one leaves nothing to it. Either
  // way every node still alive belongs to this input.
  std::vector<FuzzNode*> alive(FuzzNode::pool().begin(), FuzzNode::pool().end());
  for (FuzzNode* node : alive) delete node;
  Persistable::readyToSerialize();
  return out;
}

const std::string& inputFile() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/fuzz_persist." + std::to_string(getpid()) + ".bin";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tobrel::test::MemoryIStream memory(data, size);
  Outcome fromMemory = readOnce(memory);
  fromMemory.consumed = static_cast<long>(memory.position());

  FILE* f = std::fopen(inputFile().c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
  fvistream file(inputFile().c_str());
  Outcome fromFile = readOnce(file);
  fromFile.consumed = std::ftell(file.file());

  if (fromFile.message != fromMemory.message || fromFile.state != fromMemory.state ||
      fromFile.consumed != fromMemory.consumed || fromFile.created != fromMemory.created) {
    std::fprintf(stderr, "file stream: \"%s\" state %d at %ld; memory: \"%s\" state %d at %ld\n",
                 fromFile.message.c_str(), fromFile.state, fromFile.consumed, fromMemory.message.c_str(),
                 fromMemory.state, fromMemory.consumed);
    std::abort();
  }
  return 0;
}
