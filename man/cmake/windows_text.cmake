# Writes INPUT to OUTPUT as plain text with CR LF line ends. With GROFF set,
# INPUT is a manual page and is formatted first as its Windows manual
# (register `windows` set), in ASCII without the backspace overstrikes that
# a terminal turns into bold and underline, and without hyphenation, so that
# a file name is never split at the end of a line.
if(GROFF)
  execute_process(
    COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-u -P-o -rwindows=1 -rHY=0 ${INPUT}
    OUTPUT_VARIABLE text
    ERROR_VARIABLE errors
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT errors STREQUAL "")
    message(FATAL_ERROR "groff failed on ${INPUT}: ${errors}")
  endif()
else()
  file(READ ${INPUT} text)
endif()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
# Through a temporary file, so that a failed run leaves no half-written one.
file(WRITE ${OUTPUT}.tmp "${text}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
