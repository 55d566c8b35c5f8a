#include "TobrelTools/persist/ClassFactory.h"

#include "TobrelTools/export.h"
#include "TobrelTools/persist/globals.h"

TOBREL_MODULE_ID("ClassFactory.cpp", "2026.12.05");

ClassFactory::ClassFactory() {}
ClassFactory::ClassFactory(const ClassFactory& other) : table_(other.table_) {}
ClassFactory& ClassFactory::operator=(const ClassFactory& other) {
  table_ = other.table_;
  return *this;
}
ClassFactory::~ClassFactory() {}

ClassFactory* ClassFactory::getInstance() { return tobrel::theFactoryManager.get(); }

ClassFactory::Associators::iterator ClassFactory::find(unsigned short id) {
  Associators::iterator it = table_.begin();
  while (it != table_.end() && !(*it == id)) ++it;
  return it;
}

void ClassFactory::add(unsigned short id, PersistableCreator creator) {
  if (find(id) == table_.end()) table_.push_back(IdAndCreator(id, creator));
}

Persistable* ClassFactory::create(unsigned short id) {
  Associators::iterator it = find(id);
  if (it == table_.end() || it->creator() == nullptr) return nullptr;
  return it->creator()();
}

const ClassFactory::Associators& ClassFactory::getAssociators() const { return table_; }

void ClassFactory::setAssociators(const Associators& table) { table_ = table; }
