// Whether the tests run under Wine rather than on Windows itself.
//
// The tests follow documented Windows behaviour. Where Wine differs, the
// affected test skips itself under Wine and says how Wine differs:
//
//   if (tobrel::test::runningUnderWine())
//     GTEST_SKIP() << "Wine returns ERROR_X here where Windows returns ERROR_Y";
#ifndef TOBRELTOOLS_TESTS_WINE_UTIL_H_
#define TOBRELTOOLS_TESTS_WINE_UTIL_H_

#include "TobrelTools/platform/platform.h"

namespace tobrel {
namespace test {

// Wine's ntdll exports wine_get_version; Windows' does not.
inline bool runningUnderWine() {
#if defined(_WIN32)
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

}  // namespace test
}  // namespace tobrel

#endif  // TOBRELTOOLS_TESTS_WINE_UTIL_H_
