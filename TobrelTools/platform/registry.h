// The Windows registry calls on hosts that are not Windows, backed by the
// library's persistent registry store (an SQLite database file shared by every
// process of the user), and the store's own controls.
//
// The calls behave as their Windows namesakes: same results, error codes and
// buffer rules. Points worth knowing:
// - Names and string data are kept as Windows keeps them: converted from
//   code page 932 to UTF-16 when set (bytes that form no character become
//   U+30FB; a character with two codes keeps one), given back converted to
//   code page 932 again (registry_names.h). Names are case-insensitive over
//   all of Unicode (each UTF-16 unit upper-cased) and case-preserving. Paths
//   are backslash-separated; repeated and trailing backslashes are ignored, a
//   leading one gives ERROR_BAD_PATHNAME. A path component holds at most 255
//   characters, a value name at most 16383 (ERROR_INVALID_PARAMETER beyond).
// - Subkeys enumerate in Windows' order (their upper-cased UTF-16 names
//   compared unit by unit), values in the order in which they were first
//   set. Enumerating n entries by rising index costs O(n) in all: each
//   handle remembers its last position until the registry changes.
// - String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) read back without a
//   NUL gets one after it when the buffer has room (not counted), as Windows
//   does. A text set without its NUL is stored as given: Windows would also
//   count a NUL that follows the data in the caller's memory, but reading
//   past the data given is not safe.
// - Handles are small integers (multiples of 4), valid in the process that
//   opened them (and in a child forked from it, see Fork below). A closed handle number is
//   reused only after many others were handed out.
// - Access rights are those of Windows: KEY_QUERY_VALUE to read or enumerate
//   values, KEY_ENUMERATE_SUB_KEYS to enumerate subkeys, KEY_SET_VALUE to set
//   or delete values, KEY_CREATE_SUB_KEY to create a subkey; GENERIC_* and
//   MAXIMUM_ALLOWED are mapped as Windows maps them. Read-only keys (see
//   registrySetReadOnly) stand in for Windows access control lists.
// - REG_OPTION_VOLATILE keys are accepted and stored like any other key (the
//   store has no notion of a boot to forget them at).
// - HKEY_CLASSES_ROOT is a key of its own, not a merged view of the Classes
//   keys of HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
// - Durability: every call that changes the registry is one transaction of
//   the store (SQLite, WAL journal, synchronous=NORMAL), committed before the
//   call returns and visible to every process from then on. A process killed
//   at any point loses nothing that was committed; a power failure may lose
//   the last commits but leaves the file consistent. Several processes may
//   use the store at once; a writer waits up to 10 seconds for another.
// - Fork: a process may fork at any time, and parent and child may both go
//   on using the registry, with or without exec; handles stay valid on both
//   sides. The library closes its database connections before the fork (a
//   pthread_atfork handler) and each side opens the store again at its next
//   call, so a fork waits for the registry calls and batches of other
//   threads to end. One exception: in a child forked by a thread that had a
//   RegistryBatch open, the registry cannot be used (every call fails with
//   ERROR_REGISTRY_IO_FAILED; exec still gives a fresh start), while the
//   parent's batch goes on unharmed. Forks that bypass pthread_atfork
//   (vfork, clone) must exec at once, as for any library.
// - The log: the -wal file beside the database is started over from its
//   beginning once it passes 8 MiB, when no transaction of another process
//   holds it up for more than 200 ms, and emptied once the writes stop; a
//   writer that finds it past 16 MiB waits until it is. Under sustained
//   writes it stays below 24 MiB plus one transaction of each process
//   writing at the time (each process looks at the log after each 8 MiB of
//   it and then waits, but what others commit meanwhile is already in it),
//   unless a transaction (such as a read RegistryBatch) stays open
//   throughout.
// - Errors of the store itself: ERROR_BUSY (another process held the
//   database longer than 10 seconds), ERROR_CANTOPEN (the file cannot be
//   created or opened), ERROR_CANTWRITE (disk full, read-only file),
//   ERROR_REGISTRY_CORRUPT / ERROR_BADDB (not a registry database, or damaged),
//   ERROR_REGISTRY_IO_FAILED (anything else).
#ifndef TOBRELTOOLS_PLATFORM_REGISTRY_H_
#define TOBRELTOOLS_PLATFORM_REGISTRY_H_

#include <string>

#include "TobrelTools/export.h"

#if defined(_WIN32)
#include "TobrelTools/platform/platform.h"
#else
#include "TobrelTools/platform/win32_types.h"

extern "C" {

TOBREL_API LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
TOBREL_API LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                                REGSAM samDesired, LPSECURITY_ATTRIBUTES lpSecurityAttributes, PHKEY phkResult,
                                LPDWORD lpdwDisposition);
TOBREL_API LONG RegCloseKey(HKEY hKey);
TOBREL_API LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                              LPSTR lpClass, LPDWORD lpcchClass, FILETIME* lpftLastWriteTime);
TOBREL_API LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                              LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
TOBREL_API LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                 LPDWORD lpcbData);
TOBREL_API LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                               DWORD cbData);
TOBREL_API LONG RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);
TOBREL_API LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Converts a FILETIME to MS-DOS date and time, as it stands (no time zone
// conversion). FALSE for times before 1980 or after 2107 and for null
// pointers.
TOBREL_API BOOL FileTimeToDosDateTime(const FILETIME* lpFileTime, WORD* lpFatDate, WORD* lpFatTime);

}  // extern "C"

namespace tobrel {

// Points the registry store at the database file `path`, or, for a null
// `path`, back at the default (TOBREL_REGISTRY, else
// ${XDG_DATA_HOME:-$HOME/.local/share}/TobrelTools/registry.db), read again
// at the next registry call. Every handle the process holds is closed; the
// file is opened (and created, mode 0600 in a 0700 folder) at the next call.
// Meant for tests and tools that work on a registry file of their own.
TOBREL_API void registryStoreReset(const char* path);

// The database file the registry calls use (or will use at their next call).
TOBREL_API std::string registryStorePath();

// Makes the existing key `subkey` below `root`, and every key below it,
// read-only (`readOnly` true) or writable again. A read-only key cannot be
// opened or created with write access (ERROR_ACCESS_DENIED; KEY_READ
// succeeds), cannot be deleted, and gets no new subkeys; handles opened
// before the change keep the rights they were granted, as on Windows.
// ERROR_SUCCESS, or the error of opening the key.
TOBREL_API LONG registrySetReadOnly(HKEY root, const char* subkey, bool readOnly);

// Whether the existing key `subkey` below `root` is read-only.
TOBREL_API LONG registryIsReadOnly(HKEY root, const char* subkey, bool* readOnly);

}  // namespace tobrel

#endif  // !_WIN32

namespace tobrel {

// Makes the registry calls of the current thread, from construction to
// commit(), one transaction of the registry store: they all take effect, or
// (when the batch is destroyed without commit, or commit fails) none does.
// Other threads of the process wait until the batch ends; other processes see
// nothing of it before the commit. A read batch (`write` false) gives a
// consistent view for a series of reads. On Windows the real registry has no
// such transactions: the batch does nothing there, and commit() succeeds.
class TOBREL_API RegistryBatch {
 public:
  explicit RegistryBatch(bool write = true);
  ~RegistryBatch();
  RegistryBatch(const RegistryBatch&) = delete;
  RegistryBatch& operator=(const RegistryBatch&) = delete;

  // ERROR_SUCCESS when the batch could be started.
  LONG status() const { return status_; }
  // Commits the batch; ERROR_SUCCESS, or the error that undid it.
  LONG commit();

 private:
  LONG status_;
  bool active_;
};

}  // namespace tobrel

#endif  // TOBRELTOOLS_PLATFORM_REGISTRY_H_
