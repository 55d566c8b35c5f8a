# tobrel_add_string_resources(<target> <file.rc>...)
#
# Compiles the STRINGTABLE blocks of resource scripts into <target>, so that
# LoadStringA(<module of target>, id, ...) finds them. On Windows the scripts
# are added to the target and the resource compiler (windres, rc) builds
# them. Elsewhere the tobrel-rc tool reads them at build time, after the
# project's C compiler (or its C++ compiler, in a project without C) has
# preprocessed them as a resource compiler would (RC_INVOKED defined; the
# headers they #include are tracked as dependencies), and generates C++ code
# that registers the strings under the module the target becomes; a script it
# cannot read fails the build with "file:line: error: reason".
#
# Call it in the directory that creates <target>. It links <target> to
# TobrelTools::TobrelTools with the PRIVATE keyword, so the target's other
# target_link_libraries calls must use keywords as well. For a static library
# the strings go into the executable or shared library it is linked into,
# provided the linker keeps the generated object (link it whole, or use an
# object library).

# On Windows the resource compiler (windres with MinGW-w64) does the work.
if(WIN32)
  enable_language(RC)
endif()

function(tobrel_add_string_resources target)
  if(NOT TARGET ${target})
    message(FATAL_ERROR "tobrel_add_string_resources: no target named '${target}'")
  endif()
  if(NOT ARGN)
    message(FATAL_ERROR "tobrel_add_string_resources(${target}): no resource script given")
  endif()
  if(WIN32)
    target_sources(${target} PRIVATE ${ARGN})
    return()
  endif()
  if(NOT TARGET TobrelTools::tobrel_rc)
    message(FATAL_ERROR "tobrel_add_string_resources: the tobrel-rc tool (TobrelTools::tobrel_rc) is not available")
  endif()

  if(CMAKE_C_COMPILER)
    set(preprocessor "${CMAKE_C_COMPILER}")
  else()
    set(preprocessor "${CMAKE_CXX_COMPILER}")
  endif()

  set(scripts)
  foreach(script IN LISTS ARGN)
    get_filename_component(abs "${script}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    list(APPEND scripts "${abs}")
  endforeach()
  # One generated file per call, so several calls for one target add up.
  get_property(count TARGET ${target} PROPERTY TOBREL_STRING_RESOURCE_CALLS)
  if(NOT count)
    set(count 0)
  endif()
  math(EXPR count "${count} + 1")
  set_property(TARGET ${target} PROPERTY TOBREL_STRING_RESOURCE_CALLS ${count})

  set(out "${CMAKE_CURRENT_BINARY_DIR}/tobrel_rc/${target}_strings_${count}.cpp")
  file(MAKE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}/tobrel_rc")
  add_custom_command(OUTPUT "${out}"
    COMMAND "$<TARGET_FILE:TobrelTools::tobrel_rc>" -o "${out}" -d "${out}.d"
            --preprocessor "${preprocessor}" ${scripts}
    DEPENDS ${scripts} TobrelTools::tobrel_rc
    DEPFILE "${out}.d"
    COMMENT "Compiling the string tables of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
  target_link_libraries(${target} PRIVATE TobrelTools::TobrelTools)
endfunction()
