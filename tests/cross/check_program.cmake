# Runs an exercise program in a fresh working directory and checks what it
# prints and the record file it leaves, byte for byte.
#
#   cmake -DPROGRAM=<exe> [-DEMULATOR=<a|b|c>] -DWORK_DIR=<dir>
#         [-DRUNS=<n>] [-DEXPECTED_STDOUT=<file>]
#         [-DRECORD_FILE=<name> -DEXPECTED_RECORD_FILE=<file> -DLINE_END=LF|CRLF]
#         [-DRECORD_FILE_IS_DIRECTORY=ON -DEXPECTED_STDERR=<text>]
#         -P check_program.cmake
#
# EMULATOR is the command that runs the program (Wine for a Windows build),
# its words separated by '|'. Standard output is compared line by line: a
# CR LF from the Windows C library counts as a line end. The record file is
# compared byte for byte with EXPECTED_RECORD_FILE, whose LF line ends are
# first turned into LINE_END. Each of the RUNS runs (1 by default) must give
# the same output and leave the same file.
#
# With RECORD_FILE_IS_DIRECTORY a directory stands where the record file is
# to be written: the program must then fail, printing EXPECTED_STDERR.
cmake_minimum_required(VERSION 3.25)

foreach(var PROGRAM WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_program.cmake: ${var} is not set")
  endif()
endforeach()
if(NOT DEFINED RUNS)
  set(RUNS 1)
endif()
string(REPLACE "|" ";" emulator "${EMULATOR}")

# Shows a text with its line ends visible, one line of output per line.
function(visible text out_var)
  string(REPLACE "\r" "<CR>" text "${text}")
  string(REPLACE "\n" "<LF>\n    " text "${text}")
  set(${out_var} "    ${text}" PARENT_SCOPE)
endfunction()

function(expect_same what got want)
  if(NOT got STREQUAL want)
    visible("${got}" shown_got)
    visible("${want}" shown_want)
    message(FATAL_ERROR "${what} differs.\n  got:\n${shown_got}\n  expected:\n${shown_want}")
  endif()
endfunction()

# A file's bytes as hex pairs: file(READ) without HEX drops CRs.
function(expect_same_bytes what path want)
  file(READ "${path}" got_hex HEX)
  string(HEX "${want}" want_hex)
  if(NOT got_hex STREQUAL want_hex)
    file(READ "${path}" got)
    string(REGEX REPLACE "(..)" "\\1 " got_hex "${got_hex}")
    string(REGEX REPLACE "(..)" "\\1 " want_hex "${want_hex}")
    message(FATAL_ERROR "${what} differs.\n  got:\n${got}\n  ${got_hex}\n"
                        "  expected:\n${want}\n  ${want_hex}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
if(RECORD_FILE_IS_DIRECTORY)
  file(MAKE_DIRECTORY "${WORK_DIR}/${RECORD_FILE}")
endif()

foreach(run RANGE 1 ${RUNS})
  execute_process(
    COMMAND ${emulator} "${PROGRAM}"
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE status
    OUTPUT_VARIABLE stdout
    ERROR_VARIABLE stderr
    TIMEOUT 120)
  string(REPLACE "\r\n" "\n" stdout "${stdout}")
  string(REPLACE "\r\n" "\n" stderr "${stderr}")

  if(RECORD_FILE_IS_DIRECTORY)
    if(status STREQUAL "0")
      message(FATAL_ERROR "run ${run}: ${PROGRAM} succeeded although ${RECORD_FILE} is a directory")
    endif()
    string(FIND "${stderr}" "${EXPECTED_STDERR}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "run ${run}: the error output lacks '${EXPECTED_STDERR}':\n${stderr}")
    endif()
    file(GLOB entries RELATIVE "${WORK_DIR}" "${WORK_DIR}/*")
    if(NOT entries STREQUAL RECORD_FILE)
      message(FATAL_ERROR "run ${run}: the failed save left ${entries} behind")
    endif()
    message(STATUS "run ${run}: stopped as expected:\n${stderr}")
    continue()
  endif()

  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "run ${run}: ${PROGRAM} exited with ${status}\n${stdout}\n${stderr}")
  endif()
  expect_same("run ${run}: the error output" "${stderr}" "")
  if(DEFINED EXPECTED_STDOUT)
    file(READ "${EXPECTED_STDOUT}" want)
    expect_same("run ${run}: the standard output" "${stdout}" "${want}")
  endif()
  if(DEFINED EXPECTED_RECORD_FILE)
    file(READ "${EXPECTED_RECORD_FILE}" want)
    if(LINE_END STREQUAL "CRLF")
      string(REPLACE "\n" "\r\n" want "${want}")
    endif()
    expect_same_bytes("run ${run}: ${RECORD_FILE}" "${WORK_DIR}/${RECORD_FILE}" "${want}")
  endif()
  message(STATUS "run ${run}: as expected")
endforeach()
