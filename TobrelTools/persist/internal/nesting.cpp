#include "TobrelTools/persist/internal/nesting.h"

#include "TobrelTools/export.h"
#include "TobrelTools/platform/internal/stack_bounds.h"

TOBREL_MODULE_ID("nesting.cpp", "2026.12.05");

namespace tobrel {

namespace {
thread_local NestingState threadNesting;
}  // namespace

NestingState& nestingState() {
  NestingState& state = threadNesting;
  if (!state.probed) {
    state.probed = true;
    const char* low = nullptr;
    const char* high = nullptr;
    if (currentThreadStack(&low, &high) && low < high) {
      state.low = low;
      state.high = high;
    }
  }
  return state;
}

void forgetCheckerOfThread() { threadNesting.checker = nullptr; }

}  // namespace tobrel
