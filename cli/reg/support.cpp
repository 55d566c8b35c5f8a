#include "cli/reg/support.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/registry.h"
#include "cli/progress.h"
#include "cli/reg/commands.h"
#include "cli/reg/tree_steps.h"

TOBREL_MODULE_ID("support.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

std::string takeMessage(InternalException* e) {
  std::string message = e->getMsg();
  delete e;
  return message;
}

// "2 keys and 1 value", leaving out a count of 0.
std::string describeMissing(const Mismatch& m) {
  std::string keys = std::to_string(m.keys) + (m.keys == 1 ? " key" : " keys");
  std::string values = std::to_string(m.values) + (m.values == 1 ? " value" : " values");
  if (m.keys && m.values) return keys + " and " + values;
  return m.keys ? keys : values;
}

void commitOrFail(RegistryBatch& batch, const std::string& what) {
  if (batch.status() != ERROR_SUCCESS) return;  // no transaction was started: nothing to commit
  LONG rc = batch.commit();
  if (rc != ERROR_SUCCESS) throw Failure(what + ": the registry did not take the changes: " + registryErrorText(rc));
}

}  // namespace

void saveTreeFile(const regtree& tree, const std::string& file) {
  Persistable::readyToSerialize();
  std::unique_ptr<fvostream> out;
  try {
    out.reset(new fvostream(file.c_str()));
  } catch (InternalException* e) {
    throw Failure(takeMessage(e));
  }
  bool written;
  {
    Progress progress;
    BackgroundProgress growth(progress, [&file]() {
      std::error_code ec;
      return "saving " + file + ": " + humanBytes(std::filesystem::file_size(file, ec)) + " written";
    });
    *out << tree;
    FILE* f = out->file();
    written = out->good() && std::fflush(f) == 0 && !std::ferror(f);
  }
  out->close();
  if (!written) {
    out.reset();
    std::remove(file.c_str());
    throw Failure(file + ": write error");
  }
}

std::unique_ptr<regtree> readTreeFile(const std::string& file) {
  std::unique_ptr<fvistream> in;
  try {
    in.reset(new fvistream(file.c_str()));
  } catch (InternalException* e) {
    throw Failure(takeMessage(e));
  }
  Persistable::readyToSerialize();
  regtree* raw = 0;
  try {
    *in >> raw;
  } catch (InternalException* e) {
    throw Failure(file + ": " + takeMessage(e));
  }
  std::unique_ptr<regtree> tree(raw);
  if (!tree || !in->good()) {
    throw Failure(file + ": no whole registry tree in the file (it ends early or is damaged; "
                  "'tobrel dump " + file + "' shows where)");
  }
  return tree;
}

void restoreTreeChecked(regtree& tree, const std::string& target) {
  RegistryBatch batch(true);
  {
    Progress progress;
    restoreTree(tree, progress, "restoring " + target);
  }
  const std::string subkey(tree.getSubKey().c_str(), tree.getSubKey().size());
  Mismatch missing = compareWithRegistry(tree.getTopkey(), tree.getKey(), subkey);
  if (missing.keys || missing.values) {
    // Leaving the batch without commit undoes the restore in the registry store.
    throw Failure(target + ": " + describeMissing(missing) +
                  " could not be written (the first: " + missing.first +
                  "); read-only keys refuse writes, and names that the registry holds as one name (they "
                  "differ in case, or in codes of the same character) keep only one of their values");
  }
  commitOrFail(batch, target);
}

void removeTreeChecked(const RegistryPath& path) {
  RegistryBatch batch(true);
  regtree tree(path.root, path.subkey.c_str());
  tree.remove();
  if (keyExists(path.root, path.subkey)) {
    throw Failure(path.text() + ": could not be removed completely; read-only keys refuse deletion");
  }
  commitOrFail(batch, path.text());
}

}  // namespace cli
}  // namespace tobrel
