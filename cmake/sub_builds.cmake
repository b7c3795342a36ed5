include_guard(GLOBAL)
include(ExternalProject)

# The programs built for another machine or with another compiler (the
# monitor for the board, the Windows programs, the fuzzers) are ordinary
# CMake targets in builds of their own, each with its toolchain, configured
# and built by a target of this build:
#
# korvane_sub_build(<target> SOURCE_DIR <dir> BINARY_DIR <dir>
#                   [CMAKE_ARGS <arg> ...] [BYPRODUCTS <file> ...]
#                   [DEPENDS <target> ...])
#
# The sub-build's make runs on every build of <target> and rebuilds what
# changed, with the compiler's header dependencies, under this build's
# make and its -j. DEPENDS names targets of this build that make the
# sub-build's inputs (a generated source, say).
function(korvane_sub_build target)
  cmake_parse_arguments(S "" "SOURCE_DIR;BINARY_DIR" "CMAKE_ARGS;BYPRODUCTS;DEPENDS" ${ARGN})
  ExternalProject_Add(${target}
    SOURCE_DIR ${S_SOURCE_DIR}
    BINARY_DIR ${S_BINARY_DIR}
    # Stamps and scratch files, apart from the sub-build itself.
    PREFIX ${CMAKE_BINARY_DIR}/sub_builds/${target}
    CMAKE_ARGS ${S_CMAKE_ARGS}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${S_BYPRODUCTS}
    INSTALL_COMMAND "")
  # After the targets it depends on, wherever they are declared.
  if(S_DEPENDS)
    add_dependencies(${target} ${S_DEPENDS})
  endif()
endfunction()

# korvane_imported_program(<target> <file> BUILT_BY <sub-build target>)
# A program that a sub-build makes, as the imported target <target>: its
# users name the target ($<TARGET_FILE:<target>>, add_dependencies), which
# builds the sub-build first, wherever the two are declared.
function(korvane_imported_program target file)
  cmake_parse_arguments(I "" "BUILT_BY" "" ${ARGN})
  add_executable(${target} IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${file})
  add_dependencies(${target} ${I_BUILT_BY})
endfunction()
