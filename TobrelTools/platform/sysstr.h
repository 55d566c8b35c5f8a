// OLE system strings (BSTR) under their Windows names, for hosts that are not
// Windows (on Windows the real calls of <oleauto.h> are used).
//
// A system string is a zero-terminated array of 16-bit units with its length
// in bytes, a 32-bit count, stored just before the first unit; the BSTR
// points at the first unit. So a BSTR can be read as ordinary wide text, and
// it may also hold zero units of its own (SysStringLen counts them).
// Allocation failures give a null BSTR; a null BSTR is the empty string to
// every reader here, and SysFreeString(0) does nothing.
#ifndef TOBRELTOOLS_PLATFORM_SYSSTR_H_
#define TOBRELTOOLS_PLATFORM_SYSSTR_H_

#if !defined(_WIN32)

#include "TobrelTools/export.h"
#include "TobrelTools/platform/win32_types.h"

extern "C" {

// A new system string holding a copy of the zero-terminated text s; null
// when s is null or memory is exhausted.
TOBREL_API BSTR SysAllocString(const unsigned short* s);
// A new system string of len units: a copy of the first len units of s, or
// len zero units when s is null. Null when memory is exhausted or the byte
// count does not fit in 32 bits.
TOBREL_API BSTR SysAllocStringLen(const unsigned short* s, unsigned int len);
// Releases a system string made by the functions above; nothing for null.
TOBREL_API void SysFreeString(BSTR b);
// The length in units (from the stored count); 0 for null.
TOBREL_API unsigned int SysStringLen(BSTR b);
// The length in bytes (the stored count); 0 for null.
TOBREL_API unsigned int SysStringByteLen(BSTR b);

}  // extern "C"

#endif  // !_WIN32
#endif  // TOBRELTOOLS_PLATFORM_SYSSTR_H_
