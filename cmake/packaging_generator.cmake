# Read by cpack once per generator: the components each package is made of,
# and the time every file in them bears. The DEB generator takes its times
# from SOURCE_DATE_EPOCH; the zip's are local times, made in UTC here so
# that the packer's time zone does not change them.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} ${CPACK_KORVANE_RELEASE_EPOCH})
endif()
set(ENV{TZ} UTC)
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KORVANE_BUILD_DIR};korvane;ALL;/")
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL korvane korvane_debian boardsim boardsim_debian)
  if(CPACK_KORVANE_LINE)
    list(APPEND CPACK_COMPONENTS_ALL line line_debian)
  endif()
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  if(NOT CPACK_KORVANE_WINDOWS)
    message(FATAL_ERROR "no korvane.exe in this build: configure it with -DKORVANE_WINDOWS=ON")
  endif()
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_KORVANE_BUILD_DIR};korvane;windows;/")
  set(CPACK_PACKAGE_FILE_NAME "korvane-${CPACK_PACKAGE_VERSION}-win64")
endif()
