// tobrel demo: a short tour of the library on the user's registry: a small
// subtree is created, saved to a stream file, dumped, removed, restored from
// the file and shown; the subtree and the file are removed at the end, also
// when a step fails.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "TobrelTools/TobrelTools.h"
#include "TobrelTools/export.h"
#include "TobrelTools/platform/registry.h"
#include "cli/command.h"
#include "cli/dump/decoder.h"
#include "cli/dump/render.h"
#include "cli/progress.h"
#include "cli/reg/paths.h"
#include "cli/reg/support.h"
#include "cli/reg/tree_steps.h"
#include "cli/writer.h"

#if defined(_WIN32)
#include <process.h>
#define getpid _getpid
#else
#include <csignal>
#include <unistd.h>
#endif

TOBREL_MODULE_ID("demo.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

const char kSubkey[] = "Software\\TobrelTools Demo";

// Removes what the demo made, whatever happened on the way.
class Cleanup {
 public:
  explicit Cleanup(const std::string& file) : file_(file), subtree_(false) {}
  ~Cleanup() {
    bool removedTree = false;
    if (subtree_) {
      regtree tree(HKEY_CURRENT_USER, kSubkey);
      tree.remove();
      removedTree = !keyExists(HKEY_CURRENT_USER, kSubkey);
    }
    std::error_code ec;
    bool removedFile = std::filesystem::remove(file_, ec);
    std::printf("cleaned up: %s, %s\n",
                subtree_ ? (removedTree ? "removed the subtree" : "COULD NOT remove the subtree")
                         : "no subtree left",
                removedFile ? "removed the file" : "no file left");
  }
  void subtreeExists(bool exists) { subtree_ = exists; }

 private:
  std::string file_;
  bool subtree_;
};

// Creates `name` below the root key that `key` was constructed on.
void create(CRegistry& key, const char* name) {
  if (!key.create(std::tstring(name), 0)) throw Failure(std::string("cannot create the key ") + name);
}

void buildSample() {
  CRegistry top(HKEY_CURRENT_USER, 0);
  if (!top.create(std::tstring(kSubkey), 0)) {
    throw Failure(std::string("cannot create HKEY_CURRENT_USER\\") + kSubkey);
  }
  top.set(std::tstring("Greeting"), std::tstring("Hello from TobrelTools"));
  regval_t answer;
  const unsigned char fortyTwo[4] = {42, 0, 0, 0};
  answer.setName(std::tstring("Answer"));
  answer.setData(fortyTwo, 4, REG_DWORD);
  top.set(answer);

  CRegistry colors(top.getKey(), 0);
  create(colors, "Colors");
  colors.set(std::tstring("Sky"), std::tstring("blue"));
  colors.set(std::tstring("Grass"), std::tstring("green"));

  CRegistry shades(colors.getKey(), 0);
  create(shades, "Shades");
  const unsigned char bytes[3] = {1, 2, 3};
  shades.set(std::tstring("Bytes"), bytes, 3);

  CRegistry empty(top.getKey(), 0);
  create(empty, "Empty");
}

int runDemo(const Invocation&) {
  const std::string where = std::string("HKEY_CURRENT_USER\\") + kSubkey;
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) dir = ".";
  const std::string file = (dir / ("tobrel-demo-" + std::to_string(getpid()) + ".bin")).string();

#if !defined(_WIN32)
  // A reader that goes away early (tobrel demo | head) must not stop the
  // demo before it has cleaned up: writes then fail instead.
  std::signal(SIGPIPE, SIG_IGN);
  std::printf("registry store: %s\n", registryStorePath().c_str());
#endif
  if (keyExists(HKEY_CURRENT_USER, kSubkey)) {
    throw Failure(where + " exists already (left over from an earlier run?); remove it with: tobrel reg remove '" +
                  where + "'");
  }
  Cleanup cleanup(file);
  cleanup.subtreeExists(true);
  buildSample();
  regtree tree(HKEY_CURRENT_USER, kSubkey);
  tree.load();
  std::printf("1. created %s with %s\n", where.c_str(), describeCounts(countTree(tree.getTopkey())).c_str());

  saveTreeFile(tree, file);
  std::printf("2. saved the subtree with regtree and fvostream to %s (%s)\n", file.c_str(),
              humanBytes(std::filesystem::file_size(file, ec)).c_str());

  std::printf("3. dumped the stream file:\n");
  std::fflush(stdout);
  {
    fvistream in(file.c_str());
    Writer out(stdout);
    std::unique_ptr<DumpSink> sink = makeTextSink(out, false);
    DumpDecoder decoder(in, *sink);
    bool ok = decoder.run(file, std::filesystem::file_size(file, ec));
    if (!out.flush() || !ok) throw Failure("the dump of " + file + " failed");
  }

  removeTreeChecked(parseRegistryPath(where));
  cleanup.subtreeExists(false);
  std::printf("4. removed %s from the registry\n", where.c_str());

  std::unique_ptr<regtree> back = readTreeFile(file);
  cleanup.subtreeExists(true);
  restoreTreeChecked(*back, where);
  std::printf("5. read the tree back from the file and restored it: %s\n",
              describeCounts(countTree(back->getTopkey())).c_str());

  regtree shown(HKEY_CURRENT_USER, kSubkey);
  shown.load();
  std::tstring text = shown.toString();
  std::printf("6. the restored subtree, as regtree::toString shows it:\n");
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kExitOk;
}

}  // namespace

Command demoCommand() {
  Command c;
  c.path = "demo";
  c.summary = "A short tour: save a registry subtree to a stream file, dump it, restore it.";
  c.details = std::string("Creates a small subtree at HKEY_CURRENT_USER\\") + kSubkey +
              ", saves it to a stream file,\n"
              "shows the file's records, removes the subtree, restores it from the file and shows it.\n"
              "The subtree and the file are removed at the end, also when a step fails.\n";
  c.minArgs = 0;
  c.maxArgs = 0;
  c.run = runDemo;
  return c;
}

}  // namespace cli
}  // namespace tobrel
