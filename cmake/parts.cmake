# The parts a build may leave out (options at the top of CMakeLists.txt),
# each checked for what it needs on this machine. A part that is on but
# cannot be built here is switched off for this configure, with a status
# line that says what is left out and why, or, with KORVANE_REQUIRE_ALL,
# refused.

# korvane_leave_out(<option> <what is left out> <why>)
macro(korvane_leave_out option what why)
  if(KORVANE_REQUIRE_ALL)
    message(FATAL_ERROR "${what} cannot be built: ${why}. Run scripts/setup.sh, or configure with "
                        "-D${option}=OFF.")
  endif()
  message(STATUS "Leaving out ${what}: ${why} (${option} is off for this build)")
  set(${option} OFF)
endmacro()

# korvane_leave_out_tests(<what is left out> <why>)
# The same for tests and checks that no option switches.
macro(korvane_leave_out_tests what why)
  if(KORVANE_REQUIRE_ALL)
    message(FATAL_ERROR "${what} cannot be built: ${why}. Run scripts/setup.sh.")
  endif()
  message(STATUS "Leaving out ${what}: ${why}")
endmacro()

# korvane_leave_out_with_diagnose(<option> <what is left out>)
# A part built on korvane-diagnose's code goes when korvane-diagnose does,
# whether this machine lacks its library or the build was told to.
macro(korvane_leave_out_with_diagnose option what)
  if(${option} AND NOT KORVANE_DIAGNOSE)
    message(STATUS "Leaving out ${what}: korvane-diagnose is left out")
    set(${option} OFF)
  endif()
endmacro()

# korvane-diagnose writes JSON with the JSON library's headers alone
# (nlohmann_json); so does the station, which links the diagnose library.
if(KORVANE_DIAGNOSE)
  korvane_headers_alone(nlohmann_json HEADER nlohmann/json.hpp FOLDER nlohmann)
  if(NOT nlohmann_json_FOUND)
    korvane_leave_out(KORVANE_DIAGNOSE "korvane-diagnose, its manual's script, tests, benchmark and fuzzer"
                      "nlohmann/json.hpp (nlohmann-json3-dev) not found")
  endif()
endif()

# tinyxml2::tinyxml2: the XML library the tests read reports back with.
find_path(TINYXML2_INCLUDE_DIR tinyxml2.h)
find_library(TINYXML2_LIBRARY tinyxml2)
if(TINYXML2_INCLUDE_DIR AND TINYXML2_LIBRARY)
  add_library(tinyxml2::tinyxml2 UNKNOWN IMPORTED GLOBAL)
  set_target_properties(tinyxml2::tinyxml2 PROPERTIES IMPORTED_LOCATION ${TINYXML2_LIBRARY}
                                                      INTERFACE_INCLUDE_DIRECTORIES ${TINYXML2_INCLUDE_DIR})
else()
  korvane_leave_out_tests("the tests that read the reports back as XML" "tinyxml2 (libtinyxml2-dev) not found")
endif()

# groff lints the manual pages, renders the Windows manuals and prints the
# script of korvane-diagnose's manual for its test; gzip alone compresses
# the pages that are installed.
find_program(GROFF groff)
if(NOT GROFF)
  korvane_leave_out_tests("the manual pages' lint and the test of korvane-diagnose's manual script"
                          "groff not found")
endif()

# korvane-station needs korvane-diagnose's library, SQLite and Boost's
# headers (boost_beast).
korvane_leave_out_with_diagnose(KORVANE_STATION "korvane-station, its tests and benchmarks")
if(KORVANE_STATION)
  find_package(SQLite3)
  korvane_headers_alone(boost_beast HEADER boost/beast.hpp FOLDER boost)
  if(NOT SQLite3_FOUND)
    korvane_leave_out(KORVANE_STATION "korvane-station, its tests and benchmarks"
                      "SQLite's library and header (libsqlite3-dev) not found")
  elseif(NOT boost_beast_FOUND)
    korvane_leave_out(KORVANE_STATION "korvane-station, its tests and benchmarks"
                      "boost/beast.hpp (libboost-dev) not found")
  endif()
endif()
# The station's page and korvane-line serve HTTPS, and their tests make
# throw-away certificates, with OpenSSL (libssl-dev).
if(KORVANE_STATION)
  find_package(OpenSSL 1.1.1)
  if(NOT OPENSSL_FOUND)
    korvane_leave_out(KORVANE_STATION "korvane-station, korvane-line, their tests and benchmarks"
                      "OpenSSL's library and headers (libssl-dev) not found")
  endif()
endif()

# korvane-line needs the station's parts and libpq (libpq-dev).
if(KORVANE_LINE AND NOT KORVANE_STATION)
  korvane_leave_out(KORVANE_LINE "korvane-line, its tests and benchmark"
                    "it is built from korvane-station's parts, which are left out")
endif()
if(KORVANE_LINE)
  find_package(PostgreSQL)
  if(NOT PostgreSQL_FOUND)
    korvane_leave_out(KORVANE_LINE "korvane-line, its tests and benchmark"
                      "PostgreSQL's client library and header (libpq-dev) not found")
  endif()
endif()

# The Windows build needs mingw-w64, korvane-diagnose's code, groff for the
# manuals and, for the station, SQLite's source, fetched here when missing.
korvane_leave_out_with_diagnose(KORVANE_WINDOWS "the Windows programs, their manuals and zip")
if(KORVANE_WINDOWS)
  find_program(KORVANE_MINGW_CXX x86_64-w64-mingw32-g++-posix)
  find_program(KORVANE_MINGW_STRIP x86_64-w64-mingw32-strip)
  set(sqlite_why "")
  if(KORVANE_STATION AND KORVANE_MINGW_CXX AND KORVANE_MINGW_STRIP AND GROFF)
    include(${CMAKE_CURRENT_LIST_DIR}/sqlite_source.cmake)
    korvane_sqlite_source(${KORVANE_SQLITE_SOURCE_DIR} sqlite_why)
  endif()
  if(NOT KORVANE_MINGW_CXX OR NOT KORVANE_MINGW_STRIP)
    korvane_leave_out(KORVANE_WINDOWS "the Windows programs, their manuals and zip"
                      "mingw-w64 (x86_64-w64-mingw32-g++-posix) not found")
  elseif(NOT GROFF)
    korvane_leave_out(KORVANE_WINDOWS "the Windows programs, their manuals and zip"
                      "groff, which renders the manuals, not found")
  elseif(sqlite_why)
    korvane_leave_out(KORVANE_WINDOWS "the Windows programs, their manuals and zip"
                      "SQLite's source for korvane-station.exe is not in ${KORVANE_SQLITE_SOURCE_DIR}: ${sqlite_why}")
  endif()
endif()

# Wine runs the Windows programs: the Wine suite, and the install and manual
# tests that try the zip's programs.
if(KORVANE_WINDOWS)
  find_program(WINE wine)
  if(NOT WINE)
    korvane_leave_out(KORVANE_WINE_TESTS "the tests of the Windows programs under Wine"
                      "wine not found")
  endif()
elseif(KORVANE_WINE_TESTS)
  message(STATUS "Leaving out the Wine suite: there is no Windows build to run")
  set(KORVANE_WINE_TESTS OFF)
endif()

# The fuzzers need clang and its libFuzzer.
if(KORVANE_FUZZ)
  find_program(FUZZ_CXX NAMES clang++ clang++-14)
  find_program(FUZZ_CC NAMES clang clang-14)
  if(NOT FUZZ_CXX OR NOT FUZZ_CC)
    korvane_leave_out(KORVANE_FUZZ "the fuzzers" "clang not found")
  endif()
endif()

# The format check (the test `format`) needs clang-format.
find_program(CLANG_FORMAT clang-format)
if(NOT CLANG_FORMAT)
  if(KORVANE_REQUIRE_ALL)
    message(FATAL_ERROR "the format check cannot run: clang-format not found. Run scripts/setup.sh.")
  endif()
  message(STATUS "Leaving out the format check: clang-format not found")
endif()
