# Runs registry_transcript with the same seeds on Linux (against a registry
# store file of its own) and under Wine (against the Wine prefix's registry),
# and compares each pair of transcripts.
#   -DLINUX_TRANSCRIPT=  the Linux program   -DWINDOWS_TRANSCRIPT= the .exe
#   -DEMULATOR=          the Wine loader     -DWORK_DIR= scratch folder
#   -DSEEDS= -DOPS=      defaults; the environment's TOBREL_REGDIFF_SEEDS and
#                        TOBREL_REGDIFF_OPS override them
if(NOT EXISTS "${LINUX_TRANSCRIPT}")
  message(FATAL_ERROR "${LINUX_TRANSCRIPT} is missing: build the Linux tree first "
                      "(cmake --build build --target registry_transcript)")
endif()
if(DEFINED ENV{TOBREL_REGDIFF_SEEDS})
  set(SEEDS $ENV{TOBREL_REGDIFF_SEEDS})
endif()
if(DEFINED ENV{TOBREL_REGDIFF_OPS})
  set(OPS $ENV{TOBREL_REGDIFF_OPS})
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(failed "")
math(EXPR last "${SEEDS} - 1")
foreach(seed RANGE 0 ${last})
  set(linux "${WORK_DIR}/${seed}.linux.txt")
  set(windows "${WORK_DIR}/${seed}.windows.txt")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TOBREL_REGISTRY=${WORK_DIR}/${seed}.db
                          "${LINUX_TRANSCRIPT}" --seed ${seed} --ops ${OPS} --out "${linux}"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "seed ${seed}: the Linux transcript failed (${rc})")
  endif()
  execute_process(COMMAND ${EMULATOR} "${WINDOWS_TRANSCRIPT}" --seed ${seed} --ops ${OPS} --out "Z:${windows}"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "seed ${seed}: the Windows transcript failed (${rc})")
  endif()
  execute_process(COMMAND "${LINUX_TRANSCRIPT}" --compare "${linux}" "${windows}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    list(APPEND failed ${seed})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "the transcripts differ for seeds: ${failed} (files in ${WORK_DIR})")
endif()
message(STATUS "${SEEDS} seeds of ${OPS} registry calls each: Linux and Windows agree")
