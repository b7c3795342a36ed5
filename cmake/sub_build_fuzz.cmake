# The "fuzz" sub-build (see tests/fuzz/CMakeLists.txt): the libFuzzer
# harnesses, with clang, over the libraries of the real host, image, boot
# ROM and diagnose code, all instrumented. Only what a harness links is
# built.
set(KORVANE_BOOT_IMAGE_SOURCE "" CACHE FILEPATH "The boot image array that the top-level build generated")
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_compile_options(-O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
korvane_headers_alone(nlohmann_json HEADER nlohmann/json.hpp FOLDER nlohmann)

add_subdirectory(include)
add_subdirectory(options EXCLUDE_FROM_ALL)
add_subdirectory(image EXCLUDE_FROM_ALL)
add_subdirectory(model EXCLUDE_FROM_ALL)
add_subdirectory(host EXCLUDE_FROM_ALL)
add_subdirectory(sim/boot_rom EXCLUDE_FROM_ALL)
add_subdirectory(diagnose EXCLUDE_FROM_ALL)
add_subdirectory(tests)
