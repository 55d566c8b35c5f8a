# nlohmann-json (Debian's nlohmann-json3-dev), the JSON library of the tobrel
# tool; header only. The native build takes its CMake package. A cross build
# may not search the host's include directory (its C library headers would
# shadow MinGW's), and the headers hold no target code: only their own folder
# is made visible, through a link in the build tree.
if(TARGET tobrel_json)
  return()
endif()
add_library(tobrel_json INTERFACE)
if(NOT CMAKE_CROSSCOMPILING)
  find_package(nlohmann_json 3.2 REQUIRED)
  target_link_libraries(tobrel_json INTERFACE nlohmann_json::nlohmann_json)
else()
  find_path(TOBREL_NLOHMANN_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TOBREL_NLOHMANN_JSON_INCLUDE)
    message(FATAL_ERROR "nlohmann/json.hpp not found: install nlohmann-json3-dev")
  endif()
  set(_tobrel_json_dir ${CMAKE_BINARY_DIR}/nlohmann-json-include)
  file(MAKE_DIRECTORY ${_tobrel_json_dir})
  file(CREATE_LINK ${TOBREL_NLOHMANN_JSON_INCLUDE}/nlohmann ${_tobrel_json_dir}/nlohmann SYMBOLIC)
  target_include_directories(tobrel_json SYSTEM INTERFACE ${_tobrel_json_dir})
endif()
