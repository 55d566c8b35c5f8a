# The MinGW-w64 runtime DLLs (libstdc++, libgcc, winpthread) for a MinGW build.
#
# TobrelTools.dll exports C++ classes and throws exceptions that its callers
# catch, so the DLL and the programs that use it must share ONE C++ runtime:
# with a static libstdc++/libgcc in each module, a 32-bit (DWARF-unwinding)
# exception could not cross from the DLL into the program. The runtime DLLs are
# therefore copied next to the programs in the build tree, so that tobrel.exe
# and the tests run under Wine (or on Windows) as they are, and installed
# beside TobrelTools.dll.
set(TOBREL_MINGW_RUNTIME_DLLS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libgcc_s_dw2-1.dll libgcc_s_sjlj-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  # Asked for a file it does not have, gcc answers with the bare name.
  if(IS_ABSOLUTE "${path}" AND EXISTS "${path}")
    get_filename_component(path "${path}" REALPATH)
    list(APPEND TOBREL_MINGW_RUNTIME_DLLS "${path}")
  endif()
endforeach()
if(NOT TOBREL_MINGW_RUNTIME_DLLS MATCHES "libstdc\\+\\+-6.dll")
  message(FATAL_ERROR "MinGW runtime DLLs not found beside ${CMAKE_CXX_COMPILER}")
endif()
file(COPY ${TOBREL_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
install(FILES ${TOBREL_MINGW_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})

# 32-bit MinGW unwinds exceptions with DWARF tables, which do not cross from
# one runtime into another: the package refuses clients that link the runtime
# statically (TobrelSharedRuntime.cmake).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TOBREL_SHARED_RUNTIME_ONLY TRUE)
endif()
