// String resources of loaded modules: GetModuleHandleA and LoadStringA.
//
// On Windows these are the system's own. Elsewhere a module handle is the
// address at which a loaded object (the executable or a shared library) is
// mapped, i.e. its ELF header, as the dynamic linker's link map and dladdr
// report it (dli_fbase) -- the counterpart of a Windows module handle, which
// is the image base. The string tables come from resource scripts compiled
// with the CMake function tobrel_add_string_resources: the generated code
// registers its table at load time under the module that contains it (found
// with dladdr on an object of the generated code) and withdraws it at unload,
// so GetModuleHandleA(NULL) finds the executable's strings and a shared
// library's strings are found under that library's handle.
#ifndef TOBRELTOOLS_PLATFORM_STRRES_H_
#define TOBRELTOOLS_PLATFORM_STRRES_H_

#include <stddef.h>

#include "TobrelTools/export.h"

#if !defined(_WIN32)
#include "TobrelTools/platform/win32_types.h"

// One string of a module's string table (as generated code lays it out).
struct TobrelStringResource {
  unsigned int id;
  const char* text;     // the bytes of the script, not terminated
  unsigned int length;
};

extern "C" {

// The handle of a loaded module. NULL gives the executable. A name matches
// a loaded object whose file name is the name itself, or the name with a
// ".dll" or ".so" ending, or with "lib" before it and ".so" (with or without
// a version) after it: "TobrelTools" and "TobrelTools.dll" both find
// libTobrelTools.so.1. NULL when no loaded object matches.
TOBREL_API HMODULE GetModuleHandleA(LPCSTR moduleName);

// Copies string id of module into buffer: at most size - 1 bytes and a NUL.
// Returns the number of bytes copied (without the NUL), 0 when the module has
// no such string or an empty one (the buffer then holds the empty text),
// and 0 without writing anything when buffer is null or size is 0 or less. A NULL module means the executable. A
// string longer than the buffer is cut at size - 1 bytes even inside a
// double-byte character, as Windows cuts it: the result may end with a lone
// lead byte.
TOBREL_API int LoadStringA(HINSTANCE module, unsigned int id, LPSTR buffer, int size);

// Used by generated code: registers count strings under the module that
// contains anchor and returns a registration for the unregistering call.
// Where two tables of one module hold the same id, the first one registered
// is found.
TOBREL_API void* tobrel_register_string_resources(const void* anchor,
                                                  const TobrelStringResource* table,
                                                  size_t count);
TOBREL_API void tobrel_unregister_string_resources(void* registration);

}  // extern "C"

#endif  // !_WIN32
#endif  // TOBRELTOOLS_PLATFORM_STRRES_H_
