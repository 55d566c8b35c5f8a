// The Windows facilities the library uses, under their Windows names, on both
// hosts. On Windows this is the real <windows.h> and <oleauto.h>; elsewhere it
// is the library's own platform layer (types, constants, TLS, system strings,
// code page 932, multibyte string functions, string resources and the
// registry store), so that library and client code read the same everywhere.
#ifndef TOBRELTOOLS_PLATFORM_PLATFORM_H_
#define TOBRELTOOLS_PLATFORM_PLATFORM_H_

#if defined(_WIN32)
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  include <windows.h>
#  include <oleauto.h>
#else
#  include "TobrelTools/platform/win32_types.h"
#  include "TobrelTools/platform/registry.h"
#  include "TobrelTools/platform/cp932.h"
#  include "TobrelTools/platform/sysstr.h"
#  include "TobrelTools/platform/strres.h"
#  include "TobrelTools/platform/mbstring.h"
#  include "TobrelTools/platform/tls.h"
#endif

#endif  // TOBRELTOOLS_PLATFORM_PLATFORM_H_
