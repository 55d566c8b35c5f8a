# Cross build for 32-bit Windows with MinGW-w64; tests run under Debian's
# wine32 loader when it is installed (it needs the i386 architecture).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(TOBREL_MINGW_TRIPLE i686-w64-mingw32)
set(TOBREL_MINGW_PROCESSOR x86)
set(TOBREL_WINE_LOADERS /usr/lib/wine/wine /usr/bin/wine32)
include(${CMAKE_CURRENT_LIST_DIR}/TobrelMinGW.cmake)
