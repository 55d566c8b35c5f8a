# Installs the build tree into a fresh prefix, then configures, builds and
# runs a client project against it with find_package, and checks the
# pkg-config file. Run with:
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P install_test.cmake
# -DCXX=... compiles each installed header on its own. For a Windows cross
# build, also -DTOOLCHAIN_FILE=... (the client is built with the same
# toolchain) and -DEMULATOR=... (the Wine that runs it, with
# the installed bin folder on Wine's PATH, as a client would find the DLLs).
set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/consumer-build)
file(REMOVE_RECURSE ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/script_run.cmake)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
set(exe "")
set(installed bin/tobrel)
set(drive "")
if(TOOLCHAIN_FILE)
  set(exe .exe)
  set(installed bin/tobrel.exe bin/TobrelTools.dll lib/libTobrelTools.dll.a)
  set(drive Z:)   # Wine's drive for the Unix root
endif()
foreach(f include/TobrelTools/TobrelTools.h include/TobrelTools/stream/fostream.h
          lib/cmake/TobrelTools/TobrelToolsConfig.cmake lib/pkgconfig/TobrelTools.pc ${installed})
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# Public headers only: nothing of the modules' internal/ folders, of the tests
# or of their data is installed.
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/TobrelTools/*)
foreach(h IN LISTS headers)
  if(h MATCHES "/internal/|/testdata/|_test\\.h$|[^h]$")
    message(FATAL_ERROR "installed although it is not a public header: include/${h}")
  endif()
endforeach()
list(LENGTH headers header_count)
message(STATUS "${header_count} public headers installed")
# Each public header compiles on its own, with nothing but the installed
# headers to include (host builds; a cross build's headers are checked by the
# client program below).
if(CXX AND NOT TOOLCHAIN_FILE)
  foreach(h IN LISTS headers)
    run(${CXX} -std=c++17 -fsyntax-only -Wall -Wextra -Werror -I${prefix}/include -x c++ ${prefix}/include/${h})
  endforeach()
endif()

set(toolchain)
if(TOOLCHAIN_FILE)
  set(toolchain -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE})
  set(ENV{WINEPATH} ${drive}${prefix}/bin)
endif()
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${consumer_build} ${toolchain}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${consumer_build})
run(${EMULATOR} ${consumer_build}/consumer${exe} ${drive}${WORK_DIR}/consumer.bin)
if(NOT last_output MATCHES "consumer ok")
  message(FATAL_ERROR "consumer printed: ${last_output}")
endif()

# 32-bit MinGW: a client with a static C++ runtime is refused when it is
# configured, because it could not catch the library's exceptions; and that
# is still so (when it is let through, it ends at the first one).
if(SHARED_RUNTIME_ONLY)
  set(static_flags "-DCMAKE_EXE_LINKER_FLAGS=-static-libgcc -static-libstdc++")
  execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/static-build
                  ${toolchain} -DCMAKE_PREFIX_PATH=${prefix} "${static_flags}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(rc EQUAL 0 OR NOT err MATCHES "cannot catch the.*target consumer, CMAKE_EXE_LINKER_FLAGS: -static-libgcc")
    message(FATAL_ERROR "a client with a static runtime was not refused:\n${out}\n${err}")
  endif()
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/static-build ${toolchain}
      -DCMAKE_PREFIX_PATH=${prefix} "${static_flags}" -DTOBREL_ALLOW_STATIC_RUNTIME=ON)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/static-build)
  execute_process(COMMAND ${EMULATOR} ${WORK_DIR}/static-build/consumer${exe} ${drive}${WORK_DIR}/static.bin
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(out MATCHES "consumer ok")
    message(FATAL_ERROR "a client with a static runtime caught the library's exceptions: "
                        "the configure-time refusal is no longer needed")
  endif()
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  run(${PKG_CONFIG} --variable=includedir TobrelTools)
  string(STRIP "${last_output}" includedir)
  if(NOT EXISTS ${includedir}/TobrelTools/TobrelTools.h)
    message(FATAL_ERROR "pkg-config includedir is wrong: ${includedir}")
  endif()
  run(${PKG_CONFIG} --libs TobrelTools)
  if(NOT last_output MATCHES "-lTobrelTools")
    message(FATAL_ERROR "unexpected pkg-config libs: ${last_output}")
  endif()
endif()
message(STATUS "installed package builds and links a client")
