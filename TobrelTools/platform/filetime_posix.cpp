// FILETIME to MS-DOS date and time, for the last-write lines of registry dumps.
#include "TobrelTools/platform/registry.h"
#include "TobrelTools/export.h"

#include <time.h>

#include <cstdint>

TOBREL_MODULE_ID("filetime_posix.cpp", "2026.12.05");

extern "C" BOOL FileTimeToDosDateTime(const FILETIME* lpFileTime, WORD* lpFatDate, WORD* lpFatTime) {
  if (!lpFileTime || !lpFatDate || !lpFatTime) return FALSE;
  std::uint64_t ticks = (static_cast<std::uint64_t>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
  const std::uint64_t kTicksPerSecond = 10000000ULL;
  const std::uint64_t kUnixEpoch = 11644473600ULL;  // seconds from 1601 to 1970
  std::uint64_t seconds = ticks / kTicksPerSecond;
  if (seconds < kUnixEpoch) return FALSE;
  time_t t = static_cast<time_t>(seconds - kUnixEpoch);
  struct tm tm;
  if (!gmtime_r(&t, &tm)) return FALSE;
  int year = tm.tm_year + 1900;
  if (year < 1980 || year > 2107) return FALSE;
  *lpFatDate = static_cast<WORD>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  *lpFatTime = static_cast<WORD>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  return TRUE;
}
