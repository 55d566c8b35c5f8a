# Cross build for 32-bit Windows with MinGW-w64; the tests run under the
# project's private 32-bit Wine (scripts/wine32.sh, which prepares it on first
# use and needs neither the i386 architecture nor root).
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(TOBREL_MINGW_TRIPLE i686-w64-mingw32)
set(TOBREL_MINGW_PROCESSOR x86)
get_filename_component(TOBREL_WINE_LOADERS ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32.sh ABSOLUTE)
include(${CMAKE_CURRENT_LIST_DIR}/TobrelMinGW.cmake)
