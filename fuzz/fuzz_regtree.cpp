// Reads a regtree from arbitrary bytes. Whatever the bytes, the read ends in
// a tree, an InternalException* or a stream that is no longer good, without
// a crash, a leak or an allocation beyond what the bytes can deliver. A tree
// that reads back is dumped and written again, and must read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "TobrelTools/TobrelTools.h"
#include "tests/memory_stream.h"

namespace {

regtree* readTree(const unsigned char* data, std::size_t size) {
  Persistable::readyToSerialize();
  tobrel::test::MemoryIStream in(data, size);
  regtree* tree = nullptr;
  try {
    in >> tree;
  } catch (InternalException* e) {
    delete e;
    return nullptr;
  }
  return tree;
}

std::vector<unsigned char> saveTree(const regtree& tree) {
  Persistable::readyToSerialize();
  tobrel::test::MemoryOStream out;
  out << tree;
  return out.bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::unique_ptr<regtree> tree(readTree(data, size));
  if (!tree) return 0;
  std::tstring dump = tree->toString();
  std::vector<unsigned char> saved = saveTree(*tree);
  std::unique_ptr<regtree> again(readTree(saved.data(), saved.size()));
  if (!again || saveTree(*again) != saved || again->toString() != dump) std::abort();
  return 0;
}
