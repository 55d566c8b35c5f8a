# Cross build for 64-bit Windows with MinGW-w64; tests run under wine64.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(TOBREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(TOBREL_MINGW_PROCESSOR AMD64)
set(TOBREL_WINE_LOADERS /usr/lib/wine/wine64 /usr/bin/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/TobrelMinGW.cmake)
