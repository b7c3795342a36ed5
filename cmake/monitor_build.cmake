# The boot monitor's build (monitor/CMakeLists.txt with
# cmake/arm-none-eabi.cmake) in ${CMAKE_BINARY_DIR}/monitor, by the target
# monitor_raw. Sets, for image/, the tests and the benchmarks:
#   BOOT_CODE_FILE    the monitor's raw code, monitor.bin
#   BOOT_CODE_TARGET  the target that makes it
#   MONITOR_ELF       the linked monitor with its symbols
#   ARM_NM            the board toolchain's nm, to read those symbols
find_program(ARM_NM arm-none-eabi-nm REQUIRED)

# Where the sources are read from: monitor/, or a copy of it with a
# deliberate fault, for bench/monitor_mutants.sh.
set(KORVANE_MONITOR_SOURCE_DIR ${PROJECT_SOURCE_DIR}/monitor CACHE PATH
  "Directory of the monitor sources to build")

set(monitor_dir ${CMAKE_BINARY_DIR}/monitor)
korvane_sub_build(monitor_raw
  SOURCE_DIR ${KORVANE_MONITOR_SOURCE_DIR}
  BINARY_DIR ${monitor_dir}
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/arm-none-eabi.cmake
             -DKORVANE_INCLUDE_DIR=${PROJECT_SOURCE_DIR}/include
  BYPRODUCTS ${monitor_dir}/monitor.elf ${monitor_dir}/monitor.bin)

set(BOOT_CODE_FILE ${monitor_dir}/monitor.bin)
set(BOOT_CODE_TARGET monitor_raw)
set(MONITOR_ELF ${monitor_dir}/monitor.elf)
