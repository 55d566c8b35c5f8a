// filetime: a registry key's last write time, the 64-bit count of
// 100-nanosecond intervals since 1 January 1601 (UTC), as two unsigned 32-bit
// words, low word first. It has the layout of the platform's FILETIME and is
// handed to the platform as one; 0 means that no time was recorded.
#ifndef TOBRELTOOLS_REGISTRY_FILETIME_H_
#define TOBRELTOOLS_REGISTRY_FILETIME_H_

#include <cstdint>

#include "TobrelTools/platform/platform.h"

struct filetime {
  std::uint32_t dwLowDateTime;
  std::uint32_t dwHighDateTime;
};

static_assert(sizeof(filetime) == sizeof(FILETIME), "filetime must have FILETIME's layout");

inline bool operator==(const filetime& a, const filetime& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}
inline bool operator!=(const filetime& a, const filetime& b) { return !(a == b); }

#endif  // TOBRELTOOLS_REGISTRY_FILETIME_H_
