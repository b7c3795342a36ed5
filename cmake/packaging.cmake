# The packages `cpack` makes from this build tree:
#
#   cpack -G DEB   korvane_<version>_<arch>.deb: the Linux programs, their
#                  manual pages and the README (install component linux)
#   cpack -G ZIP   korvane-<version>-win64.zip: korvane.exe, its manual as
#                  text and the README (install component windows)
#
# Each package is made from its own component; which one is chosen per
# generator in packaging_generator.cmake, read by cpack.

set(CPACK_PACKAGE_NAME korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "korvane developers")
set(CPACK_PACKAGE_CONTACT "korvane developers <korvane@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test a board's SDRAM and NAND flash through its serial port")
set(CPACK_PACKAGE_DESCRIPTION
    "korvane wakes a board's boot ROM over a serial port, downloads a small test\n"
    "monitor into it and runs the monitor's SDRAM and NAND flash tests. boardsim\n"
    "simulates such a board on a pseudo-terminal, korvane-image packs and checks\n"
    "boot images.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
# Packages and cpack's staging stay in the build tree wherever cpack runs.
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_GENERATOR DEB)
if(KORVANE_WINDOWS)
  list(APPEND CPACK_GENERATOR ZIP)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# The dependencies are what the programs are linked against, as
# dpkg-shlibdeps finds them: the C and C++ runtimes and the emulated core's
# library for boardsim, and nothing needed only to build.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

set(CPACK_KORVANE_BUILD_DIR ${CMAKE_BINARY_DIR})
set(CPACK_KORVANE_WINDOWS ${KORVANE_WINDOWS})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packaging_generator.cmake)
include(CPack)
