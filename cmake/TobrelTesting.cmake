# Test helpers shared by every module's CMakeLists.txt.
#
# tobrel_add_test(<name> <sources>... [LABELS <label>...])
#   One GoogleTest executable linked against the shared library, registered
#   with CTest as one test. LABELS marks host-specific tests ("linux-only",
#   "windows-only") so that a run on the other host can leave them out.

if(CMAKE_CROSSCOMPILING)
  include(TobrelCrossGTest)   # builds GoogleTest from Debian's sources for the target
else()
  find_package(GTest REQUIRED)
endif()

function(tobrel_add_test name)
  cmake_parse_arguments(ARG "" "" "LABELS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE TobrelTools GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "TOBREL_TEST_TMPDIR=${CMAKE_CURRENT_BINARY_DIR}/${name}.tmp")
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
