#include "TobrelTools/registry/regelm.h"

#include <new>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/internal/thread_end.h"
#include "TobrelTools/registry/internal/read_typed.h"

TOBREL_MODULE_ID("regelm.cpp", "2026.12.05");

regelm::~regelm() {}

unsigned short regelm::isA() const { return regelm_id; }
unsigned short regelm::getClassId() { return regelm_id; }

void regelm::restoreContents(vistream&) {}
void regelm::saveContents(vostream&) const {}

std::tstring& regelm::getName() {
  // Writable, so it cannot be shared between threads; emptied on each call
  // in case a caller wrote into it. One per thread, released at the thread's
  // end (see thread_end.h for why this is not a thread_local).
  static tobrel::ThreadEndSlot slot([](void* p) { delete static_cast<std::tstring*>(p); });
  std::tstring* scratch = static_cast<std::tstring*>(slot.get());
  if (scratch == nullptr) {
    scratch = new std::tstring();
    if (!slot.set(scratch)) {
      delete scratch;
      throw std::bad_alloc();
    }
  }
  scratch->erase();
  return *scratch;
}

const std::tstring& regelm::getName() const {
  static const std::tstring empty;
  return empty;
}

void regelm::restore(CRegistry&) {}
void regelm::remove(CRegistry&) {}
void regelm::deleteMe() {}
regelm* regelm::spawn() { return 0; }
std::tstring regelm::toString() { return std::tstring(); }

Persistable* regelm_create() { return new regelm; }

vostream& operator<<(vostream& os, const regelm& obj) {
  obj.save(os);
  return os;
}

vostream& operator<<(vostream& os, const regelm* obj) {
  return os << static_cast<const Persistable*>(obj);
}

vistream& operator>>(vistream& is, regelm& obj) {
  return is >> static_cast<Persistable&>(obj);
}

vistream& operator>>(vistream& is, regelm*& obj) {
  return tobrel::readTyped(is, obj, "regelm");
}
