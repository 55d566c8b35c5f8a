# Client side of the 32-bit MinGW package: the program's C++ runtime must be
# the shared one that TobrelTools.dll uses.
#
# The DLL throws InternalException* for its callers to catch. 32-bit
# MinGW-w64 unwinds with DWARF tables that each copy of the runtime keeps for
# itself: an exception thrown under the DLL's runtime (libgcc_s_dw2-1.dll,
# libstdc++-6.dll) cannot unwind through the frames of a program that carries
# its own static copy (-static, -static-libgcc, -static-libstdc++), and the
# program ends in std::terminate at the first one. 64-bit Windows unwinds
# through the system's tables, so the 64-bit package needs none of this.
#
# So the imported target asks for the shared runtime (-shared-libgcc), and
# when the project has been configured, every target that links
# TobrelTools::TobrelTools is checked for a static runtime in its own link
# options and in the project's link and compile flags: configuring fails,
# naming the target and the flag. TOBREL_ALLOW_STATIC_RUNTIME=ON makes that a
# warning, for a program that never lets the library throw.

set_property(TARGET TobrelTools::TobrelTools APPEND PROPERTY INTERFACE_LINK_OPTIONS -shared-libgcc)

# Appends to out_var "<where>: <flag>" for each static-runtime flag in text.
function(_tobrel_static_flags out_var where text)
  set(found ${${out_var}})
  if("${text}" MATCHES "(^|[ ;])(-static|-static-libgcc|-static-libstdc\\+\\+)($|[ ;>])")
    list(APPEND found "${where}: ${CMAKE_MATCH_2}")
  endif()
  set(${out_var} ${found} PARENT_SCOPE)
endfunction()

function(_tobrel_targets_below dir out_var)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _tobrel_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out_var} ${targets} PARENT_SCOPE)
endfunction()

function(_tobrel_check_static_runtime)
  set(global)
  string(TOUPPER "${CMAKE_BUILD_TYPE}" config)
  foreach(var CMAKE_CXX_FLAGS CMAKE_CXX_FLAGS_${config} CMAKE_EXE_LINKER_FLAGS CMAKE_EXE_LINKER_FLAGS_${config}
              CMAKE_SHARED_LINKER_FLAGS CMAKE_SHARED_LINKER_FLAGS_${config} CMAKE_CXX_STANDARD_LIBRARIES)
    _tobrel_static_flags(global ${var} "${${var}}")
  endforeach()
  _tobrel_targets_below(${CMAKE_SOURCE_DIR} targets)
  set(found)
  foreach(target IN LISTS targets)
    get_target_property(libs ${target} LINK_LIBRARIES)
    if(NOT "${libs}" MATCHES "TobrelTools::TobrelTools")
      continue()
    endif()
    set(own)
    foreach(prop LINK_OPTIONS LINK_FLAGS LINK_LIBRARIES COMPILE_OPTIONS)
      get_target_property(value ${target} ${prop})
      if(value)
        _tobrel_static_flags(own ${prop} "${value}")
      endif()
    endforeach()
    foreach(item IN LISTS global own)
      list(APPEND found "target ${target}, ${item}")
    endforeach()
  endforeach()
  if(NOT found)
    return()
  endif()
  list(JOIN found "\n  " where)
  set(text "TobrelTools: a program linked with a static C++ runtime cannot catch the \
exceptions of the 32-bit TobrelTools.dll (DWARF unwinding does not cross from the \
DLL's shared runtime into a static one: the program would end at the first \
InternalException* the library throws). Found:\n  ${where}\n\
Link the runtime dynamically (drop -static, -static-libgcc and -static-libstdc++) \
and ship libgcc_s_dw2-1.dll, libstdc++-6.dll and libwinpthread-1.dll from the \
package's bin folder beside the program, as TobrelTools.dll itself. \
Set TOBREL_ALLOW_STATIC_RUNTIME=ON only for a program that never lets the library throw.")
  if(TOBREL_ALLOW_STATIC_RUNTIME)
    message(WARNING "${text}")
  else()
    message(FATAL_ERROR "${text}")
  endif()
endfunction()

# Once per project, when the top directory has been configured (CMake 3.19
# and later; older ones check the project's flags right away).
get_property(_tobrel_deferred GLOBAL PROPERTY TOBREL_STATIC_RUNTIME_CHECK)
if(CMAKE_VERSION VERSION_LESS 3.19)
  _tobrel_check_static_runtime()
elseif(NOT _tobrel_deferred)
  set_property(GLOBAL PROPERTY TOBREL_STATIC_RUNTIME_CHECK ON)
  cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL _tobrel_check_static_runtime)
endif()
unset(_tobrel_deferred)
