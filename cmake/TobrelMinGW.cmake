# Shared part of the MinGW-w64 toolchain files. The including file sets
# TOBREL_MINGW_TRIPLE (x86_64-w64-mingw32 or i686-w64-mingw32) and
# TOBREL_MINGW_PROCESSOR, and may set TOBREL_WINE_LOADERS (the Wine loaders
# that can run this target's programs, best first).
#
# The posix-threads compilers are used so that std::thread and std::mutex
# exist. Only the cross sysroot is searched for libraries, headers and
# packages: the build host's own packages (SQLite, ICU, GoogleTest ...) are
# Linux binaries and must never be picked up.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)   # Windows 7 and later
set(CMAKE_SYSTEM_PROCESSOR ${TOBREL_MINGW_PROCESSOR})

set(CMAKE_C_COMPILER ${TOBREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOBREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TOBREL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOBREL_MINGW_TRIPLE})
# Prefixes given with CMAKE_PREFIX_PATH (an installed TobrelTools for this
# target, say) hold Windows files too: they are searched as roots as well.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_USE_PACKAGE_REGISTRY OFF)
set(CMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY OFF)
# pkg-config would otherwise answer with the host's .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${TOBREL_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# CTest runs the test programs through Wine. Without a loader for this
# target the programs still build; running them is then left out.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  foreach(loader IN LISTS TOBREL_WINE_LOADERS)
    if(EXISTS ${loader})
      set(CMAKE_CROSSCOMPILING_EMULATOR ${loader})
      break()
    endif()
  endforeach()
endif()
