// Thread-local storage slots under their Windows names, for hosts that are
// not Windows (on Windows the real calls of <windows.h> are used).
//
// A slot holds one pointer per thread; every thread sees null until it stores
// a value. TlsAlloc returns TLS_OUT_OF_INDEXES when no slot is left. TlsFree
// releases the slot without touching the values threads stored in it, and a
// thread's value is never released when the thread ends: whoever stores a
// value owns it. The slot indices are those of POSIX thread keys.
#ifndef TOBRELTOOLS_PLATFORM_TLS_H_
#define TOBRELTOOLS_PLATFORM_TLS_H_

#if !defined(_WIN32)

#include "TobrelTools/export.h"
#include "TobrelTools/platform/win32_types.h"

#ifndef TLS_OUT_OF_INDEXES
#define TLS_OUT_OF_INDEXES ((DWORD)0xFFFFFFFF)
#endif

extern "C" {

// A new slot, null in every thread, or TLS_OUT_OF_INDEXES.
TOBREL_API DWORD TlsAlloc(void);
// The calling thread's value in the slot; null when it stored none (or the
// index is not a live slot).
TOBREL_API LPVOID TlsGetValue(DWORD index);
// Stores the calling thread's value; FALSE when the index is not a live slot.
TOBREL_API BOOL TlsSetValue(DWORD index, LPVOID value);
// Releases the slot; FALSE when the index is not a live slot.
TOBREL_API BOOL TlsFree(DWORD index);

}  // extern "C"

#endif  // !_WIN32
#endif  // TOBRELTOOLS_PLATFORM_TLS_H_
