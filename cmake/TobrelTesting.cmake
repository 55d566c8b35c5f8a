# Test helpers shared by every module's CMakeLists.txt.
#
# tobrel_add_test(<name> <sources>... [INTERNAL] [LABELS <label>...])
#   One GoogleTest executable linked against the shared library, registered
#   with CTest as one test. With INTERNAL it links the library's objects
#   instead (the whole library inside the test program), for a test of what
#   the shared library does not export; such a test must not also load the
#   shared library. LABELS marks host-specific tests: "linux-only"
#   tests are neither built nor run for Windows, "windows-only" tests neither
#   built nor run elsewhere (they may use that host's own headers). The test
#   commands also leave the other host's label out (ctest -LE ...).
#
# In a cross build for Windows, CTest runs the programs through Wine (the
# toolchain's CMAKE_CROSSCOMPILING_EMULATOR) with a Wine prefix of the build
# folder's own, so that tests never touch the user's Wine registry, and in
# the Japanese locale, so that the ANSI code page is 932 as on a Japanese
# Windows desktop.

if(CMAKE_CROSSCOMPILING)
  include(TobrelCrossGTest)   # builds GoogleTest from Debian's sources for the target
else()
  find_package(GTest REQUIRED)
endif()

if(WIN32)
  set(TOBREL_OTHER_HOST_LABEL linux-only)
else()
  set(TOBREL_OTHER_HOST_LABEL windows-only)
endif()

set(TOBREL_TEST_ENVIRONMENT)
set(TOBREL_TEST_DRIVE "")
if(CMAKE_CROSSCOMPILING AND WIN32)
  set(TOBREL_TEST_DRIVE "Z:")   # Wine's drive for the Unix root
  set(TOBREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH
    "The Wine prefix the tests run in (created by wineboot on first use)")
  set(TOBREL_WINE_LOCALE ja_JP.UTF-8 CACHE STRING
    "The Unix locale the tests run Wine in; a Japanese one gives code page 932")
  list(APPEND TOBREL_TEST_ENVIRONMENT
    WINEPREFIX=${TOBREL_WINEPREFIX} WINEDEBUG=-all
    WINEDLLOVERRIDES=winedbg.exe=d   # no debugger waiting on a crashed test
    LC_ALL=${TOBREL_WINE_LOCALE})
endif()

function(tobrel_add_test name)
  cmake_parse_arguments(ARG "INTERNAL" "" "LABELS" ${ARGN})
  if(TOBREL_OTHER_HOST_LABEL IN_LIST ARG_LABELS)
    return()
  endif()
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  if(ARG_INTERNAL)
    target_link_libraries(${name} PRIVATE tobrel_objects GTest::gtest_main)
  else()
    target_link_libraries(${name} PRIVATE TobrelTools GTest::gtest_main)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(env TOBREL_TEST_TMPDIR=${TOBREL_TEST_DRIVE}${CMAKE_CURRENT_BINARY_DIR}/${name}.tmp ${TOBREL_TEST_ENVIRONMENT})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
