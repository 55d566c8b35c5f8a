// The class factory: maps a 16-bit class id to a creator, a function that
// makes a new default-constructed object of that class. Persistable::restore
// asks it for an object whenever a stream holds an object record.
//
// Each thread has its own factory (see InstanceManager.h). The library
// registers its own classes at start-up on the thread that loads it; another
// thread starts with an empty table and receives the classes with
//
//   ClassFactory::getInstance()->setAssociators(tableFromLoadingThread);
//
// A thread's factory is released when the thread ends; the loading thread's
// stays until the process ends.
//
// Lookups by id go through an index of the table (two levels of 256 ids,
// made as ids are registered), so a lookup costs the same whatever the
// table holds; the table itself keeps registration order.
#ifndef TOBRELTOOLS_PERSIST_CLASSFACTORY_H_
#define TOBRELTOOLS_PERSIST_CLASSFACTORY_H_

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/InstanceManager.h"

class Persistable;

// A creator: returns a new object of one class, or null when it cannot.
typedef Persistable* (*PersistableCreator)();

// One table entry: (class id, creator), laid out as the standard pair.
// Entries compare equal when their ids are equal; creators are not compared.
class TOBREL_API IdAndCreator : public std::pair<unsigned short, PersistableCreator> {
 public:
  typedef std::pair<unsigned short, PersistableCreator> pair_type;

  IdAndCreator() : pair_type(0, nullptr) {}
  IdAndCreator(unsigned short id, PersistableCreator creator) : pair_type(id, creator) {}
  IdAndCreator(const IdAndCreator& other) : pair_type(other) {}
  IdAndCreator& operator=(const IdAndCreator& other) {
    pair_type::operator=(other);
    return *this;
  }

  unsigned short id() const { return first; }
  void id(unsigned short id) { first = id; }
  PersistableCreator creator() const { return second; }
  void creator(PersistableCreator creator) { second = creator; }

  bool operator==(IdAndCreator other) const { return first == other.first; }
  bool operator==(unsigned short id) const { return first == id; }
};

class TOBREL_API ClassFactory {
 public:
  typedef std::vector<IdAndCreator> Associators;

  ClassFactory();
  ClassFactory(const ClassFactory& other);
  ClassFactory& operator=(const ClassFactory& other);
  virtual ~ClassFactory();

  // The calling thread's factory, made empty on the thread's first call.
  static ClassFactory* getInstance();

  // Appends (id, creator) unless id is already registered: the first
  // registration of an id wins, later ones are ignored silently.
  void add(unsigned short id, PersistableCreator creator);
  // A new object from the creator registered for id; null when id is not
  // registered or the creator returns null. A creator's exception passes.
  Persistable* create(unsigned short id);

  // The table in registration order.
  const Associators& getAssociators() const;
  // Replaces the whole table by a copy of the given one.
  void setAssociators(const Associators& table);

 protected:
  // The entry for id, or the end of the table.
  Associators::iterator find(unsigned short id);

 private:
  // Position + 1 in table_ of the first entry for each id, 0 for none.
  typedef std::unique_ptr<std::uint32_t[]> IndexPage;

  std::uint32_t positionOf(unsigned short id) const {
    const IndexPage& page = index_[id >> 8];
    return page ? page[id & 0xFF] : 0;
  }
  // Enters table_[position] unless its id has an entry already.
  void indexEntry(std::size_t position);
  void reindex();

  Associators table_;
  IndexPage index_[256];
};

// The per-thread holder (see InstanceManager.h) of each thread's factory;
// ClassFactory::getInstance goes through the library's one.
class TOBREL_API FactoryManager : public InstanceManager {
 public:
  FactoryManager() {}
  ~FactoryManager() override;
  ClassFactory* get();  // the calling thread's factory, made empty on first use

 protected:
  void* newValue() override;
  void deleteValue(void* value) override;
};

#endif  // TOBRELTOOLS_PERSIST_CLASSFACTORY_H_
