# Install rules: the public headers under include/TobrelTools with their tree
# layout, the library, the tool, the CMake package and TobrelTools.pc.
include(CMakePackageConfigHelpers)

# Public headers only: not the modules' internal/ folders, nor the headers of
# tests and their data.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/TobrelTools
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h"
  PATTERN "internal" EXCLUDE
  PATTERN "testdata" EXCLUDE
  PATTERN "*_test.h" EXCLUDE)

install(TARGETS TobrelTools EXPORT TobrelToolsTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(TOBREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/TobrelTools)
if(NOT TOBREL_SHARED_RUNTIME_ONLY)   # set by TobrelMinGWRuntime.cmake
  set(TOBREL_SHARED_RUNTIME_ONLY FALSE)
endif()
install(EXPORT TobrelToolsTargets NAMESPACE TobrelTools:: DESTINATION ${TOBREL_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/TobrelToolsConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TobrelToolsConfig.cmake INSTALL_DESTINATION ${TOBREL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TobrelToolsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/TobrelToolsConfig.cmake
  ${PROJECT_BINARY_DIR}/TobrelToolsConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/TobrelStringResources.cmake
  ${PROJECT_SOURCE_DIR}/cmake/TobrelSharedRuntime.cmake
  DESTINATION ${TOBREL_CMAKE_DIR})

configure_file(${PROJECT_SOURCE_DIR}/cmake/TobrelTools.pc.in ${PROJECT_BINARY_DIR}/TobrelTools.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/TobrelTools.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
