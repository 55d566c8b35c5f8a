# Installs the build tree into a fresh prefix, then configures, builds and
# runs a client project against it with find_package, and checks the
# pkg-config file. Run with:
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P install_test.cmake
set(prefix ${WORK_DIR}/prefix)
set(consumer_build ${WORK_DIR}/consumer-build)
file(REMOVE_RECURSE ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/script_run.cmake)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/TobrelTools/TobrelTools.h include/TobrelTools/stream/fostream.h
          lib/cmake/TobrelTools/TobrelToolsConfig.cmake lib/pkgconfig/TobrelTools.pc bin/tobrel)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${consumer_build}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${consumer_build})
run(${consumer_build}/consumer ${WORK_DIR}/consumer.bin)
if(NOT last_output MATCHES "consumer ok")
  message(FATAL_ERROR "consumer printed: ${last_output}")
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
