// Windows types and constants for hosts that are not Windows.
//
// DWORD and LONG are `unsigned long` and `long`, as on Windows, so that code
// passing an `unsigned long*` where Windows takes an LPDWORD compiles the same
// on both hosts; on 64-bit Linux they are wider than 32 bits, which only
// matters for size words in memory, never for data on disk or in the registry
// store (REG_DWORD data is 4 bytes everywhere). FILETIME keeps the Windows
// layout: two 32-bit words, low word first.
#ifndef TOBRELTOOLS_PLATFORM_WIN32_TYPES_H_
#define TOBRELTOOLS_PLATFORM_WIN32_TYPES_H_

#if defined(_WIN32)
#error "win32_types.h is the emulation for hosts that are not Windows"
#endif

#include <cstdint>

#ifndef __int64
#define __int64 long long
#endif

typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef long LONG;
typedef int BOOL;
typedef unsigned short* BSTR;
typedef BYTE* LPBYTE;
typedef DWORD* LPDWORD;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* LPVOID;
typedef DWORD REGSAM;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

struct HKEY__ { int unused; };
typedef HKEY__* HKEY;
typedef HKEY* PHKEY;
struct HINSTANCE__ { int unused; };
typedef HINSTANCE__* HINSTANCE;
typedef HINSTANCE HMODULE;

struct FILETIME {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

// The predefined roots carry the Windows handle values, sign-extended to
// pointer width as 64-bit Windows does, so that a handle written as 32 bits
// and read back names the same root.
#define TOBREL_PREDEFINED_HKEY(v) ((HKEY)(std::intptr_t)(std::int32_t)(v))
#define HKEY_CLASSES_ROOT TOBREL_PREDEFINED_HKEY(0x80000000u)
#define HKEY_CURRENT_USER TOBREL_PREDEFINED_HKEY(0x80000001u)
#define HKEY_LOCAL_MACHINE TOBREL_PREDEFINED_HKEY(0x80000002u)
#define HKEY_USERS TOBREL_PREDEFINED_HKEY(0x80000003u)

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define DELETE 0x00010000L
#define WRITE_DAC 0x00040000L
#define WRITE_OWNER 0x00080000L
#define MAXIMUM_ALLOWED 0x02000000L
#define GENERIC_ALL 0x10000000L
#define GENERIC_EXECUTE 0x20000000L
#define GENERIC_WRITE 0x40000000L
#define GENERIC_READ 0x80000000L

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11
#define REG_QWORD_LITTLE_ENDIAN 11

#define REG_OPTION_NON_VOLATILE 0
#define REG_OPTION_VOLATILE 1
#define REG_CREATED_NEW_KEY 1
#define REG_OPENED_EXISTING_KEY 2

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_BUSY 170L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_NOACCESS 998L
#define ERROR_BADDB 1009L
#define ERROR_BADKEY 1010L
#define ERROR_CANTOPEN 1011L
#define ERROR_CANTREAD 1012L
#define ERROR_CANTWRITE 1013L
#define ERROR_REGISTRY_CORRUPT 1015L
#define ERROR_REGISTRY_IO_FAILED 1016L
#define ERROR_KEY_DELETED 1018L

#endif  // TOBRELTOOLS_PLATFORM_WIN32_TYPES_H_
