// Reads std::tstring object records from arbitrary bytes, through both
// forms of operator>>, and writes back what was read. Whatever the bytes,
// reading ends with a string or an InternalException*, never a crash, a
// leak or an allocation far beyond the input's size.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/string/tstring.h"
#include "tests/memory_stream.h"

namespace {

// Reads records until the input is used up or one fails.
template <typename ReadOne>
void readAll(const std::uint8_t* data, std::size_t size, ReadOne readOne) {
  Persistable::readyToSerialize();
  tobrel::test::MemoryIStream is(data, size);
  for (int i = 0; i < 64 && is.good() && is.position() < size; ++i) {
    try {
      if (!readOne(is)) break;
    } catch (InternalException* e) {
      delete e;
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Into new objects: created by the factory or resolved as back-references.
  std::vector<Persistable*> made;
  readAll(data, size, [&made](vistream& is) {
    std::tstring* p = 0;
    is >> p;
    if (!p) return false;
    // The pointer form does not check the class: a record of another class
    // (a plain Persistable) arrives here too, and is only deleted.
    Persistable* base = reinterpret_cast<Persistable*>(p);
    bool seen = false;
    for (Persistable* q : made) seen = seen || q == base;
    if (!seen) made.push_back(base);
    return true;
  });
  tobrel::test::MemoryOStream os;
  Persistable::readyToSerialize();
  for (Persistable* p : made) {
    if (std::tstring* t = dynamic_cast<std::tstring*>(p)) {
      os << *t;
      (void)static_cast<const unsigned short*>(*t);   // the wide view of whatever arrived
    }
  }
  for (Persistable* p : made) delete p;

  // Into one existing object, again and again.
  std::tstring target("before");
  readAll(data, size, [&target](vistream& is) {
    is >> target;
    (void)target.bstr();
    return true;
  });
  return 0;
}
