#include "TobrelTools/registry/internal/read_typed.h"

#include <cstdio>

#include "TobrelTools/export.h"
#include "TobrelTools/persist/DupChecker.h"
#include "TobrelTools/persist/InternalException.h"
#include "TobrelTools/stream/vios.h"

TOBREL_MODULE_ID("read_typed.cpp", "2026.12.05");

namespace tobrel {

unsigned int recordedCount() { return DupChecker::getInstance()->entries(); }

bool createdSince(unsigned int before, const Persistable* obj) {
  DupChecker* checker = DupChecker::getInstance();
  return obj && checker->entries() > before &&
         checker->get(static_cast<int>(before)) == obj;
}

void failRead(vistream& is, const std::string& msg) {
  is.clear(is.rdstate() | vios::failbit);
  throw new InternalException(msg);
}

std::string classIdText(unsigned short id) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned int>(id));
  return text;
}

Persistable* readOfKind(vistream& is, const char* name, bool (*isKind)(const Persistable*)) {
  unsigned int before = recordedCount();
  Persistable* obj = 0;
  is >> obj;
  if (obj && !isKind(obj)) {
    unsigned short id = obj->isA();
    if (createdSince(before, obj)) delete obj;
    failRead(is, std::string(name) + ": the stream holds class id " + classIdText(id) +
                     " where a " + name + " was expected");
  }
  return obj;
}

}  // namespace tobrel
