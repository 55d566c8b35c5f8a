// tobrel demo: a short tour of the library.
#include <cstdio>

#include "TobrelTools/TobrelTools.h"
#include "cli/commands.h"

static const char sccsid[] __attribute__((used)) = "@(#)demo.cpp:  Ver01.00  2026.12.05";

namespace tobrel {
namespace cli {

namespace {

int runDemo(const Invocation&) {
  const char* path = "tobrel-demo.bin";
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
  is.close();
  std::remove(path);
  return kExitOk;
}

}  // namespace

Command demoCommand() {
  Command c;
  c.path = "demo";
  c.summary = "A short tour: write a stream file and read it back.";
  c.minArgs = 0;
  c.maxArgs = 0;
  c.run = runDemo;
  return c;
}

}  // namespace cli
}  // namespace tobrel
