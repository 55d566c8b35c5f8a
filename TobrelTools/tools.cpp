// The library's entry point, and the one file that knows every module: it
// registers the library's persistable classes, which live in modules above
// the persistence machinery that creates them.
//
// Load, unload and thread notifications only report success: every piece
// of set-up is static initialisation, and per-thread objects come into
// being on first use. That set-up is all in this one file, so that its
// order never depends on the order in which the linker places object
// files: first the two global per-thread holders, then the class
// registrations, which land in the loading thread's class factory. At
// process end the registrars do nothing and the holders are destroyed in
// reverse order, freeing their slots without deleting any thread's object.
//
// Whatever is linked from the library's objects links this one too (the
// unit tests of internals included): nothing refers to it by name, so an
// archive would leave it, and the registrations, out.
#include "TobrelTools/export.h"
#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/Persistable.h"
#include "TobrelTools/persist/internal/globals.h"
#include "TobrelTools/registry/reg.h"
#include "TobrelTools/string/tstring.h"

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

TOBREL_MODULE_ID("tools.cpp", "2026.12.05");

namespace {

// Makes the global holders, the class factory's first.
struct HolderMaker {
  HolderMaker() {
    tobrel::theFactoryManager();
    tobrel::theDupCheckerManager();
  }
};

// Registers one class with the loading thread's factory.
struct ClassRegistrar {
  ClassRegistrar(unsigned short id, PersistableCreator creator) {
    ClassFactory::getInstance()->add(id, creator);
  }
};

const HolderMaker holders;
// The library's classes, in this order.
const ClassRegistrar persistableRegistrar(Persistable::getClassId(), &Persistable_create);
const ClassRegistrar regkeyRegistrar(regkey_t::getClassId(), &regkey_t_create);
const ClassRegistrar regvalRegistrar(regval_t::getClassId(), &regval_t_create);
const ClassRegistrar regtreeRegistrar(regtree::getClassId(), &regtree_create);
const ClassRegistrar regelmRegistrar(regelm::getClassId(), &regelm_create);
const ClassRegistrar tstringRegistrar(std::tstring::getClassId(), &tstring_create);

}  // namespace
