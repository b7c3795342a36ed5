# The boot monitor's build (monitor/CMakeLists.txt with
# cmake/arm-none-eabi.cmake) in ${CMAKE_BINARY_DIR}/monitor, by the target
# monitor_raw, from KORVANE_MONITOR_SOURCE_DIR. Its output is the imported
# program korvane::monitor: the linked monitor.elf with its symbols, whose
# property KORVANE_RAW_CODE is monitor.bin, the raw code that image/ packs.
set(monitor_dir ${CMAKE_BINARY_DIR}/monitor)
korvane_sub_build(monitor_raw
  SOURCE_DIR ${KORVANE_MONITOR_SOURCE_DIR}
  BINARY_DIR ${monitor_dir}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/arm-none-eabi.cmake
             -DKORVANE_INCLUDE_DIR=${PROJECT_SOURCE_DIR}/include
  BYPRODUCTS ${monitor_dir}/monitor.elf ${monitor_dir}/monitor.bin)
korvane_imported_program(korvane::monitor ${monitor_dir}/monitor.elf BUILT_BY monitor_raw)
set_target_properties(korvane::monitor PROPERTIES KORVANE_RAW_CODE ${monitor_dir}/monitor.bin)
