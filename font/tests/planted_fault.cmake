# What the planted-fault checks of the font generators share: the font source read
# as a list of lines to damage, and the run of the generator on the damaged copy with
# the checks of what it must do.
#
# Include it after setting SOURCE; it leaves the source's lines in `lines`.

cmake_minimum_required(VERSION 3.18)

file(READ "${SOURCE}" text)
# The source is handled as a CMake list of lines; park the characters that
# lists give a meaning of their own.
string(REPLACE "\\" "@BACKSLASH@" text "${text}")
string(REPLACE ";" "@SEMICOLON@" text "${text}")
string(REPLACE "[" "@LBRACKET@" text "${text}")
string(REPLACE "]" "@RBRACKET@" text "${text}")
string(REPLACE "\n" ";" lines "${text}")

# Index (0-based) of the first line that starts with PREFIX; line number is index + 1.
function(index_of prefix out)
  set(index 0)
  foreach(line IN LISTS lines)
    string(FIND "${line}" "${prefix}" at)
    if(at EQUAL 0)
      set(${out} ${index} PARENT_SCOPE)
      return()
    endif()
    math(EXPR index "${index} + 1")
  endforeach()
  message(FATAL_ERROR "${SOURCE} has no line starting with '${prefix}'")
endfunction()

macro(replace_line index new_text)
  list(REMOVE_AT lines ${index})
  list(INSERT lines ${index} "${new_text}")
endmacro()

# Writes the lines, as damaged, to WORK_DIR/CASE.font and runs GENERATOR (called NAME in
# messages) on it. For CASE "unmodified" the output must equal REFERENCE; for any other
# case the generator must fail with status 1, leave no output, name the copy, point at
# expect_line when it is set, and say expect_text.
function(check_planted_fault generator name)
  list(JOIN lines "\n" text)
  string(REPLACE "@RBRACKET@" "]" text "${text}")
  string(REPLACE "@LBRACKET@" "[" text "${text}")
  string(REPLACE "@SEMICOLON@" ";" text "${text}")
  string(REPLACE "@BACKSLASH@" "\\" text "${text}")

  file(MAKE_DIRECTORY "${WORK_DIR}")
  set(source_copy "${WORK_DIR}/${CASE}.font")
  set(output "${WORK_DIR}/${CASE}.fake")
  file(WRITE "${source_copy}" "${text}")
  file(REMOVE "${output}")
  execute_process(COMMAND "${generator}" "${source_copy}" "${output}"
                  RESULT_VARIABLE status ERROR_VARIABLE messages OUTPUT_QUIET)

  if(CASE STREQUAL "unmodified")
    if(NOT status STREQUAL "0")
      message(FATAL_ERROR "${name} refused the unmodified source (${status}):\n${messages}")
    endif()
    file(SHA256 "${output}" got)
    file(SHA256 "${REFERENCE}" want)
    if(NOT got STREQUAL want)
      message(FATAL_ERROR "the output of the copied source differs from ${REFERENCE}")
    endif()
    return()
  endif()

  if(NOT status STREQUAL "1")
    message(FATAL_ERROR "${name} should have failed with status 1, got '${status}':\n${messages}")
  endif()
  if(EXISTS "${output}")
    message(FATAL_ERROR "${name} left an output behind although the source is broken")
  endif()
  string(FIND "${messages}" "${source_copy}:" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "message does not name ${CASE}.font:\n${messages}")
  endif()
  if(expect_line)
    string(FIND "${messages}" "${source_copy}:${expect_line}: " at)
    if(at EQUAL -1)
      message(FATAL_ERROR "message does not point at ${CASE}.font line ${expect_line}:\n${messages}")
    endif()
  endif()
  string(FIND "${messages}" "${expect_text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "message does not say '${expect_text}':\n${messages}")
  endif()
endfunction()
