# cmake -DPROGRAM=... -DCHECKER=... -DDIR=... -P RunExample.cmake: runs an
# example that records take.wav and plays it, in a folder of its own on the
# virtual devices, then checks the file against what was played.
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}")
set(ENV{SORVAN_AUDIO} sim)
set(ENV{SORVAN_SIM_PLAYED} "${DIR}/played.raw")
execute_process(COMMAND "${PROGRAM}" WORKING_DIRECTORY "${DIR}" INPUT_FILE /dev/null
  RESULT_VARIABLE result TIMEOUT 60)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed: ${result}")
endif()
execute_process(COMMAND "${CHECKER}" "${DIR}/take.wav" "${DIR}/played.raw" ${EXTRA} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the recording is not what it should be")
endif()
