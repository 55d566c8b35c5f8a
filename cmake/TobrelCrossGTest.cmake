# GoogleTest for a cross build: the host's libgtest is a Linux library, so
# GoogleTest is compiled here for the target from the sources that Debian's
# `googletest` package ships. Provides GTest::gtest and GTest::gtest_main,
# the same targets find_package(GTest) gives on a native build.
set(TOBREL_GTEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH
  "GoogleTest sources (the googletest folder of a GoogleTest release)")
if(NOT EXISTS ${TOBREL_GTEST_SOURCE_DIR}/src/gtest-all.cc)
  message(FATAL_ERROR "GoogleTest sources not found in ${TOBREL_GTEST_SOURCE_DIR} "
    "(install Debian's googletest package, or set TOBREL_GTEST_SOURCE_DIR)")
endif()

add_library(tobrel_gtest STATIC ${TOBREL_GTEST_SOURCE_DIR}/src/gtest-all.cc)
target_include_directories(tobrel_gtest SYSTEM PUBLIC ${TOBREL_GTEST_SOURCE_DIR}/include)
target_include_directories(tobrel_gtest PRIVATE ${TOBREL_GTEST_SOURCE_DIR})
find_package(Threads REQUIRED)
target_link_libraries(tobrel_gtest PUBLIC Threads::Threads)

add_library(tobrel_gtest_main STATIC ${TOBREL_GTEST_SOURCE_DIR}/src/gtest_main.cc)
target_link_libraries(tobrel_gtest_main PUBLIC tobrel_gtest)

add_library(GTest::gtest ALIAS tobrel_gtest)
add_library(GTest::gtest_main ALIAS tobrel_gtest_main)
