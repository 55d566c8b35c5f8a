#include "TobrelTools/persist/ClassFactory.h"

#include "TobrelTools/export.h"
#include "TobrelTools/persist/internal/globals.h"

TOBREL_MODULE_ID("ClassFactory.cpp", "2026.12.05");

ClassFactory::ClassFactory() {}
ClassFactory::ClassFactory(const ClassFactory& other) : table_(other.table_) { reindex(); }
ClassFactory& ClassFactory::operator=(const ClassFactory& other) {
  if (this != &other) setAssociators(other.table_);
  return *this;
}
ClassFactory::~ClassFactory() {}

FactoryManager& tobrel::theFactoryManager() {
  static FactoryManager holder;
  return holder;
}

FactoryManager::~FactoryManager() { retire(); }
ClassFactory* FactoryManager::get() { return static_cast<ClassFactory*>(getOrAdd()); }
void* FactoryManager::newValue() { return new ClassFactory(); }
void FactoryManager::deleteValue(void* value) { delete static_cast<ClassFactory*>(value); }

ClassFactory* ClassFactory::getInstance() { return tobrel::theFactoryManager().get(); }

void ClassFactory::indexEntry(std::size_t position) {
  const unsigned short id = table_[position].id();
  IndexPage& page = index_[id >> 8];
  if (!page) page.reset(new std::uint32_t[256]());
  if (page[id & 0xFF] == 0) page[id & 0xFF] = static_cast<std::uint32_t>(position + 1);
}

void ClassFactory::reindex() {
  for (IndexPage& page : index_) page.reset();
  for (std::size_t i = 0; i < table_.size(); ++i) indexEntry(i);
}

ClassFactory::Associators::iterator ClassFactory::find(unsigned short id) {
  const std::uint32_t position = positionOf(id);
  return position ? table_.begin() + (position - 1) : table_.end();
}

void ClassFactory::add(unsigned short id, PersistableCreator creator) {
  if (positionOf(id)) return;
  // The index page first: if it cannot be made, the table is unchanged.
  IndexPage& page = index_[id >> 8];
  if (!page) page.reset(new std::uint32_t[256]());
  table_.push_back(IdAndCreator(id, creator));
  page[id & 0xFF] = static_cast<std::uint32_t>(table_.size());
}

Persistable* ClassFactory::create(unsigned short id) {
  const std::uint32_t position = positionOf(id);
  if (!position) return nullptr;
  PersistableCreator creator = table_[position - 1].creator();
  return creator ? creator() : nullptr;
}

const ClassFactory::Associators& ClassFactory::getAssociators() const { return table_; }

void ClassFactory::setAssociators(const Associators& table) {
  if (&table == &table_) return;
  Associators copy(table);
  table_.swap(copy);
  try {
    reindex();
  } catch (...) {
    table_.swap(copy);  // the old table, and an index made for it again
    reindex();
    throw;
  }
}
