# The Windows programs, korvane.exe, korvane-diagnose.exe and
# korvane-station.exe, built as a part of every build so that the Win32 back-end cannot rot: this tree
# configured with cmake/mingw-w64.cmake as the "windows" sub-build
# (cmake/sub_build_windows.cmake) in ${CMAKE_BINARY_DIR}/windows, by the
# target korvane_windows. The programs land in windows/bin.
set(KORVANE_WINDOWS_BIN_DIR ${CMAKE_BINARY_DIR}/windows/bin)
set(windows_programs ${KORVANE_WINDOWS_BIN_DIR}/korvane.exe ${KORVANE_WINDOWS_BIN_DIR}/korvane-diagnose.exe)
# The station's .exe is built wherever station/ declares its program.
if(TARGET korvane-station)
  list(APPEND windows_programs ${KORVANE_WINDOWS_BIN_DIR}/korvane-station.exe)
endif()

# The station compiles SQLite in from the amalgamation that
# scripts/setup.sh fetches.
if(DEFINED ENV{KORVANE_SQLITE_DIR})
  set(sqlite_default $ENV{KORVANE_SQLITE_DIR})
else()
  set(sqlite_default $ENV{HOME}/.cache/korvane/sqlite-3.53.2)
endif()
set(KORVANE_SQLITE_SOURCE_DIR ${sqlite_default} CACHE PATH
  "The SQLite amalgamation (sqlite3.c, sqlite3.h) the Windows station compiles in")
if(NOT EXISTS ${KORVANE_SQLITE_SOURCE_DIR}/sqlite3.c OR NOT EXISTS ${KORVANE_SQLITE_SOURCE_DIR}/sqlite3.h)
  message(FATAL_ERROR "SQLite's source not found in ${KORVANE_SQLITE_SOURCE_DIR}: run scripts/setup.sh")
endif()

# The generated image source comes from image/'s commands, through its
# target; its every change rebuilds the image's object there. The JSON
# library and Boost are headers only: the sub-build takes the ones found
# here, which its own search, kept to the mingw-w64 tree, would not find.
korvane_sub_build(korvane_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/windows
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
             -DKORVANE_SUB_BUILD=windows -DCMAKE_BUILD_TYPE=Release
             -DKORVANE_BOOT_IMAGE_SOURCE=${BOOT_IMAGE_SOURCE}
             -DNLOHMANN_JSON_INCLUDE_DIR=${NLOHMANN_JSON_INCLUDE_DIR}
             -DBOOST_BEAST_INCLUDE_DIR=${BOOST_BEAST_INCLUDE_DIR}
             -DKORVANE_SQLITE_SOURCE_DIR=${KORVANE_SQLITE_SOURCE_DIR}
  BYPRODUCTS ${windows_programs}
  DEPENDS boot_image_data)

# Only in the Windows zip, never in a Linux prefix; stripped there, as the
# Linux programs are in their packages, with the toolchain's own strip.
install(PROGRAMS ${windows_programs} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
find_program(KORVANE_MINGW_STRIP x86_64-w64-mingw32-strip REQUIRED)
foreach(program ${windows_programs})
  get_filename_component(name ${program} NAME)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${KORVANE_MINGW_STRIP}\" --strip-all \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${name}\"
                      RESULT_VARIABLE rc)
      if(NOT rc EQUAL 0)
        message(FATAL_ERROR \"could not strip ${name}\")
      endif()
    endif()"
    COMPONENT windows EXCLUDE_FROM_ALL)
endforeach()
