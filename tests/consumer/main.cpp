// A client of the installed package, built outside the tree: it reaches the
// library only through its exported interface (constructors, virtual tables
// in both directions, static data, the stream operators, exceptions thrown by
// the library and caught here) and prints "consumer ok" when all of it works.
#include <TobrelTools/TobrelTools.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "consumer_ids.h"

namespace {

int failures = 0;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "consumer: %s\n", what);
    ++failures;
  }
}

// A class of the client's, saved and restored by the library: the library
// calls the client's overrides through the vtable the client built.
class Pair : public Persistable {
 public:
  static const unsigned short Pair_id = 0x0311;
  int value = 0;
  std::tstring label;
  Pair* next = nullptr;

  static Persistable* create() { return new Pair; }
  unsigned short isA() const override { return Pair_id; }
  void saveContents(vostream& os) const override {
    os << value;
    os << label;
    os << static_cast<const Persistable*>(next);
  }
  void restoreContents(vistream& is) override {
    is >> value;
    is >> label;
    Persistable* p = nullptr;
    is >> p;
    next = static_cast<Pair*>(p);
  }
};

std::string thrownBy(void (*action)(const char*), const char* path) {
  try {
    action(path);
  } catch (InternalException* e) {
    std::string message = e->getMsg();
    delete e;
    return message;
  }
  return "nothing thrown";
}

void openForReading(const char* path) { fvistream is(path); }

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : "consumer.bin";
  const std::string missing = path + ".missing/none";

  // Primitives through the file streams, read back through the abstract
  // interface (virtual calls into the DLL).
  try {
    { fvostream os(path.c_str()); os << 0x12345678 << 'x' << static_cast<__int64>(-2); }
    fvistream file(path.c_str());
    vistream& is = file;
    int v = 0;
    char c = 0;
    __int64 w = 0;
    is >> v >> c >> w;
    check(v == 0x12345678 && c == 'x' && w == -2 && is.good(), "primitives did not read back");
  } catch (InternalException* e) {
    std::fprintf(stderr, "%s\n", e->getMsg().c_str());
    delete e;
    return 1;
  }

  // An exception thrown inside the library, caught here.
  check(thrownBy(openForReading, missing.c_str()) == "fvistream open error: filename=" + missing,
        "the open error was not caught with its message");

  // A cyclic graph of the client's class, with a library string in it.
  ClassFactory::getInstance()->add(Pair::Pair_id, &Pair::create);
  Pair a, b;
  a.value = 1;
  a.label = "\x93\xfa\x96\x7b";   // two double-byte characters of code page 932
  b.value = 2;
  a.next = &b;
  b.next = &a;
  Persistable* back = nullptr;
  try {
    Persistable::readyToSerialize();
    { fvostream os(path.c_str()); os << a; }
    Persistable::readyToSerialize();
    fvistream is(path.c_str());
    is >> back;
  } catch (InternalException* e) {
    std::fprintf(stderr, "graph: %s\n", e->getMsg().c_str());
    delete e;
  }
  Pair* first = dynamic_cast<Pair*>(back);
  check(first != nullptr && first->value == 1 && first->label == a.label && first->next != nullptr &&
            first->next->value == 2 && first->next->next == first,
        "the graph did not come back with its cycle");
  if (first) {
    delete first->next;
    delete first;
  }

  // Class ids are the library's static data.
  check(std::tstring::getClassId() == 0x0070 && regtree::getClassId() == 0xF034, "wrong class ids");

#ifndef CONSUMER_WITHOUT_RESOURCES
  // The string table compiled in by tobrel_add_string_resources (a build
  // with pkg-config alone has none).
  char text[64];
  check(LoadStringA(GetModuleHandleA(NULL), IDS_CONSUMER, text, sizeof text) == 16 &&
            std::strcmp(text, "consumer strings") == 0,
        "string resource missing");
#endif

  if (failures != 0) return 1;
  std::puts("consumer ok");
  return 0;
}
