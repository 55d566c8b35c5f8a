# The transcript of a seed is the same every time it is written (enumeration
# order and results depend on nothing but the calls).
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
math(EXPR last "${SEEDS} - 1")
foreach(seed RANGE 0 ${last})
  foreach(run a b)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TOBREL_REGISTRY=${WORK_DIR}/${seed}${run}.db
                            "${TRANSCRIPT}" --seed ${seed} --ops ${OPS} --out "${WORK_DIR}/${seed}${run}.txt"
                    RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "seed ${seed}: registry_transcript failed (${rc})")
    endif()
  endforeach()
  execute_process(COMMAND "${TRANSCRIPT}" --compare "${WORK_DIR}/${seed}a.txt" "${WORK_DIR}/${seed}b.txt"
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "seed ${seed}: two runs gave different transcripts")
  endif()
endforeach()
