# Fails when the monitor's code holds an instruction the board's core does
# not have or the monitor must not use: the core has 8-, 16- and 32-bit loads
# and stores and block transfers only (no doubleword or exclusive transfers,
# no swap), runs the monitor in ARM state (no Thumb encodings), and the
# monitor leaves the processor's state, coprocessors included, as it found it.
#   cmake -DOBJDUMP=... -DELF=monitor.elf -P instruction_set.cmake
execute_process(COMMAND ${OBJDUMP} -d ${ELF} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot disassemble ${ELF}")
endif()

set(cond "(eq|ne|cs|hs|cc|lo|mi|pl|vs|vc|hi|ls|ge|lt|gt|le|al)?")
set(allowed_transfer
  "^((ldr|str)(b|h|sb|sh)?${cond}|(ldm|stm)(ia|ib|da|db|fd|fa|ed|ea)?${cond}|(push|pop)${cond})$")
# Every other transfer, and the instructions that change processor state.
set(forbidden "^(ld|st|swp|pld|msr|cps|setend|mcr|mrc|cdp|svc|swi|blx)")

string(REPLACE "\n" ";" lines "${listing}")
set(instructions 0)
set(refused "")
foreach(line IN LISTS lines)
  # An instruction line: address, encoding, mnemonic and operands.
  if(NOT line MATCHES "^ *([0-9a-f]+):\t([0-9a-f ]+)\t([^ \t]+)")
    continue()
  endif()
  set(encoding "${CMAKE_MATCH_2}")
  set(mnemonic "${CMAKE_MATCH_3}")
  string(STRIP "${encoding}" encoding)
  if(mnemonic MATCHES "^\\.")  # literal data: .word and the like
    continue()
  endif()
  math(EXPR instructions "${instructions} + 1")
  if(NOT encoding MATCHES "^[0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f]$")
    string(APPEND refused "\n  Thumb: ${line}")
  elseif(mnemonic MATCHES "${forbidden}" AND NOT mnemonic MATCHES "${allowed_transfer}")
    string(APPEND refused "\n  ${line}")
  endif()
endforeach()

if(instructions EQUAL 0)
  message(FATAL_ERROR "no instructions found in ${ELF}")
endif()
if(NOT refused STREQUAL "")
  message(FATAL_ERROR "instructions the board's core does not take:${refused}")
endif()
message(STATUS "${instructions} instructions, all of the board's instruction set")
