# The "windows" sub-build (see cmake/windows_build.cmake): korvane.exe,
# korvane-diagnose.exe and korvane-station.exe from the same folders as the
# Linux programs, with mingw-w64, static (no DLLs beside them), in bin/.
set(KORVANE_BOOT_IMAGE_SOURCE "" CACHE FILEPATH "The boot image array that the top-level build generated")
set(KORVANE_SQLITE_SOURCE_DIR "" CACHE PATH "The SQLite amalgamation (sqlite3.c, sqlite3.h)")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# No link time in the programs' headers, so that two builds give the same
# files.
add_link_options(-static -Wl,--no-insert-timestamp)
# The header-only libraries, from where the top-level build found them
# (NLOHMANN_JSON_INCLUDE_DIR, BOOST_BEAST_INCLUDE_DIR): this build's own
# search is kept to the mingw-w64 tree.
korvane_headers_alone(nlohmann_json HEADER nlohmann/json.hpp FOLDER nlohmann)
find_package(Threads REQUIRED)

# The libraries only as far as the programs link them.
add_subdirectory(include)
add_subdirectory(options EXCLUDE_FROM_ALL)
add_subdirectory(files EXCLUDE_FROM_ALL)
add_subdirectory(image EXCLUDE_FROM_ALL)
add_subdirectory(model EXCLUDE_FROM_ALL)
add_subdirectory(host)
add_subdirectory(diagnose)

# The station, with the top-level build's station (KORVANE_STATION).
if(NOT KORVANE_STATION)
  return()
endif()
korvane_headers_alone(boost_beast HEADER boost/beast.hpp FOLDER boost)
# Windows has no system SQLite: the station carries it, compiled from the
# amalgamation as SQLite's own code, without this tree's warnings. It stands
# where the Linux build finds the system's library, as SQLite::SQLite3, so
# that station/ links it the same way on both.
add_library(korvane_sqlite3 STATIC EXCLUDE_FROM_ALL ${KORVANE_SQLITE_SOURCE_DIR}/sqlite3.c)
target_include_directories(korvane_sqlite3 SYSTEM PUBLIC ${KORVANE_SQLITE_SOURCE_DIR})
# No run-time loading of extensions: the station needs none, and a database
# file should never make it load code.
target_compile_definitions(korvane_sqlite3 PRIVATE SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0)
add_library(SQLite::SQLite3 ALIAS korvane_sqlite3)
# The page's server, without OpenSSL: no HTTPS in this build.
add_subdirectory(serve EXCLUDE_FROM_ALL)
add_subdirectory(station)
# The probe through which the Wine tests drive the station's child back-end.
add_subdirectory(tests/station/slots/child_probe)
