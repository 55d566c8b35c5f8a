# tobrel_add_string_resources(<target> <file.rc>...)
# Compiles the STRINGTABLE blocks of resource scripts into <target>.

# On Windows the resource compiler (windres with MinGW-w64) does the work.
if(WIN32)
  enable_language(RC)
endif()

function(tobrel_add_string_resources target)
  if(WIN32)
    target_sources(${target} PRIVATE ${ARGN})
  else()
    message(FATAL_ERROR "tobrel_add_string_resources: not available yet on this host")
  endif()
endfunction()
