// Internal: the library's two global per-thread holders. Each is made on its
// first use and destroyed at process end, in the reverse order of making
// (which frees its slot and deletes no thread's object). The library's entry
// point (tools.cpp) makes both during static initialisation, the factory's
// holder first, before it registers the library's classes.
#ifndef TOBRELTOOLS_PERSIST_INTERNAL_GLOBALS_H_
#define TOBRELTOOLS_PERSIST_INTERNAL_GLOBALS_H_

#include "TobrelTools/persist/ClassFactory.h"
#include "TobrelTools/persist/DupChecker.h"

namespace tobrel {

FactoryManager& theFactoryManager();        // ClassFactory.cpp
DupCheckerManager& theDupCheckerManager();  // DupChecker.cpp

}  // namespace tobrel

#endif  // TOBRELTOOLS_PERSIST_INTERNAL_GLOBALS_H_
