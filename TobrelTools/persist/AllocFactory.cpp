#include "TobrelTools/persist/AllocFactory.h"
#include "TobrelTools/export.h"

#include <cstdlib>

TOBREL_MODULE_ID("AllocFactory.cpp", "2026.12.05");

AllocFactory::~AllocFactory() {}

AllocFactory* AllocFactory::getInstance() {
  // Never deleted: strings may be released by static destructors that run
  // after this function's own statics would be gone.
  static AllocFactory* const instance = new AllocFactory();
  return instance;
}

void* AllocFactory::instance(int size) {
  if (size < 0) return nullptr;
  return std::malloc(size == 0 ? 1 : static_cast<std::size_t>(size));
}

void AllocFactory::erase(void* block) { std::free(block); }

AllocManager::~AllocManager() { retire(); }
AllocFactory* AllocManager::get() { return static_cast<AllocFactory*>(getOrAdd()); }
void* AllocManager::newValue() { return new AllocFactory(); }
void AllocManager::deleteValue(void* value) { delete static_cast<AllocFactory*>(value); }
