# Import and export of .reg files, over the registry calls (both hosts).
target_sources(TobrelTools PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/regfile.cpp
  ${CMAKE_CURRENT_LIST_DIR}/regfile_parse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/regfile_write.cpp
  ${CMAKE_CURRENT_LIST_DIR}/regfile_convert.cpp)

if(TOBREL_BUILD_TESTS)
  tobrel_add_test(regfile_test ${CMAKE_CURRENT_LIST_DIR}/regfile_test.cpp)
endif()
if(TOBREL_BUILD_TESTS AND NOT WIN32)
  tobrel_add_test(regfile_store_test ${CMAKE_CURRENT_LIST_DIR}/regfile_store_test.cpp LABELS linux-only)
endif()
