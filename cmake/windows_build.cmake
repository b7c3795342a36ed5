# The Windows programs, korvane.exe and korvane-diagnose.exe, built as a
# part of every build so that the Win32 back-end cannot rot: this tree
# configured with cmake/mingw-w64.cmake as the "windows" sub-build
# (cmake/sub_build_windows.cmake) in ${CMAKE_BINARY_DIR}/windows, by the
# target korvane_windows. The programs land in windows/bin.
set(KORVANE_WINDOWS_BIN_DIR ${CMAKE_BINARY_DIR}/windows/bin)
set(windows_programs ${KORVANE_WINDOWS_BIN_DIR}/korvane.exe ${KORVANE_WINDOWS_BIN_DIR}/korvane-diagnose.exe)

# nlohmann-json is headers only: when the machine has it, the Windows build
# is told where, to take those headers and no others from the machine.
find_package(nlohmann_json QUIET)
set(json_args "")
if(nlohmann_json_FOUND)
  get_target_property(json_include nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
  set(json_args -DKORVANE_JSON_INCLUDE_DIR=${json_include} -DKORVANE_JSON_VERSION=${nlohmann_json_VERSION})
endif()

# The generated image source comes from image/'s commands, through its
# target; its every change rebuilds the image's object there.
korvane_sub_build(korvane_windows
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/windows
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64.cmake
             -DKORVANE_SUB_BUILD=windows -DCMAKE_BUILD_TYPE=Release
             -DKORVANE_BOOT_IMAGE_SOURCE=${BOOT_IMAGE_SOURCE} ${json_args}
  BYPRODUCTS ${windows_programs}
  DEPENDS boot_image_data)

# Only in the Windows zip, never in a Linux prefix.
install(PROGRAMS ${windows_programs} DESTINATION . COMPONENT windows EXCLUDE_FROM_ALL)
