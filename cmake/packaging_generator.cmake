# Read by cpack once per generator: each package installs one component of
# the build tree.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KORVANE_BUILD_DIR};korvane;linux;/")
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  if(NOT CPACK_KORVANE_WINDOWS)
    message(FATAL_ERROR "no korvane.exe in this build: configure it with -DKORVANE_WINDOWS=ON")
  endif()
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KORVANE_BUILD_DIR};korvane;windows;/")
  set(CPACK_PACKAGE_FILE_NAME "korvane-${CPACK_PACKAGE_VERSION}-win64")
endif()
