# Cross build for 64-bit Windows with MinGW-w64; tests run under wine64.
#   cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(TOBREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(TOBREL_MINGW_PROCESSOR AMD64)
set(TOBREL_WINE_LOADERS /usr/lib/wine/wine64 /usr/bin/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/TobrelMinGW.cmake)

# Wine (8.0) restores the nonvolatile registers xmm6-xmm15 from the wrong
# stack slots when a C++ exception unwinds a frame that GCC gave a frame
# pointer before its stack allocation: the frames above then continue with
# garbage in those registers (wrong pointers, heap corruption). Windows itself
# restores them right. Keeping GCC out of xmm6-xmm15 altogether leaves nothing
# to restore, so the library, its tests and its clients' code built this way
# behave the same on Windows and under Wine; this still follows the Windows
# calling convention (the registers are never touched, so they are preserved)
# and costs only spills in floating-point-heavy code.
set(TOBREL_MINGW_XMM_FLAGS "-ffixed-xmm6 -ffixed-xmm7 -ffixed-xmm8 -ffixed-xmm9 -ffixed-xmm10 -ffixed-xmm11 -ffixed-xmm12 -ffixed-xmm13 -ffixed-xmm14 -ffixed-xmm15")
set(CMAKE_C_FLAGS_INIT "${TOBREL_MINGW_XMM_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${TOBREL_MINGW_XMM_FLAGS}")
