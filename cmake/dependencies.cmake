# What every build for this machine needs: the test framework, the board's
# toolchain (its nm and objdump read the monitor), the emulator library of
# the simulated board, and gzip for the manual pages and the Debian
# changelog. Without one of them there is no build: scripts/setup.sh
# installs them all. What only some parts need (the JSON and XML libraries,
# groff) is looked for in cmake/parts.cmake.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
find_program(GZIP gzip REQUIRED)
find_program(ARM_NM arm-none-eabi-nm REQUIRED)
find_program(ARM_OBJDUMP arm-none-eabi-objdump REQUIRED)

# PkgConfig::UNICORN: the emulator library, through pkg-config where the
# machine has it, else its header and library where the compiler looks.
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(UNICORN REQUIRED IMPORTED_TARGET GLOBAL unicorn)
else()
  find_path(UNICORN_INCLUDE_DIR unicorn/unicorn.h)
  find_library(UNICORN_LIBRARY unicorn)
  if(NOT UNICORN_INCLUDE_DIR OR NOT UNICORN_LIBRARY)
    message(FATAL_ERROR "unicorn/unicorn.h or the unicorn library not found: run scripts/setup.sh")
  endif()
  add_library(PkgConfig::UNICORN UNKNOWN IMPORTED GLOBAL)
  set_target_properties(PkgConfig::UNICORN PROPERTIES IMPORTED_LOCATION ${UNICORN_LIBRARY}
                                                      INTERFACE_INCLUDE_DIRECTORIES ${UNICORN_INCLUDE_DIR})
endif()
