# The distribution's hardening flags for everything compiled for this
# machine by CMake itself, so that the packaged programs are built as the
# distribution builds its own: stack protector, fortified library calls,
# position-independent executables, read-only relocations resolved at start.
# The sub-builds (the monitor, the Windows programs, the fuzzers) never read
# this file and keep their flags.
if(NOT KORVANE_HARDENING)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES C CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
# The fortified calls need the optimiser (glibc warns without it, and
# warnings are errors); the sanitizers check the same calls themselves.
if(NOT KORVANE_SANITIZE)
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
endif()
add_link_options(-Wl,-z,relro,-z,now)
