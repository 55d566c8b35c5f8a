#include "TobrelTools/persist/internal/nesting.h"

#include "TobrelTools/export.h"
#include "TobrelTools/platform/internal/stack_bounds.h"

TOBREL_MODULE_ID("nesting.cpp", "2026.12.05");

namespace tobrel {

namespace {
// Every record saved or restored looks the state up. In an ELF shared
// library a thread_local is reached through a call into the dynamic loader;
// the initial-exec model makes it one load relative to the thread pointer,
// at the price of a little of the static TLS space that the C library sets
// aside for libraries opened later (the state is about a hundred bytes).
#if defined(__ELF__) && defined(__GNUC__)
#define TOBREL_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#define TOBREL_FAST_TLS
#endif
thread_local NestingState threadNesting TOBREL_FAST_TLS;
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
