# The Windows programs, korvane.exe, korvane-diagnose.exe and
# korvane-station.exe, built as a part of every build so that the Win32 back-end cannot rot: this tree
# configured with cmake/mingw-w64.cmake as the "windows" sub-build
# (cmake/sub_build_windows.cmake) in ${CMAKE_BINARY_DIR}/windows, by the
# target korvane_windows. The programs land in windows/bin, as the imported
# programs windows::korvane, windows::korvane-diagnose,
# and, with the station, windows::korvane-station and windows::child_probe,
# the probe of the Wine tests.
set(bin_dir ${CMAKE_BINARY_DIR}/windows/bin)
set(programs korvane korvane-diagnose)
set(probe)
if(KORVANE_STATION)
  list(APPEND programs korvane-station)
  set(probe child_probe)
endif()
set(windows_programs)
foreach(program ${programs})
  list(APPEND windows_programs ${bin_dir}/${program}.exe)
endforeach()

# The generated image source comes from image/'s commands, through its
# target; its every change rebuilds the image's object there. The JSON
# library and Boost are headers only: the sub-build takes the ones found
# here, which its own search, kept to the mingw-w64 tree, would not find.
korvane_sub_build(korvane_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/windows
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
             -DKORVANE_SUB_BUILD=windows -DCMAKE_BUILD_TYPE=Release
             -DKORVANE_BOOT_IMAGE_SOURCE=$<TARGET_PROPERTY:boot_image_data,KORVANE_IMAGE_SOURCE>
             -DNLOHMANN_JSON_INCLUDE_DIR=${NLOHMANN_JSON_INCLUDE_DIR}
             -DBOOST_BEAST_INCLUDE_DIR=${BOOST_BEAST_INCLUDE_DIR}
             -DKORVANE_SQLITE_SOURCE_DIR=${KORVANE_SQLITE_SOURCE_DIR}
             -DKORVANE_STATION=${KORVANE_STATION}
  BYPRODUCTS ${windows_programs} ${bin_dir}/child_probe.exe
  DEPENDS boot_image_data)
foreach(program ${programs} ${probe})
  korvane_imported_program(windows::${program} ${bin_dir}/${program}.exe BUILT_BY korvane_windows)
endforeach()

# Only in the Windows zip, never in a Linux prefix; stripped there, as the
# Linux programs are in their packages, with the toolchain's own strip.
install(PROGRAMS ${windows_programs} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
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
