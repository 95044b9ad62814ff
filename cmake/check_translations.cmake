# Runs lupdate over the window's sources into a copy of the English translation and fails when a
# source text has no finished translation, or when lupdate could not place a text in its class
# (its context would then never match at run time).
#   cmake -DLUPDATE=... -DSOURCE_DIR=... -DBINARY_DIR=... -DTS=... -DWORK=... -P check_translations.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
get_filename_component(ts_name "${TS}" NAME)
set(copy "${WORK}/${ts_name}")
configure_file("${TS}" "${copy}" COPYONLY)
execute_process(
  COMMAND "${LUPDATE}" "${SOURCE_DIR}/src/ui" -I "${SOURCE_DIR}/src" -I "${BINARY_DIR}/generated"
          -ts "${copy}" -locations none -no-obsolete
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lupdate failed (${rc}):\n${out}${err}")
endif()
set(problems "")
string(REGEX MATCHALL "[^\n]*(Qualifying with unknown|lacks Q_OBJECT|Cannot invoke tr|Discarding unconsumed)[^\n]*"
       warnings "${out}${err}")
foreach(w IN LISTS warnings)
  string(APPEND problems "  ${w}\n")
endforeach()
file(READ "${copy}" ts)
# The file is cut into lists at ";": the semicolons of its own (&amp; and the like) and the
# brackets, which would hold a list element together, are put out of the way first.
string(REPLACE ";" "<semicolon>" ts "${ts}")
string(REPLACE "[" "<open>" ts "${ts}")
string(REPLACE "]" "<close>" ts "${ts}")
# Each message with an unfinished (or missing) translation, named by its context and source.
string(REPLACE "</context>" "</context>;" contexts "${ts}")
foreach(context IN LISTS contexts)
  if(NOT context MATCHES "<name>([^<]*)</name>")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  string(REPLACE "</message>" "</message>;" messages "${context}")
  foreach(message IN LISTS messages)
    if(message MATCHES "type=\"unfinished\"" OR message MATCHES "<translation></translation>")
      string(REGEX MATCH "<source>([^\n]*)</source>" source "${message}")
      set(source "${CMAKE_MATCH_1}")
      string(REPLACE "<semicolon>" ";" source "${source}")
      string(REPLACE "<open>" "[" source "${source}")
      string(REPLACE "<close>" "]" source "${source}")
      string(APPEND problems "  ${name}: ${source}\n")
    endif()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "translations/${ts_name} is not complete; run \"cmake --build build --target "
                      "update_translations\" and translate:\n${problems}")
endif()
message(STATUS "every text of the window has its English translation")
