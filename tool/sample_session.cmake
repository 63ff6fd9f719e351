# A short desk session on a small sample library, for the `run` target:
#
#   cmake -DLENDREC=<lendrec> [-DEMULATOR=a|b] -DLIBRARY=<folder> -P sample_session.cmake
#
# The session runs inside the folder, made afresh each time. "Today" is fixed at 15/01/2026, so
# the session reads the same on every run. Each command is shown as typed,
# then its output; a command that fails stops the session.
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${LIBRARY}")
file(MAKE_DIRECTORY "${LIBRARY}")
set(ENV{LENDREC_TODAY} "15/01/2026")
unset(ENV{LENDREC_LIBRARY})

function(desk)
  set(shown "")
  foreach(arg IN LISTS ARGN)
    if(arg MATCHES " ")
      set(arg "\"${arg}\"")
    endif()
    string(APPEND shown " ${arg}")
  endforeach()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "$ lendrec${shown}")
  execute_process(COMMAND ${emulator} "${LENDREC}" ${ARGN} RESULT_VARIABLE status
                  WORKING_DIRECTORY "${LIBRARY}")
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "lendrec${shown}: exit status ${status}")
  endif()
endfunction()

desk(init)
desk(book add "Moby Dick" "Herman Melville" Adventure --copies 2)
desk(book add "Emma" "Jane Austen" Novel)
desk(user add "Ann Lee" "1 Main St" "+34 91 234 56 78")
desk(checkout 1 1 --date 01/12/2025)
desk(checkout 2 1 --date 02/12/2025 --days 14)
desk(book list)
desk(overdue)
desk(return 1)
desk(check)
