// tobrel reg show/save/load/remove: registry subtrees as regtree snapshots,
// shown as text, saved to stream files and restored from them, removed.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "TobrelTools/TobrelTools.h"
#include "TobrelTools/export.h"
#include "TobrelTools/platform/registry.h"
#include "cli/command.h"
#include "cli/progress.h"
#include "cli/reg/commands.h"
#include "cli/reg/paths.h"
#include "cli/reg/support.h"
#include "cli/reg/tree_steps.h"
#include "cli/text_escape.h"

TOBREL_MODULE_ID("tree_commands.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

RegistryPath existingKey(const std::string& text) {
  RegistryPath path = parseRegistryPath(text);
  if (!keyExists(path.root, path.subkey)) throw Failure(path.text() + ": no such key");
  return path;
}

int runShow(const Invocation& invocation) {
  RegistryPath path = existingKey(invocation.args[0]);
  regtree tree(path.root, path.subkey.c_str());
  {
    RegistryBatch snapshot(false);
    Progress progress;
    loadTree(tree, progress, "loading " + path.text());
  }
  // The dump is code page 932 text; shown as UTF-8, as 'dump' shows texts.
  std::tstring dump = tree.toString();
  std::string text = displayText(dump.data(), dump.size());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return kExitOk;
}

int runSave(const Invocation& invocation) {
  RegistryPath path = existingKey(invocation.args[0]);
  const std::string& file = invocation.args[1];
  regtree tree(path.root, path.subkey.c_str());
  {
    RegistryBatch snapshot(false);
    Progress progress;
    loadTree(tree, progress, "loading " + path.text());
  }
  saveTreeFile(tree, file);
  std::printf("saved %s (%s) to %s\n", path.text().c_str(), describeCounts(countTree(tree.getTopkey())).c_str(),
              file.c_str());
  return kExitOk;
}

int runLoad(const Invocation& invocation) {
  const std::string& file = invocation.args[0];
  std::unique_ptr<RegistryPath> to;
  if (invocation.has("to")) to.reset(new RegistryPath(parseRegistryPath(invocation.value("to"))));
  std::unique_ptr<regtree> tree = readTreeFile(file);
  if (to) {
    tree->setTop(to->root, std::tstring(to->subkey.c_str()));
  } else if (rootNameOf(tree->getKey()).empty()) {
    char handle[32];
    std::snprintf(handle, sizeof handle, "0x%08lX",
                  static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(tree->getKey()) & 0xFFFFFFFFu));
    throw Failure(file + ": the tree was saved below a key handle (" + handle +
                  ") that means nothing in this process; give --to PATH");
  }
  const std::string subkey(tree->getSubKey().c_str(), tree->getSubKey().size());
  const std::string target = RegistryPath{tree->getKey(), rootNameOf(tree->getKey()), subkey}.text();
  restoreTreeChecked(*tree, target);
  std::printf("restored %s (%s) from %s\n", target.c_str(), describeCounts(countTree(tree->getTopkey())).c_str(),
              file.c_str());
  return kExitOk;
}

int runRemove(const Invocation& invocation) {
  RegistryPath path = parseRegistryPath(invocation.args[0]);
  if (path.subkey.empty()) throw UsageError("refusing to remove the root key " + path.rootName + " as a whole");
  if (!keyExists(path.root, path.subkey)) throw Failure(path.text() + ": no such key");
  removeTreeChecked(path);
  std::printf("removed %s\n", path.text().c_str());
  return kExitOk;
}

}  // namespace

std::vector<Command> regTreeCommands() {
  std::vector<Command> commands;
  commands.push_back(simpleCommand("reg show", "PATH", "Show the text dump of the registry subtree at PATH.",
                                   "PATH is a root key and a subkey path, for example HKCU\\Software\\Example.\n"
                                   "Names and texts are shown as UTF-8; bytes that are not code page 932 text\n"
                                   "(and control characters other than line feeds and tabs) as \\xNN.\n",
                                   1, 1, runShow));
  commands.push_back(simpleCommand("reg save", "PATH FILE", "Save the registry subtree at PATH to a stream file.",
                                   "The file holds one regtree record; 'tobrel dump FILE' shows it and\n"
                                   "'tobrel reg load FILE' writes it back.\n",
                                   2, 2, runSave));
  Command load = simpleCommand(
      "reg load", "FILE [--to PATH]", "Restore a saved registry subtree, at its own place or at PATH.",
      "Keys and values of the file are created or overwritten; other keys and values already\n"
      "there stay. Every key and value is checked afterwards: if any could not be written (a\n"
      "read-only key, for instance), the exit status is 1, and with the registry store of\n"
      "Linux nothing is changed at all.\n",
      1, 1, runLoad);
  load.options = {{"to", "PATH", "restore below PATH instead of the place the tree was saved from"}};
  commands.push_back(load);
  commands.push_back(simpleCommand("reg remove", "PATH",
                                   "Delete the registry subtree at PATH, the key itself included.",
                                   "With the registry store of Linux nothing is deleted unless all of it can be.\n",
                                   1, 1, runRemove));
  return commands;
}

}  // namespace cli
}  // namespace tobrel
