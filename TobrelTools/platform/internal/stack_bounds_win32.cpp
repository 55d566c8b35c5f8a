#include <windows.h>

#include "TobrelTools/export.h"
#include "TobrelTools/platform/internal/stack_bounds.h"

TOBREL_MODULE_ID("stack_bounds_win32.cpp", "2026.12.05");

namespace tobrel {

// The stack is one reservation: its allocation base is the far end. The last
// pages above it hold the guard page and the overflow guarantee, which code
// can never use, so they are left out of the usable range.
static const SIZE_T kOverflowArea = 64 * 1024;

bool currentThreadStack(const char** low, const char** high) {
  MEMORY_BASIC_INFORMATION info;
  const char here = 0;
  if (VirtualQuery(&here, &info, sizeof info) == 0 || info.AllocationBase == nullptr) return false;
  const char* base = static_cast<const char*>(info.AllocationBase);
  // Walk the regions of the reservation up to its end: the stack's top.
  const char* top = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
  for (;;) {
    MEMORY_BASIC_INFORMATION next;
    if (VirtualQuery(top, &next, sizeof next) == 0 || next.AllocationBase != info.AllocationBase) break;
    top = static_cast<const char*>(next.BaseAddress) + next.RegionSize;
  }
  *low = base + kOverflowArea;
  *high = top;
  return true;
}

}  // namespace tobrel
