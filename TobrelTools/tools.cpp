// The library's entry point. Load, unload and thread notifications only
// report success: every piece of set-up is static initialisation, and
// per-thread objects come into being on first use.
#include "TobrelTools/export.h"

#if defined(_WIN32)
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

TOBREL_MODULE_ID("tools.cpp", "2026.12.05");
