# The Windows programs, korvane.exe and korvane-diagnose.exe, built as a
# part of every build so that the Win32 back-end cannot rot: this tree
# configured with cmake/mingw-w64.cmake as the "windows" sub-build
# (cmake/sub_build_windows.cmake) in ${CMAKE_BINARY_DIR}/windows, by the
# target korvane_windows. The programs land in windows/bin.
set(KORVANE_WINDOWS_BIN_DIR ${CMAKE_BINARY_DIR}/windows/bin)
set(windows_programs ${KORVANE_WINDOWS_BIN_DIR}/korvane.exe ${KORVANE_WINDOWS_BIN_DIR}/korvane-diagnose.exe)

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
  BYPRODUCTS ${windows_programs}
  DEPENDS boot_image_data)

# Only in the Windows zip, never in a Linux prefix.
install(PROGRAMS ${windows_programs} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
