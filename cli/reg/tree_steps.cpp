#include "cli/reg/tree_steps.h"

#include <cstring>
#include <unordered_map>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/cp932.h"
#include "TobrelTools/platform/platform.h"
#include "cli/progress.h"
#include "cli/reg/name_key.h"

TOBREL_MODULE_ID("tree_steps.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

namespace {

// How many levels from the top are walked here; each subtree below is one
// library call.
const int kSteppedLevels = 2;

const regkey_t* asKey(const regelm* e) { return dynamic_cast<const regkey_t*>(e); }
const regval_t* asValue(const regelm* e) { return dynamic_cast<const regval_t*>(e); }

class Walk {
 public:
  Walk(Progress& progress, const std::string& what, unsigned long long total)
      : progress_(progress), what_(what), total_(total) {}

  void load(HKEY parent, std::tstring& name, regkey_t& key, int level) {
    if (level >= kSteppedLevels) {
      regtree::load(parent, name, key);
      add(countTree(key));
      return;
    }
    CRegistry reg(parent, name.c_str());
    regkey_t scratch;
    for (unsigned long i = 0; reg.enumKey(i, scratch); ++i) {
      regkey_t* child = new regkey_t(scratch);
      key.addElements(child);
      load(reg.getKey(), child->getName(), *child, level + 1);
      ++done_.keys;
      show();
    }
    regval_t value;
    for (unsigned long i = 0; reg.enumValue(i, value); ++i) {
      key.addElements(new regval_t(value));
      ++done_.values;
    }
    show();
  }

  void restore(CRegistry& parent, regkey_t& key, int level) {
    if (level >= kSteppedLevels) {
      key.restore(parent);
      TreeCounts below = countTree(key);
      done_.keys += below.keys + 1;
      done_.values += below.values;
      show();
      return;
    }
    CRegistry reg(parent.getKey(), 0);
    if (!reg.create(key, 0)) return;
    if (level > 0) ++done_.keys;
    for (regelm* e : key.getElements()) {
      if (regkey_t* child = dynamic_cast<regkey_t*>(e)) {
        restore(reg, *child, level + 1);
      } else {
        e->restore(reg);
        ++done_.values;
      }
    }
    show();
  }

 private:
  void add(const TreeCounts& c) {
    done_.keys += c.keys;
    done_.values += c.values;
  }
  void show() {
    if (!progress_.due()) return;
    std::string line = what_ + ": " + std::to_string(done_.keys);
    if (total_) line += " of " + std::to_string(total_);
    line += " keys, " + std::to_string(done_.values) + " values";
    progress_.update(line);
  }

  Progress& progress_;
  std::string what_;
  unsigned long long total_;
  TreeCounts done_;
};

// Narrow text as UTF-16 units, NULs kept, by the library's code page 932
// conversion (the registry's ANSI calls convert the same way).
std::vector<unsigned short> wide(const char* text, std::size_t size) {
  selectJapaneseLocale();
  std::vector<unsigned short> out;
  for (std::size_t start = 0; start <= size;) {
    const char* nul = static_cast<const char*>(std::memchr(text + start, '\0', size - start));
    std::string piece(text + start, nul ? static_cast<std::size_t>(nul - text) - start : size - start);
    std::size_t n = cp932ToWide(nullptr, piece.c_str(), 0);
    std::vector<unsigned short> units(n + 1, 0);
    cp932ToWide(units.data(), piece.c_str(), n + 1);
    out.insert(out.end(), units.begin(), units.begin() + static_cast<std::ptrdiff_t>(n));
    if (!nul) break;
    out.push_back(0);
    start = static_cast<std::size_t>(nul - text) + 1;
  }
  return out;
}

// Text as the registry gives it back: converted to UTF-16 and back.
std::string registryText(const char* text, std::size_t size) {
  std::vector<unsigned short> units = wide(text, size);
  std::string out;
  for (std::size_t start = 0; start <= units.size();) {
    std::size_t end = start;
    while (end < units.size() && units[end] != 0) ++end;
    std::vector<unsigned short> piece(units.begin() + static_cast<std::ptrdiff_t>(start),
                                      units.begin() + static_cast<std::ptrdiff_t>(end));
    piece.push_back(0);
    std::size_t n = wideToCp932(nullptr, piece.data(), 0);
    std::string bytes(n + 1, '\0');
    bytes.resize(wideToCp932(&bytes[0], piece.data(), n + 1));
    out += bytes;
    if (end == units.size()) break;
    out += '\0';
    start = end + 1;
  }
  return out;
}

// Whether the registry holds `expected` as `actual`: the data of the string
// types as the ANSI calls convert it, with the NUL that Windows may count
// after a text given without one.
bool sameData(const regval_t& expected, const regval_t& actual) {
  if (expected.getType() != actual.getType()) return false;
  std::string want(static_cast<const char*>(expected.getData()), static_cast<std::size_t>(expected.getDataSize()));
  std::string got(static_cast<const char*>(actual.getData()), static_cast<std::size_t>(actual.getDataSize()));
  DWORD type = expected.getType();
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return want == got;
  want = registryText(want.data(), want.size());
  return want == got || (!want.empty() && want.back() != '\0' && want + '\0' == got);
}

void compareLevel(const regkey_t& expected, const regkey_t& actual, const std::string& path, Mismatch& out) {
  auto note = [&out](const std::string& where) {
    if (out.first.empty()) out.first = where;
  };
  // The registry's elements by the registry's key of their names (keys and
  // values apart): one look-up per element of the snapshot.
  std::unordered_map<std::string, const regkey_t*> actualKeys;
  std::unordered_map<std::string, const regval_t*> actualValues;
  for (const regelm* a : actual.getElements()) {
    if (const regkey_t* ak = asKey(a)) {
      actualKeys.emplace(registryNameKey(ak->getName()), ak);
    } else if (const regval_t* av = asValue(a)) {
      actualValues.emplace(registryNameKey(av->getName()), av);
    }
  }
  for (const regelm* e : expected.getElements()) {
    const std::string name(e->getName().c_str(), e->getName().size());
    if (const regkey_t* k = asKey(e)) {
      auto at = actualKeys.find(registryNameKey(k->getName()));
      const regkey_t* found = at == actualKeys.end() ? nullptr : at->second;
      if (!found) {
        TreeCounts below = countTree(*k);
        out.keys += below.keys + 1;
        out.values += below.values;
        note(path + "\\" + name);
        continue;
      }
      compareLevel(*k, *found, path + "\\" + name, out);
    } else if (const regval_t* v = asValue(e)) {
      auto at = actualValues.find(registryNameKey(v->getName()));
      const regval_t* found = at == actualValues.end() ? nullptr : at->second;
      if (!found || !sameData(*v, *found)) {
        ++out.values;
        note(path + " value \"" + name + "\"");
      }
    }
  }
}

}  // namespace

TreeCounts countTree(const regkey_t& key) {
  TreeCounts counts;
  for (const regelm* e : key.getElements()) {
    if (const regkey_t* k = asKey(e)) {
      TreeCounts below = countTree(*k);
      counts.keys += below.keys + 1;
      counts.values += below.values;
    } else if (asValue(e)) {
      ++counts.values;
    }
  }
  return counts;
}

std::string describeCounts(const TreeCounts& counts) {
  return std::to_string(counts.keys) + (counts.keys == 1 ? " key and " : " keys and ") +
         std::to_string(counts.values) + (counts.values == 1 ? " value" : " values");
}

void loadTree(regtree& tree, Progress& progress, const std::string& what) {
  // As regtree::load: the top key takes the subkey's name, then the subtree
  // is appended below it.
  regkey_t& top = tree.getTopkey();
  top.setName(tree.getSubKey());
  std::tstring name = tree.getSubKey();
  Walk(progress, what, 0).load(tree.getKey(), name, top, 0);
  progress.finish();
}

void restoreTree(regtree& tree, Progress& progress, const std::string& what) {
  // As regtree::restore: the root key itself is the parent, and the top key,
  // named after the subkey, is created below it with the whole snapshot.
  CRegistry root(tree.getKey(), "");
  regkey_t& top = tree.getTopkey();
  top.setName(tree.getSubKey());
  Walk(progress, what, countTree(top).keys).restore(root, top, 0);
  progress.finish();
}

bool keyExists(HKEY root, const std::string& subkey) {
  CRegistry reg(root, subkey.c_str());
  return static_cast<bool>(reg);
}

Mismatch compareWithRegistry(const regkey_t& expected, HKEY root, const std::string& subkey) {
  regtree actual(root, subkey.c_str());
  actual.load();
  Mismatch out;
  if (!keyExists(root, subkey)) {
    TreeCounts all = countTree(expected);
    out.keys = all.keys + 1;
    out.values = all.values;
    out.first = subkey;
    return out;
  }
  compareLevel(expected, actual.getTopkey(), subkey, out);
  return out;
}

}  // namespace cli
}  // namespace tobrel
