# Timings of korvane against boardsim at the real line rate. Run with
#   cmake --build <build> --target bench_timing
if(TARGET boardsim)
  add_executable(boardsim_timing ${CMAKE_CURRENT_SOURCE_DIR}/boardsim_timing.cpp
    ${PROJECT_SOURCE_DIR}/tests/e2e/e2e_process.cpp)
  target_include_directories(boardsim_timing PRIVATE ${PROJECT_SOURCE_DIR}/tests/e2e)
  target_compile_options(boardsim_timing PRIVATE ${KORVANE_WARNINGS})
  add_custom_target(bench_timing
    COMMAND boardsim_timing $<TARGET_FILE:korvane> $<TARGET_FILE:boardsim> ${BOOT_IMAGE_FILE}
    DEPENDS boardsim_timing korvane boardsim boot_image_bin
    USES_TERMINAL)
endif()
