// A shared library with a string table of its own, for the string resource
// tests: its strings are found under its module handle only.
#include "TobrelTools/platform/platform.h"
#include "TobrelTools/export.h"

TOBREL_MODULE_ID("strres_testlib.cpp", "2026.12.05");

#if defined(_WIN32)
#define STRRES_TESTLIB_API __declspec(dllexport)
#else
#define STRRES_TESTLIB_API __attribute__((visibility("default")))
#endif

// The library's own module handle, as the library itself sees it.
extern "C" STRRES_TESTLIB_API HMODULE strresTestLibraryModule() {
  return GetModuleHandleA("strres_testlib");
}
