# Runs tobrel-rc on a script it must refuse; passes when the tool fails, its
# message matches EXPECT, and no output file is left.
#   cmake -DTOOL=... -DPREPROCESSOR=<cc> -DSCRIPT=... -DOUT=... -DEXPECT=<regex> -P expect_failure.cmake
file(REMOVE "${OUT}")
execute_process(COMMAND "${TOOL}" -o "${OUT}" --preprocessor "${PREPROCESSOR}" "${SCRIPT}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "tobrel-rc accepted ${SCRIPT}")
endif()
if(NOT err MATCHES "${EXPECT}")
  message(FATAL_ERROR "unexpected message for ${SCRIPT}:\n${err}\nexpected: ${EXPECT}")
endif()
if(EXISTS "${OUT}")
  message(FATAL_ERROR "tobrel-rc left ${OUT} behind after failing")
endif()
