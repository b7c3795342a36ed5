# Writes the numeric constants of a constants-only C++ header as linker-script
# assignments, so that the monitor's link uses the same memory map and
# budgets as its code. Only `constexpr uint32_t NAME = VALUE;` lines are
# taken; their values are numbers or sums of earlier names, which the linker
# reads as C does.
# Inputs: HEADER, OUTPUT.
file(STRINGS ${HEADER} lines REGEX "^constexpr uint32_t [A-Z0-9_]+ = [^;]+;")
set(text "/* Generated from ${HEADER} by linker_constants.cmake. */\n")
foreach(line ${lines})
  if(NOT line MATCHES "^constexpr uint32_t ([A-Z0-9_]+) = ([0-9A-Za-z_ +-]+);")
    message(FATAL_ERROR "not a linker constant: ${line}")
  endif()
  string(APPEND text "${CMAKE_MATCH_1} = ${CMAKE_MATCH_2};\n")
endforeach()
if(NOT text MATCHES "MONITOR_RUN_ADDRESS")
  message(FATAL_ERROR "${HEADER} defines no MONITOR_RUN_ADDRESS")
endif()
file(WRITE ${OUTPUT} "${text}")
