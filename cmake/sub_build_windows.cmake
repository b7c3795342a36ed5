# The "windows" sub-build (see cmake/windows_build.cmake): korvane.exe and
# korvane-diagnose.exe from the same folders as the Linux programs, with
# mingw-w64, static (no DLLs beside them), in bin/.
set(KORVANE_BOOT_IMAGE_SOURCE "" CACHE FILEPATH "The boot image array that the top-level build generated")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_link_options(-static)

# nlohmann-json's headers, when the top-level build found them, through a
# directory that holds them alone: the machine's whole include directory
# would hide mingw-w64's C library. find_package(nlohmann_json) finds this
# package here.
set(KORVANE_JSON_INCLUDE_DIR "" CACHE PATH "The machine's nlohmann-json include directory")
set(KORVANE_JSON_VERSION "" CACHE STRING "Its version")
if(KORVANE_JSON_INCLUDE_DIR)
  set(json_package ${CMAKE_BINARY_DIR}/nlohmann_json)
  file(MAKE_DIRECTORY ${json_package}/include)
  file(CREATE_LINK ${KORVANE_JSON_INCLUDE_DIR}/nlohmann ${json_package}/include/nlohmann SYMBOLIC)
  file(WRITE ${json_package}/nlohmann_jsonConfig.cmake
    "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
    "  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)\n"
    "  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES\n"
    "    INTERFACE_INCLUDE_DIRECTORIES ${json_package}/include)\n"
    "endif()\n")
  include(CMakePackageConfigHelpers)
  write_basic_package_version_file(${json_package}/nlohmann_jsonConfigVersion.cmake
    VERSION ${KORVANE_JSON_VERSION} COMPATIBILITY SameMajorVersion)
  set(nlohmann_json_DIR ${json_package} CACHE PATH "" FORCE)
endif()

# The libraries only as far as the programs link them.
add_subdirectory(image EXCLUDE_FROM_ALL)
add_subdirectory(model EXCLUDE_FROM_ALL)
add_subdirectory(host)
add_subdirectory(diagnose)
