// The library's static initialisation, all in this one file so that its
// order never depends on the order in which the linker places object files:
// first the two global per-thread holders, then the class registrations,
// which already use the loading thread's class factory. At process end the
// registrars do nothing and the holders are destroyed in reverse order,
// freeing their slots without deleting any thread's object.
#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/export.h"
#include "TobrelTools/persist/InstanceManager.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/persist/globals.h"
#include "TobrelTools/registry/reg.h"
#include "TobrelTools/string/tstring.h"

TOBREL_MODULE_ID("startup.cpp", "2026.12.05");

namespace tobrel {

FactoryManager theFactoryManager;
DupCheckerManager theDupCheckerManager;

namespace {

// Registers one class with the loading thread's factory.
struct ClassRegistrar {
  ClassRegistrar(unsigned short id, PersistableCreator creator) {
    ClassFactory::getInstance()->add(id, creator);
  }
};

// The library's classes, in this order. Each class module exports its
// creator; add each registration at its marked place, keeping the order.
const ClassRegistrar persistableRegistrar(Persistable::getClassId(), &Persistable_create);
const ClassRegistrar regkeyRegistrar(regkey_t::getClassId(), &regkey_t_create);
const ClassRegistrar regvalRegistrar(regval_t::getClassId(), &regval_t_create);
const ClassRegistrar regtreeRegistrar(regtree::getClassId(), &regtree_create);
const ClassRegistrar regelmRegistrar(regelm::getClassId(), &regelm_create);
const ClassRegistrar tstringRegistrar(std::tstring::getClassId(), &tstring_create);

}  // namespace
}  // namespace tobrel
