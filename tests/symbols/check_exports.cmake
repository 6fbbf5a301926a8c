# Compares the library's defined dynamic symbols with the expected list.
# Usage: cmake -DNM=<nm> -DLIBRARY=<lib> -DEXPECTED=<list file> -P check_exports.cmake

execute_process(COMMAND "${NM}" -D --defined-only "${LIBRARY}"
  OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${errors}")
endif()

# Lines are "<address> <type> <name>". Absolute entries (type A) are the version
# definitions a linker may add; they are not code or data of the library.
string(REPLACE "\n" ";" listing_lines "${listing}")
set(actual "")
foreach(line IN LISTS listing_lines)
  if(line MATCHES "^[0-9A-Fa-f]* +([A-Za-z]) +([^ ]+)$" AND NOT CMAKE_MATCH_1 STREQUAL "A")
    list(APPEND actual "${CMAKE_MATCH_2}")
  endif()
endforeach()

file(STRINGS "${EXPECTED}" expected_lines)
set(expected "")
foreach(line IN LISTS expected_lines)
  string(STRIP "${line}" name)
  if(NOT name STREQUAL "" AND NOT name MATCHES "^#")
    list(APPEND expected "${name}")
  endif()
endforeach()

set(missing ${expected})
set(unexpected ${actual})
if(actual)
  list(REMOVE_ITEM missing ${actual})
endif()
if(expected)
  list(REMOVE_ITEM unexpected ${expected})
endif()

if(missing OR unexpected)
  list(SORT missing)
  list(SORT unexpected)
  list(JOIN missing "\n  " missing_text)
  list(JOIN unexpected "\n  " unexpected_text)
  if(NOT missing)
    set(missing_text "(none)")
  endif()
  if(NOT unexpected)
    set(unexpected_text "(none)")
  endif()
  message(FATAL_ERROR "Exported symbols of ${LIBRARY} differ from ${EXPECTED}\n"
    "Missing:\n  ${missing_text}\nUnexpected:\n  ${unexpected_text}")
endif()
list(LENGTH actual count)
message(STATUS "${count} exported symbols, as expected")
