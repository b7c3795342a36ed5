# Writes a header with the addresses of a few monitor symbols, read from the
# linked ELF with nm, for the tests that need to know where the code put them.
# Inputs: NM, ELF, OUTPUT.
set(names relocation_jump startup output_enabled slow_output monitor_code_end put_hex)
execute_process(COMMAND ${NM} ${ELF} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${ELF}")
endif()
set(text "// Generated from monitor.elf by monitor_symbols.cmake.\n#pragma once\n#include <cstdint>\n")
foreach(name ${names})
  string(REGEX MATCH "([0-9a-f]+) [A-Za-z] ${name}\n" line "${listing}")
  if(NOT line)
    message(FATAL_ERROR "monitor.elf has no symbol ${name}")
  endif()
  string(APPEND text "constexpr uint32_t SYMBOL_${name} = 0x${CMAKE_MATCH_1};\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
