// Internal: the library's two global per-thread holders. Both are defined in
// startup.cpp, before the class registrations, so that they exist before the
// first registration uses them whatever order the linker chooses.
#ifndef TOBRELTOOLS_PERSIST_GLOBALS_H_
#define TOBRELTOOLS_PERSIST_GLOBALS_H_

#include "TobrelTools/persist/InstanceManager.h"

namespace tobrel {

extern FactoryManager theFactoryManager;
extern DupCheckerManager theDupCheckerManager;

}  // namespace tobrel

#endif  // TOBRELTOOLS_PERSIST_GLOBALS_H_
