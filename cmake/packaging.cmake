# The packages `cpack` makes from this build tree:
#
#   cpack -G DEB   korvane_<version>-<revision>_<arch>.deb: korvane,
#                  korvane-diagnose, korvane-image, korvane-station, their
#                  manual pages and the README (install components korvane and
#                  korvane_debian);
#                  korvane-boardsim_<version>-<revision>_<arch>.deb: boardsim
#                  and its manual page (boardsim and boardsim_debian);
#                  korvane-line_<version>-<revision>_<arch>.deb: korvane-line,
#                  the line server, and its manual page (line and line_debian),
#                  where it is built.
#                  The *_debian components hold each package's copyright
#                  file and changelog (packaging/).
#   cpack -G ZIP   korvane-<version>-win64.zip: korvane.exe,
#                  korvane-diagnose.exe, korvane-station.exe (stripped),
#                  their Windows manuals, a Windows README and the notices of what the programs
#                  compile in (install component windows)
#
# Two builds of one release make the same packages, byte for byte, under
# the same umask: every file time in them is the release's day in NEWS, or
# SOURCE_DATE_EPOCH when it is set.
#
# Which components a generator packs is chosen in packaging_generator.cmake,
# read by cpack.

# Who signs the packages and their changelog: the project's developers, or
# whoever builds their own packages (-DKORVANE_MAINTAINER="Name <address>").
set(KORVANE_MAINTAINER "korvane developers <developers@korvane.org>" CACHE STRING
  "The Debian packages' maintainer and the changelog's signer")

set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "korvane developers")
set(CPACK_PACKAGE_CONTACT ${KORVANE_MAINTAINER})
# Installs strip the programs; see korvane_install_program for the rest.
set(CPACK_STRIP_FILES ON)
# Packages and cpack's staging stay in the build tree wherever cpack runs.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
if(KORVANE_WINDOWS)
  list(APPEND CPACK_GENERATOR ZIP)
endif()

# Each Debian package is a group of a component of programs and one of its
# Debian documentation.
set(CPACK_COMPONENT_KORVANE_GROUP korvane)
set(CPACK_COMPONENT_KORVANE_DEBIAN_GROUP korvane)
set(CPACK_COMPONENT_BOARDSIM_GROUP boardsim)
set(CPACK_COMPONENT_BOARDSIM_DEBIAN_GROUP boardsim)
set(CPACK_DEBIAN_KORVANE_PACKAGE_NAME korvane)
set(CPACK_DEBIAN_BOARDSIM_PACKAGE_NAME korvane-boardsim)
set(CPACK_COMPONENT_LINE_GROUP line)
set(CPACK_COMPONENT_LINE_DEBIAN_GROUP line)
set(CPACK_DEBIAN_LINE_PACKAGE_NAME korvane-line)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KORVANE_DEBIAN_REVISION})
set(CPACK_DEBIAN_PACKAGE_SOURCE korvane)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The first line of a description is the package's summary. Each text is
# one string: as a list, its semicolons would part its items.
string(CONCAT CPACK_DEBIAN_KORVANE_DESCRIPTION
    "test a board's SDRAM and NAND flash through its serial port\n"
    "korvane wakes a board's boot ROM over a serial port, downloads a small test\n"
    "monitor into it and runs the monitor's SDRAM and NAND flash tests.\n"
    "korvane-diagnose names the stuck or shorted SDRAM line, or the flash check\n"
    "that failed, from the log of a verbose run; korvane-image packs and checks\n"
    "boot images. korvane-station tests boards on several serial ports at once\n"
    "and keeps a record of every board in an SQLite database.")
string(CONCAT CPACK_DEBIAN_BOARDSIM_DESCRIPTION
    "simulated board for korvane, on a pseudo-terminal\n"
    "boardsim behaves as a board that has just been reset, behind a\n"
    "pseudo-terminal: its boot ROM takes korvane's test monitor and runs it on an\n"
    "emulated ARM core, with models of the board's SDRAM and NAND flash. Faults\n"
    "can be injected into the line, the boot ROM, the SDRAM and the flash, so\n"
    "that korvane can be tried without a board.")
string(CONCAT CPACK_DEBIAN_LINE_DESCRIPTION
    "line server for korvane-station's records\n"
    "korvane-line keeps the records of every korvane-station of a production\n"
    "line in one database, SQLite or PostgreSQL: the stations send each board's\n"
    "record as it is made, and keep it until the line has it. It serves a live\n"
    "page of every station and sums the line up in reports and a board's\n"
    "history across stations.")
set(CPACK_DEBIAN_KORVANE_PACKAGE_SUGGESTS korvane-boardsim)
# The dependencies are what the programs are linked against, as
# dpkg-shlibdeps finds them: the C and C++ runtimes, SQLite and OpenSSL
# (libssl3, for HTTPS) for korvane-station and korvane-line, libpq for
# korvane-line, and the emulated core's library for boardsim alone.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(${CMAKE_CURRENT_LIST_DIR}/release_date.cmake)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/NEWS)
korvane_release_epoch(${PROJECT_SOURCE_DIR}/NEWS CPACK_KORVANE_RELEASE_EPOCH)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_file_times.cmake)

set(CPACK_KORVANE_BUILD_DIR ${CMAKE_BINARY_DIR})
set(CPACK_KORVANE_WINDOWS ${KORVANE_WINDOWS})
set(CPACK_KORVANE_LINE ${KORVANE_LINE})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packaging_generator.cmake)
include(CPack)
