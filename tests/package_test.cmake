# Builds the package of a build folder with cpack, unpacks it into a scratch
# folder as a user would install it, checks that it holds what a client needs,
# then builds the client project of tests/consumer against it and runs it.
#   cmake -DKIND=deb -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -P package_test.cmake
#     the Debian package: dpkg -x into a scratch root; Depends and shlibs;
#     the client built with find_package and with pkg-config.
#   cmake -DKIND=zip -DTOOLCHAIN=... -DEMULATOR=... (and the above)
#     a Windows .zip: the client cross-built with the MinGW toolchain file and
#     run with the Wine loader EMULATOR, the package's DLLs beside it.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/script_run.cmake)

function(expect_files root)
  foreach(f ${ARGN})
    if(NOT EXISTS ${root}/${f})
      message(FATAL_ERROR "the package lacks ${f}")
    endif()
  endforeach()
endfunction()

function(expect_match text regex what)
  if(NOT "${text}" MATCHES "${regex}")
    message(FATAL_ERROR "${what}: '${text}' does not match '${regex}'")
  endif()
endfunction()

run(cpack -G ${PACKAGE_GENERATOR} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}/cpack)

if(KIND STREQUAL "deb")
  file(GLOB package ${WORK_DIR}/cpack/*.deb)
  run(dpkg-deb -f ${package} Package Version Depends)
  expect_match("${last_output}" "Package: tobreltools" "package name")
  expect_match("${last_output}" "Depends:.*libsqlite3-0" "Depends")
  expect_match("${last_output}" "Depends:.*libicu" "Depends")
  run(dpkg-deb -e ${package} ${WORK_DIR}/control)
  file(READ ${WORK_DIR}/control/shlibs shlibs)
  expect_match("${shlibs}" "^libTobrelTools ${VERSION_MAJOR} tobreltools \\(>= ${VERSION}\\)" "shlibs")

  set(root ${WORK_DIR}/root)
  run(dpkg-deb -x ${package} ${root})
  file(GLOB_RECURSE libs RELATIVE ${root}/usr ${root}/usr/*/libTobrelTools.so)
  list(GET libs 0 lib)
  get_filename_component(libdir ${lib} DIRECTORY)
  expect_files(${root}/usr include/TobrelTools/TobrelTools.h include/TobrelTools/stream/fostream.h
    ${libdir}/libTobrelTools.so.${VERSION_MAJOR} ${libdir}/libTobrelTools.so.${VERSION}
    ${libdir}/cmake/TobrelTools/TobrelToolsConfig.cmake ${libdir}/cmake/TobrelTools/TobrelToolsTargets.cmake
    ${libdir}/pkgconfig/TobrelTools.pc bin/tobrel bin/tobrel-rc)
  run(objdump -p ${root}/usr/${lib})
  expect_match("${last_output}" "SONAME +libTobrelTools\\.so\\.${VERSION_MAJOR}\n" "soname")
  run(${root}/usr/bin/tobrel --help)

  # find_package, string resources included.
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/consumer-cmake
      -DCMAKE_PREFIX_PATH=${root}/usr -DCMAKE_BUILD_TYPE=Release)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer-cmake)
  run(${WORK_DIR}/consumer-cmake/consumer ${WORK_DIR}/consumer.bin)
  expect_match("${last_output}" "consumer ok" "consumer built with find_package")

  # pkg-config alone.
  set(ENV{PKG_CONFIG_PATH} ${root}/usr/${libdir}/pkgconfig)
  run(pkg-config --cflags --libs TobrelTools)
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(c++ -std=c++17 -DCONSUMER_WITHOUT_RESOURCES ${SOURCE_DIR}/tests/consumer/main.cpp ${flags}
      -Wl,-rpath,${root}/usr/${libdir} -o ${WORK_DIR}/consumer-pc)
  run(${WORK_DIR}/consumer-pc ${WORK_DIR}/consumer-pc.bin)
  expect_match("${last_output}" "consumer ok" "consumer built with pkg-config")
elseif(KIND STREQUAL "zip")
  file(GLOB package ${WORK_DIR}/cpack/*.zip)
  file(MAKE_DIRECTORY ${WORK_DIR}/unzip)
  run(${CMAKE_COMMAND} -E chdir ${WORK_DIR}/unzip ${CMAKE_COMMAND} -E tar xf ${package})
  file(GLOB prefix ${WORK_DIR}/unzip/TobrelTools-*)
  expect_files(${prefix} bin/TobrelTools.dll bin/tobrel.exe bin/libstdc++-6.dll
    bin/libwinpthread-1.dll lib/libTobrelTools.dll.a include/TobrelTools/TobrelTools.h
    lib/cmake/TobrelTools/TobrelToolsConfig.cmake lib/pkgconfig/TobrelTools.pc)
  file(GLOB gcc_runtime ${prefix}/bin/libgcc_s_*.dll)
  if(NOT gcc_runtime)
    message(FATAL_ERROR "the package lacks the libgcc runtime DLL")
  endif()

  # The toolchain file searches its sysroot only; the package is named directly.
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/consumer -B ${WORK_DIR}/consumer-build
      -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN} -DTobrelTools_DIR=${prefix}/lib/cmake/TobrelTools
      -DCMAKE_BUILD_TYPE=Release)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer-build)
  # As a user deploys it: the package's DLLs beside the program.
  file(GLOB dlls ${prefix}/bin/*.dll)
  file(COPY ${dlls} DESTINATION ${WORK_DIR}/consumer-build)
  run(${EMULATOR} ${WORK_DIR}/consumer-build/consumer.exe ${WORK_DIR}/consumer.bin)
  expect_match("${last_output}" "consumer ok" "consumer under Wine")
  run(${EMULATOR} ${prefix}/bin/tobrel.exe --help)
  expect_match("${last_output}" "usage: tobrel" "tobrel.exe from the package")
else()
  message(FATAL_ERROR "KIND must be deb or zip")
endif()
message(STATUS "the ${KIND} package installs, builds and runs a client")
