// Which vector forms of the string loops this host can run.
#include "TobrelTools/string/internal/vector_path.h"
#include "TobrelTools/export.h"

TOBREL_MODULE_ID("vector_path.cpp", "2026.12.05");

namespace tobrel {

namespace {

#if defined(TOBREL_VECTOR_AVX2)
bool processorHasAvx2() {
  __builtin_cpu_init();  // also safe when called during static initialization
  return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

bool vectorPathAvailable(VectorPath path) {
  switch (path) {
    case VectorPath::kPlain:
      return true;
    case VectorPath::kSse2:
#if defined(TOBREL_VECTOR_SSE2)
      return true;
#else
      return false;
#endif
    case VectorPath::kAvx2: {
#if defined(TOBREL_VECTOR_AVX2)
      static const bool available = processorHasAvx2();
      return available;
#else
      return false;
#endif
    }
  }
  return false;
}

VectorPath fastestVectorPath() {
  static const VectorPath fastest = vectorPathAvailable(VectorPath::kAvx2)   ? VectorPath::kAvx2
                                    : vectorPathAvailable(VectorPath::kSse2)   ? VectorPath::kSse2
                                                                               : VectorPath::kPlain;
  return fastest;
}

}  // namespace tobrel
