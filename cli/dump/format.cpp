#include <cstdio>

#include "TobrelTools/export.h"
#include "cli/dump/render.h"

TOBREL_MODULE_ID("format.cpp", "2026.12.05");

namespace tobrel {
namespace cli {

const char* regTypeName(std::uint32_t type) {
  static const char* const names[] = {"REG_NONE",
                                      "REG_SZ",
                                      "REG_EXPAND_SZ",
                                      "REG_BINARY",
                                      "REG_DWORD",
                                      "REG_DWORD_BIG_ENDIAN",
                                      "REG_LINK",
                                      "REG_MULTI_SZ",
                                      "REG_RESOURCE_LIST",
                                      "REG_FULL_RESOURCE_DESCRIPTOR",
                                      "REG_RESOURCE_REQUIREMENTS_LIST",
                                      "REG_QWORD"};
  return type < sizeof names / sizeof names[0] ? names[type] : nullptr;
}

const char* rootKeyName(std::uint32_t handle) {
  switch (handle) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    case 0x80000004u: return "HKEY_PERFORMANCE_DATA";
    case 0x80000005u: return "HKEY_CURRENT_CONFIG";
  }
  return nullptr;
}

bool isTextType(std::uint32_t type) { return type == 1 || type == 2 || type == 6 || type == 7; }

std::string filetimeUtc(std::uint32_t low, std::uint32_t high) {
  const std::uint64_t ticks = (static_cast<std::uint64_t>(high) << 32) | low;
  if (ticks == 0) return std::string();
  // 100-nanosecond ticks since 1601-01-01; days since then, then the civil
  // date by the usual era arithmetic (proleptic Gregorian calendar).
  const std::uint64_t seconds = ticks / 10000000u;
  const std::uint64_t days = seconds / 86400u;
  const unsigned secOfDay = static_cast<unsigned>(seconds % 86400u);
  // Shift the day count to 0000-03-01 based: 1601-01-01 is day 584694 of it.
  const std::int64_t z = static_cast<std::int64_t>(days) + 584694;
  const std::int64_t era = z / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const unsigned day = static_cast<unsigned>(doy - (153 * mp + 2) / 5 + 1);
  const unsigned month = static_cast<unsigned>(mp < 10 ? mp + 3 : mp - 9);
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  if (year > 9999) return std::string();
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02u:%02u:%02u UTC", static_cast<long long>(year), month,
                day, secOfDay / 3600, secOfDay / 60 % 60, secOfDay % 60);
  return text;
}

}  // namespace cli
}  // namespace tobrel
