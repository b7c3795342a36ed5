# Writes the placeholder boot code that the image carries until the monitor
# is built: one ARM word "b ." (0xEAFFFFFE, a branch to itself, so a board
# that starts it just waits), then a line of text that names it, padded with
# spaces to whole 32-bit words.
#
#   cmake -DOUTPUT=<file> -P make_placeholder_code.cmake
if(NOT OUTPUT)
  message(FATAL_ERROR "make_placeholder_code.cmake: OUTPUT is not set")
endif()

set(text "korvane placeholder boot code: the monitor is not built yet")
string(LENGTH "${text}" n)
math(EXPR pad "(4 - ${n} % 4) % 4")
if(pad GREATER 0)
  foreach(i RANGE 1 ${pad})
    string(APPEND text " ")
  endforeach()
endif()

# 0xEAFFFFFE, little-endian.
string(ASCII 254 255 255 234 branch_to_self)
file(WRITE "${OUTPUT}.tmp" "${branch_to_self}${text}")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
