# Timings of korvane against boardsim at the real line rate. Run with
#   cmake --build <build> --target bench_timing
if(TARGET boardsim)
  add_executable(boardsim_timing ${CMAKE_CURRENT_SOURCE_DIR}/boardsim_timing.cpp)
  target_link_libraries(boardsim_timing PRIVATE child_process)
  target_compile_options(boardsim_timing PRIVATE ${KORVANE_WARNINGS})
  add_custom_target(bench_timing
    COMMAND boardsim_timing $<TARGET_FILE:korvane> $<TARGET_FILE:boardsim> ${BOOT_IMAGE_FILE}
    DEPENDS boardsim_timing korvane boardsim boot_image_bin
    USES_TERMINAL)
endif()
