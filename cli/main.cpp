// tobrel: the library's command-line tool. For now: a demonstration that
// writes a stream file and reads it back.
#include <cstdio>
#include <cstring>

#include "TobrelTools/TobrelTools.h"

static int demo() {
  const char* path = "tobrel-demo.bin";
  try {
    {
      fvostream os(path);
      os << 1 << 'A' << 1.0;
      std::printf("wrote int 1, char 'A', double 1.0 to %s\n", path);
    }
    fvistream is(path);
    int i = 0;
    char c = 0;
    double d = 0;
    is >> i >> c >> d;
    std::printf("read back int %d, char '%c', double %g (state %d)\n", i, c, d, is.rdstate());
  } catch (InternalException* e) {
    std::fprintf(stderr, "tobrel: %s\n", e->getMsg().c_str());
    delete e;
    return 1;
  }
  std::remove(path);
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "demo") == 0) return demo();
  std::fprintf(stderr, "usage: tobrel demo\n");
  return 2;
}
