# `zarn master`'s progress bar: drawn while standard output and standard error are a terminal,
# never when the output goes to a file or with --quiet. `script` gives the commands a terminal.
# Run as: cmake -DZARN=<zarn binary> -DWORK=<scratch folder> -P this file.

if(NOT ZARN OR NOT WORK)
  message(FATAL_ERROR "usage: cmake -DZARN=<zarn> -DWORK=<folder> -P master_progress.cmake")
endif()
find_program(SCRIPT script)
if(NOT SCRIPT)
  message(STATUS "no script(1) to give zarn a terminal; skipped")
  return()
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${ZARN}" generate demo "${WORK}/in.wav" --seconds 2 OUTPUT_QUIET)

# Runs `command` (a shell line) on a terminal; sets `seen` to everything the terminal showed.
function(on_terminal command)
  execute_process(COMMAND "${SCRIPT}" -qec "${command}" /dev/null
    RESULT_VARIABLE rc OUTPUT_VARIABLE shown ERROR_VARIABLE shown)
  if(NOT rc EQUAL 0 AND NOT rc EQUAL 1)
    message(FATAL_ERROR "${command}: exit status ${rc}\n${shown}")
  endif()
  set(seen "${shown}" PARENT_SCOPE)
endfunction()

set(master "'${ZARN}' master '${WORK}/in.wav' --codecs none --no-pdf")

on_terminal("${master} --out '${WORK}/a'")
string(FIND "${seen}" "1/1 tracks" at)
if(at EQUAL -1)
  message(FATAL_ERROR "on a terminal the bar was not drawn:\n${seen}")
endif()

foreach(case "--out '${WORK}/b' > '${WORK}/log.txt'" "--out '${WORK}/c' --quiet")
  on_terminal("${master} ${case}")
  string(FIND "${seen}" "tracks" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${case}: a bar was drawn:\n${seen}")
  endif()
endforeach()
file(READ "${WORK}/log.txt" log)
string(FIND "${log}" "tracks" at)
if(NOT at EQUAL -1 OR NOT EXISTS "${WORK}/b/in.wav")
  message(FATAL_ERROR "the master with its output in a file:\n${log}")
endif()
