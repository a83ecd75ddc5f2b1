# cmake -DGENERATOR=<make_samples> -DSOURCE_DIR=<examples> -DWORK_DIR=<scratch>
#       -DSAMPLES=a.prn,b.prn,... -P check_samples.cmake
#
# Regenerates the samples into an empty WORK_DIR and checks that exactly the
# listed files come out, each byte for byte equal to the copy in SOURCE_DIR.

foreach(var GENERATOR SOURCE_DIR WORK_DIR SAMPLES)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "check_samples.cmake: ${var} is not set")
  endif()
endforeach()
string(REPLACE "," ";" samples "${SAMPLES}")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
execute_process(COMMAND "${GENERATOR}" "${WORK_DIR}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "make_samples failed (${rc}):\n${out}${err}")
endif()

file(GLOB written RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
list(SORT written)
set(expected ${samples})
list(SORT expected)
if(NOT "${written}" STREQUAL "${expected}")
  message(FATAL_ERROR "make_samples wrote [${written}], expected [${expected}]")
endif()

set(stale "")
foreach(name IN LISTS samples)
  if(NOT EXISTS "${SOURCE_DIR}/${name}")
    list(APPEND stale "${name} (missing)")
    continue()
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files
      "${WORK_DIR}/${name}" "${SOURCE_DIR}/${name}"
    RESULT_VARIABLE differs)
  if(differs)
    list(APPEND stale "${name}")
  endif()
endforeach()
if(stale)
  list(JOIN stale ", " stale_text)
  message(FATAL_ERROR "out of date: ${stale_text}\n"
    "regenerate with: make_samples ${SOURCE_DIR}")
endif()
message(STATUS "samples up to date: ${SAMPLES}")
