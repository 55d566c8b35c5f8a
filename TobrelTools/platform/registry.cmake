# The registry: on Windows the real registry (only the no-op batch is built);
# elsewhere the SQLite registry store behind the Windows registry calls.
if(WIN32)
  target_sources(TobrelTools PRIVATE ${CMAKE_CURRENT_LIST_DIR}/registry_batch_win32.cpp)
else()
  find_package(SQLite3 REQUIRED)
  target_sources(TobrelTools PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/registry_store.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_names.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_upgrade.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_checkpoint.cpp
    ${CMAKE_CURRENT_LIST_DIR}/registry_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/filetime_posix.cpp)
  find_package(Threads REQUIRED)   # the store's background checkpoints
  target_link_libraries(TobrelTools PRIVATE SQLite::SQLite3 Threads::Threads)
endif()

if(TOBREL_BUILD_TESTS)
  tobrel_add_test(registry_api_test ${CMAKE_CURRENT_LIST_DIR}/registry_api_test.cpp
                  ${CMAKE_CURRENT_LIST_DIR}/registry_unicode_test.cpp)
  if(NOT WIN32)
    tobrel_add_test(registry_store_test ${CMAKE_CURRENT_LIST_DIR}/registry_store_test.cpp LABELS linux-only)
    target_link_libraries(registry_store_test PRIVATE SQLite::SQLite3)
    tobrel_add_test(registry_upgrade_test ${CMAKE_CURRENT_LIST_DIR}/registry_upgrade_test.cpp LABELS linux-only)
    target_link_libraries(registry_upgrade_test PRIVATE SQLite::SQLite3)
    tobrel_add_test(registry_checkpoint_test ${CMAKE_CURRENT_LIST_DIR}/registry_checkpoint_test.cpp LABELS linux-only)
    target_link_libraries(registry_checkpoint_test PRIVATE SQLite::SQLite3)
  endif()
endif()
