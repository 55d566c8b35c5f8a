# Packages built by cpack from the install rules (run `cpack` in the build
# folder after building):
#   Linux    tobreltools_<version>_<arch>.deb: the shared library, headers,
#            CMake package, pkg-config file, tobrel and tobrel-rc under /usr.
#            Depends are worked out by dpkg-shlibdeps from what the binaries
#            link (SQLite, ICU, the C and C++ runtimes); zlib is used only by
#            a generator at build time and is not one of them. The shlibs
#            file follows the library's version policy: the soname carries
#            the major version, and a program built against this version
#            needs at least this version of the same major one.
#   Windows  TobrelTools-<version>-win64.zip or -win32.zip: the DLL, its import
#            library, the MinGW runtime DLLs it needs, headers, the CMake
#            package and tobrel.exe, in one top folder (windres compiles string
#            tables there, so there is no tobrel-rc.exe).
set(CPACK_PACKAGE_NAME tobreltools)
set(CPACK_PACKAGE_VENDOR TobrelTools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Object persistence, binary file streams, code page 932 strings and registry snapshots")
set(CPACK_PACKAGE_CONTACT "TobrelTools developers <tobreltools@example.org>")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME TobrelTools-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME TobrelTools-${PROJECT_VERSION}-win32)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  # The stripping step would look for the host's strip, not MinGW's.
  set(CPACK_STRIP_FILES OFF)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # tobrel links the library of this same package.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
endif()
include(CPack)
