# Writes INPUT to OUTPUT as plain text with CR LF line ends. With GROFF set,
# INPUT is a manual page and is formatted first, in ASCII without the
# backspace overstrikes that a terminal turns into bold and underline.
if(GROFF)
  execute_process(
    COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-u -P-o ${INPUT}
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
