# The fuzzers: this tree configured with clang as the "fuzz" sub-build
# (cmake/sub_build_fuzz.cmake) in ${CMAKE_BINARY_DIR}/fuzz, by the target
# korvane_fuzzers. Each harness <name>_fuzz lands in fuzz/bin, as the
# imported program fuzz::<name> that tests/fuzz/CMakeLists.txt declares with
# its tests. The host library links the generated image array, so the
# sub-build compiles it too.
korvane_sub_build(korvane_fuzzers
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${CMAKE_BINARY_DIR}/fuzz
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${FUZZ_CXX} -DCMAKE_C_COMPILER=${FUZZ_CC}
             -DKORVANE_SUB_BUILD=fuzz -DCMAKE_BUILD_TYPE=Debug -DKORVANE_DIAGNOSE=${KORVANE_DIAGNOSE}
             -DKORVANE_BOOT_IMAGE_SOURCE=$<TARGET_PROPERTY:boot_image_data,KORVANE_IMAGE_SOURCE>
  DEPENDS boot_image_data)
