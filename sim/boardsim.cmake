# Boot ROM and the boardsim program.

# The boot ROM's receiver and image check: no clock, no files, unit-tested.
# The check shares no code with image/: the two check each other.
add_library(boot_rom STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/boot_rom.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/boot_rom_image.cpp)
target_include_directories(boot_rom PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_compile_options(boot_rom PRIVATE ${KORVANE_WARNINGS})

# The pseudo-terminal line, the options and the ROM's loop on the line.
add_library(boardsim_parts STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/pty_link.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/boardsim_options.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/boardsim_boot.cpp)
target_include_directories(boardsim_parts PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(boardsim_parts PUBLIC boot_rom sdram_faults)
target_compile_options(boardsim_parts PRIVATE ${KORVANE_WARNINGS})

if(TARGET sim_board)
  add_executable(boardsim ${CMAKE_CURRENT_SOURCE_DIR}/boardsim_main.cpp)
  target_link_libraries(boardsim PRIVATE boardsim_parts sim_board)
  target_compile_options(boardsim PRIVATE ${KORVANE_WARNINGS})
else()
  message(STATUS "boardsim: no sim_board library yet, the program is not built")
endif()
