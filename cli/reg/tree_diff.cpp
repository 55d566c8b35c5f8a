#include "cli/reg/tree_diff.h"

#include <cstring>
#include <map>

#include "TobrelTools/export.h"
#include "cli/reg/name_key.h"

TOBREL_MODULE_ID("tree_diff.cpp", "2026.12.06");

namespace tobrel {
namespace cli {

namespace {

std::string childPath(const std::string& parent, const std::tstring& name) {
  return parent.empty() ? std::string(name.data(), name.size()) : parent + "\\" + std::string(name.data(), name.size());
}

bool sameValue(const regval_t& a, const regval_t& b) {
  if (a.getType() != b.getType() || a.getDataSize() != b.getDataSize()) return false;
  return a.getDataSize() == 0 || std::memcmp(a.getData(), b.getData(), static_cast<std::size_t>(a.getDataSize())) == 0;
}

class Differ {
 public:
  std::vector<TreeDifference> result;

  void compare(const regkey_t& a, const regkey_t& b, const std::string& path) {
    // The elements of each side by kind and matching name.
    std::map<std::pair<bool, std::string>, const regelm*> inB;
    for (const regelm* e : b.getElements()) {
      if (e) inB.emplace(std::make_pair(isKey(e), registryNameKey(e->getName())), e);
    }
    std::map<std::pair<bool, std::string>, bool> matched;
    for (const regelm* e : a.getElements()) {
      if (!e) continue;
      const auto id = std::make_pair(isKey(e), registryNameKey(e->getName()));
      auto other = inB.find(id);
      if (other == inB.end()) {
        whole(TreeDifference::kRemoved, e, path);
        continue;
      }
      matched[id] = true;
      if (id.first) {
        const regkey_t& ka = static_cast<const regkey_t&>(*e);
        const regkey_t& kb = static_cast<const regkey_t&>(*other->second);
        const std::string sub = childPath(path, e->getName());
        if (ka.getClass() != kb.getClass()) {
          result.push_back({TreeDifference::kChanged, sub, nullptr, nullptr, &ka, &kb});
        }
        compare(ka, kb, sub);
      } else {
        const regval_t& va = static_cast<const regval_t&>(*e);
        const regval_t& vb = static_cast<const regval_t&>(*other->second);
        if (!sameValue(va, vb)) result.push_back({TreeDifference::kChanged, path, &va, &vb, nullptr, nullptr});
      }
    }
    for (const regelm* e : b.getElements()) {
      if (e && !matched.count(std::make_pair(isKey(e), registryNameKey(e->getName())))) {
        whole(TreeDifference::kAdded, e, path);
      }
    }
  }

 private:
  static bool isKey(const regelm* e) { return e->isA() == regkey_t::getClassId(); }

  // An element that only one side has, and all that it holds.
  void whole(TreeDifference::Change change, const regelm* e, const std::string& path) {
    const bool added = change == TreeDifference::kAdded;
    if (!isKey(e)) {
      const regval_t* v = static_cast<const regval_t*>(e);
      result.push_back({change, path, added ? nullptr : v, added ? v : nullptr, nullptr, nullptr});
      return;
    }
    const regkey_t* k = static_cast<const regkey_t*>(e);
    const std::string sub = childPath(path, e->getName());
    result.push_back({change, sub, nullptr, nullptr, added ? nullptr : k, added ? k : nullptr});
    for (const regelm* child : k->getElements()) {
      if (child) whole(change, child, sub);
    }
  }
};

}  // namespace

std::vector<TreeDifference> diffTrees(const regkey_t& before, const regkey_t& after) {
  Differ differ;
  differ.compare(before, after, "");
  return differ.result;
}

}  // namespace cli
}  // namespace tobrel
