# The "windows" sub-build (see cmake/windows_build.cmake): korvane.exe and
# korvane-diagnose.exe from the same folders as the Linux programs, with
# mingw-w64, static (no DLLs beside them), in bin/.
set(KORVANE_BOOT_IMAGE_SOURCE "" CACHE FILEPATH "The boot image array that the top-level build generated")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_link_options(-static)

# The libraries only as far as the programs link them.
add_subdirectory(image EXCLUDE_FROM_ALL)
add_subdirectory(model EXCLUDE_FROM_ALL)
add_subdirectory(host)
add_subdirectory(diagnose)
include(station/web_targets.cmake)
