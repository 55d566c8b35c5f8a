// Writes a value through the installed library and reads it back.
#include <TobrelTools/TobrelTools.h>

#include <cstdio>
#include <cstring>

#include "consumer_ids.h"

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "consumer.bin";
  try {
    { fvostream os(path); os << 0x12345678 << 'x'; }
    fvistream is(path);
    int v = 0;
    char c = 0;
    is >> v >> c;
    if (v != 0x12345678 || c != 'x' || !is.good()) return 1;
  } catch (InternalException* e) {
    std::fprintf(stderr, "%s\n", e->getMsg().c_str());
    delete e;
    return 1;
  }
#ifndef CONSUMER_WITHOUT_RESOURCES
  // The string table compiled in by tobrel_add_string_resources (a build
  // with pkg-config alone has none).
  char text[64];
  if (LoadStringA(GetModuleHandleA(NULL), IDS_CONSUMER, text, sizeof text) != 16 ||
      std::strcmp(text, "consumer strings") != 0) {
    std::fprintf(stderr, "string resource missing\n");
    return 1;
  }
#endif
  std::puts("consumer ok");
  return 0;
}
