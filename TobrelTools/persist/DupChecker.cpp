#include "TobrelTools/persist/DupChecker.h"

#include "TobrelTools/export.h"
#include "TobrelTools/persist/globals.h"

TOBREL_MODULE_ID("DupChecker.cpp", "2026.12.05");

DupChecker::DupChecker() {}
DupChecker::DupChecker(const DupChecker& other) : objects_(other.objects_), indexOf_(other.indexOf_) {}
DupChecker& DupChecker::operator=(const DupChecker& other) {
  objects_ = other.objects_;
  indexOf_ = other.indexOf_;
  return *this;
}
DupChecker::~DupChecker() {}

DupChecker* DupChecker::getInstance() { return tobrel::theDupCheckerManager.get(); }

void DupChecker::destroyInstance() { tobrel::theDupCheckerManager.freeValue(); }

int DupChecker::add(const Persistable* obj) {
  const int next = static_cast<int>(objects_.size());
  // One probe: either finds the earlier index or claims the next one
  // (try_emplace allocates nothing when the object is already recorded).
  std::pair<std::unordered_map<const Persistable*, int>::iterator, bool> slot = indexOf_.try_emplace(obj, next);
  if (!slot.second) return slot.first->second;
  try {
    objects_.push_back(obj);
  } catch (...) {
    indexOf_.erase(slot.first);  // keep the two in step when the append fails
    throw;
  }
  return -1;
}

Persistable* DupChecker::get(int index) const {
  if (static_cast<unsigned int>(index) >= objects_.size()) return nullptr;
  return const_cast<Persistable*>(objects_[static_cast<unsigned int>(index)]);
}

unsigned int DupChecker::entries() const { return static_cast<unsigned int>(objects_.size()); }

void DupChecker::clear() {
  std::vector<const Persistable*>().swap(objects_);
  std::unordered_map<const Persistable*, int>().swap(indexOf_);
}
