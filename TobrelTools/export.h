// The one export macro of the library. Every class and free function that a
// client may use is marked TOBREL_API; everything else stays hidden (the
// library is built with hidden default visibility).
//
// On Windows it exports while the library itself is compiled (TOBREL_BUILDING)
// and imports from TobrelTools.dll in a client. TOBREL_STATIC is for a
// program that has the library's objects linked into itself (the library's
// own unit tests of its internals): there is no DLL to import from.
#ifndef TOBRELTOOLS_EXPORT_H_
#define TOBRELTOOLS_EXPORT_H_

#if defined(_WIN32)
#  if defined(TOBREL_BUILDING)
#    define TOBREL_API __declspec(dllexport)
#  elif defined(TOBREL_STATIC)
#    define TOBREL_API
#  else
#    define TOBREL_API __declspec(dllimport)
#  endif
#else
#  define TOBREL_API __attribute__((visibility("default")))
#endif

// The identification string of a library source module, in the style of
// SCCS: "@(#)<file>:  Ver01.00  <yyyy.mm.dd>", the module's file name and
// date. Each source file of the library, and of the tobrel tool, writes it
// once, at file scope (tests, benchmarks and fuzzers do not):
//   TOBREL_MODULE_ID("tstring.cpp", "2026.12.05");
// Nothing reads it; it stays in the built binary for what(1) and strings(1).
#define TOBREL_MODULE_VERSION "Ver01.00"
#if defined(__GNUC__)
#  define TOBREL_MODULE_ID(file, date) \
     static const char tobrel_module_id[] __attribute__((used)) = "@(#)" file ":  " TOBREL_MODULE_VERSION "  " date
#else
#  define TOBREL_MODULE_ID(file, date) \
     static const char tobrel_module_id[] = "@(#)" file ":  " TOBREL_MODULE_VERSION "  " date
#endif

#endif  // TOBRELTOOLS_EXPORT_H_
