# Core and peripheral models: the emulated board of board.h, on Unicorn.
find_package(PkgConfig REQUIRED)
pkg_check_modules(UNICORN REQUIRED IMPORTED_TARGET unicorn)

add_library(sim_board STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/board.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/uart_model.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/sdram_model.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/nand_model.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/control_block_model.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/uart_queue.cpp)
target_include_directories(sim_board PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
target_link_libraries(sim_board PUBLIC sdram_faults PRIVATE PkgConfig::UNICORN)
target_compile_options(sim_board PRIVATE ${KORVANE_WARNINGS})
