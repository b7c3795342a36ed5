# The "fuzz" sub-build (see tests/fuzz/CMakeLists.txt): the libFuzzer
# harnesses, with clang, over the libraries of the real host, image, boot
# ROM and diagnose code, all instrumented. Only what a harness links is
# built.
set(KORVANE_BOOT_IMAGE_SOURCE "" CACHE FILEPATH "The boot image array that the top-level build generated")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_compile_options(-O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
# korvane-diagnose's code and its harness, with the top-level build's
# korvane-diagnose.
option(KORVANE_DIAGNOSE "Set by the top-level build: fuzz korvane-diagnose's code" ON)
if(KORVANE_DIAGNOSE)
  korvane_headers_alone(nlohmann_json HEADER nlohmann/json.hpp FOLDER nlohmann)
endif()

add_subdirectory(include)
add_subdirectory(options EXCLUDE_FROM_ALL)
add_subdirectory(files EXCLUDE_FROM_ALL)
add_subdirectory(image EXCLUDE_FROM_ALL)
add_subdirectory(model EXCLUDE_FROM_ALL)
add_subdirectory(host EXCLUDE_FROM_ALL)
add_subdirectory(sim/boot_rom EXCLUDE_FROM_ALL)
if(KORVANE_DIAGNOSE)
  add_subdirectory(diagnose EXCLUDE_FROM_ALL)
endif()
add_subdirectory(tests)
