# Hands record files from one build of the core to another: WRITER saves the
# exchange set into a fresh WORK_DIR, the files are checked for the writer's
# line ends, then READER loads them and checks every field.
#
#   cmake -DWRITER=<a|b|c> -DREADER=<a|b|c> -DWRITER_LINE_END=LF|CRLF
#         -DWORK_DIR=<dir> -P exchange_records.cmake
#
# WRITER and READER are record_exchange commands, words separated by '|'
# (a Windows build's starts with its emulator). Both run inside WORK_DIR.
cmake_minimum_required(VERSION 3.25)

foreach(var WRITER READER WRITER_LINE_END WORK_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "exchange_records.cmake: ${var} is not set")
  endif()
endforeach()
string(REPLACE "|" ";" writer "${WRITER}")
string(REPLACE "|" ";" reader "${READER}")

function(run_exchange what command)
  execute_process(
    COMMAND ${command} ${what} .
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE status
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 120)
  if(NOT status STREQUAL "0")
    message(FATAL_ERROR "record_exchange ${what} failed (${status}):\n${output}")
  endif()
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

run_exchange(write "${writer}")

# Every line end is the writer's: CR LF from a Windows build, a lone LF
# from a Linux build; the trailer has none.
# (file(READ) without HEX drops CRs, so the bytes are counted in hex.)
set(bytes_CR " 0d ")
set(bytes_LF " 0a ")
set(bytes_CRLF " 0d  0a ")
foreach(name books.csv users.csv loans.csv)
  file(READ "${WORK_DIR}/${name}" hex HEX)
  string(REGEX REPLACE "(..)" " \\1 " spaced "${hex}")
  # Quoted texts may hold any line breaks; only the line ends between
  # records are counted.
  string(REGEX REPLACE " 22 ( ([013-9a-f][0-9a-f]|2[013-9a-f]) )* 22 " " 22  22 " unquoted "${spaced}")
  string(LENGTH "${unquoted}" length)
  foreach(kind CR LF CRLF)
    string(REPLACE "${bytes_${kind}}" "" rest "${unquoted}")
    string(LENGTH "${rest}" rest_length)
    string(LENGTH "${bytes_${kind}}" kind_length)
    math(EXPR count_${kind} "(${length} - ${rest_length}) / ${kind_length}")
  endforeach()
  if(WRITER_LINE_END STREQUAL "CRLF")
    set(ok FALSE)
    if(count_CRLF GREATER 0 AND count_CRLF EQUAL count_LF AND count_CRLF EQUAL count_CR)
      set(ok TRUE)
    endif()
  else()
    set(ok FALSE)
    if(count_LF GREATER 0 AND count_CR EQUAL 0)
      set(ok TRUE)
    endif()
  endif()
  if(NOT ok)
    message(FATAL_ERROR "${name} has ${count_CRLF} CR LF, ${count_LF} LF and ${count_CR} CR, "
                        "not ${WRITER_LINE_END} line ends only:\n${spaced}")
  endif()
  if(NOT hex MATCHES "3[0-9]$")
    message(FATAL_ERROR "${name} does not end in a bare trailer:\n${spaced}")
  endif()
endforeach()

run_exchange(check "${reader}")
message(STATUS "record files written with ${WRITER_LINE_END} line ends load with every field intact")
