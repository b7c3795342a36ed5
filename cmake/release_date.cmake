# korvane_release_epoch(<news> <out>): the newest release's day in NEWS, at
# noon UTC as the Debian changelog dates it, in seconds since 1970. What the
# packages' file times are, so that two builds of one release agree.
function(korvane_release_epoch news out)
  file(STRINGS ${news} lines REGEX "^[0-9][0-9.]* \\([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\\)$")
  if(NOT lines)
    message(FATAL_ERROR "${news}: no release with its date")
  endif()
  list(GET lines 0 newest)
  string(REGEX MATCH "\\(([0-9]+)-([0-9]+)-([0-9]+)\\)" _ "${newest}")
  math(EXPR y "${CMAKE_MATCH_1}")
  math(EXPR m "${CMAKE_MATCH_2}")
  math(EXPR d "${CMAKE_MATCH_3}")
  # Days since 1970-01-01 of a day of the Gregorian calendar, counted in
  # years that begin on 1 March, so that a leap day is the last of its year.
  if(m LESS_EQUAL 2)
    math(EXPR y "${y} - 1")
    math(EXPR m "${m} + 9")
  else()
    math(EXPR m "${m} - 3")
  endif()
  math(EXPR era "${y} / 400")
  math(EXPR year_of_era "${y} - ${era} * 400")
  math(EXPR day_of_year "(153 * ${m} + 2) / 5 + ${d} - 1")
  math(EXPR day_of_era "${year_of_era} * 365 + ${year_of_era} / 4 - ${year_of_era} / 100 + ${day_of_year}")
  math(EXPR days "${era} * 146097 + ${day_of_era} - 719468")
  math(EXPR epoch "${days} * 86400 + 12 * 3600")
  set(${out} ${epoch} PARENT_SCOPE)
endfunction()
