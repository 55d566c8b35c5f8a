// System strings: one malloc block holding the 32-bit byte count, the units
// and a zero unit. The count sits right before the first unit, which is what
// the BSTR points at.
#include "TobrelTools/platform/sysstr.h"
#include "TobrelTools/export.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

TOBREL_MODULE_ID("sysstr_posix.cpp", "2026.12.05");

namespace {

const std::size_t kHeader = sizeof(std::uint32_t);

std::uint32_t* headerOf(BSTR b) {
  return reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(b) - kHeader);
}

}  // namespace

extern "C" {

BSTR SysAllocStringLen(const unsigned short* s, unsigned int len) {
  // The count is 32 bits wide, and the block also holds it and the zero unit.
  if (len > (UINT32_MAX - kHeader - sizeof(unsigned short)) / sizeof(unsigned short)) return nullptr;
  std::size_t bytes = static_cast<std::size_t>(len) * sizeof(unsigned short);
  void* block = std::malloc(kHeader + bytes + sizeof(unsigned short));
  if (!block) return nullptr;
  *static_cast<std::uint32_t*>(block) = static_cast<std::uint32_t>(bytes);
  BSTR b = reinterpret_cast<BSTR>(static_cast<unsigned char*>(block) + kHeader);
  if (s)
    std::memcpy(b, s, bytes);
  else
    std::memset(b, 0, bytes);
  b[len] = 0;
  return b;
}

BSTR SysAllocString(const unsigned short* s) {
  if (!s) return nullptr;
  std::size_t len = 0;
  while (s[len]) ++len;
  if (len > UINT32_MAX) return nullptr;
  return SysAllocStringLen(s, static_cast<unsigned int>(len));
}

void SysFreeString(BSTR b) {
  if (b) std::free(headerOf(b));
}

unsigned int SysStringByteLen(BSTR b) { return b ? *headerOf(b) : 0; }

unsigned int SysStringLen(BSTR b) { return SysStringByteLen(b) / sizeof(unsigned short); }

}  // extern "C"
