// The one export macro of the library. Every class and free function that a
// client may use is marked TOBREL_API; everything else stays hidden (the
// library is built with hidden default visibility).
#ifndef TOBRELTOOLS_EXPORT_H_
#define TOBRELTOOLS_EXPORT_H_

#if defined(_WIN32)
#  if defined(TOBREL_BUILDING)
#    define TOBREL_API __declspec(dllexport)
#  else
#    define TOBREL_API __declspec(dllimport)
#  endif
#else
#  define TOBREL_API __attribute__((visibility("default")))
#endif

#endif  // TOBRELTOOLS_EXPORT_H_
