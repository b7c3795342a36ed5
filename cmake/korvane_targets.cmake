# How every library and program this tree compiles itself is declared, in
# the top-level build and in the sub-builds alike: the house warnings, which
# are errors, and the include paths, set here once.
#
# korvane_library(<target> <source>... [LIBS <library>...])
#   A static library of the sources; its users include its headers from the
#   folder that declares it and the tree's include/. LIBS are linked PUBLIC
#   unless a PRIVATE keyword among them says otherwise.
#
# korvane_program(<target> <source>... [LIBS <library>...] [COMPONENT <c>])
#   A program; with COMPONENT, installed into the prefix's bin folder in
#   that install component (korvane_install_program), and built into the
#   build's bin folder beside the build's other installed programs, as an
#   install puts them (the station runs the korvane beside it).
#
# Sources are named relative to the folder that declares the target.
include_guard(GLOBAL)

set(KORVANE_WARNINGS -Wall -Wextra -Wpedantic -Werror)

function(korvane_library target)
  cmake_parse_arguments(L "" "" "LIBS" ${ARGN})
  add_library(${target} STATIC ${L_UNPARSED_ARGUMENTS})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include)
  target_compile_options(${target} PRIVATE ${KORVANE_WARNINGS})
  target_link_libraries(${target} PUBLIC ${L_LIBS})
endfunction()

function(korvane_program target)
  cmake_parse_arguments(P "" "COMPONENT" "LIBS" ${ARGN})
  add_executable(${target} ${P_UNPARSED_ARGUMENTS})
  target_compile_options(${target} PRIVATE ${KORVANE_WARNINGS})
  target_link_libraries(${target} PRIVATE ${P_LIBS})
  if(P_COMPONENT)
    set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
    korvane_install_program(${target} COMPONENT ${P_COMPONENT})
  endif()
endfunction()

# korvane_headers_alone(<target> HEADER <path> FOLDER <folder>)
# A header-only library found on this machine (<path> under some include
# folder, e.g. nlohmann/json.hpp), as the INTERFACE library <target> whose
# include folder holds its <folder> alone, linked there: a cross-build can
# take it without the rest of the machine's headers. <TARGET>_INCLUDE_DIR
# (upper case) is the cache entry of where it was found, which a sub-build
# is given; the variable <target>_FOUND says whether it was.
function(korvane_headers_alone target)
  cmake_parse_arguments(H "" "HEADER;FOLDER" "" ${ARGN})
  string(TOUPPER ${target}_INCLUDE_DIR found_dir)
  find_path(${found_dir} ${H_HEADER})
  if(NOT ${found_dir})
    set(${target}_FOUND FALSE PARENT_SCOPE)
    return()
  endif()
  set(alone ${CMAKE_BINARY_DIR}/headers_alone/${target})
  file(MAKE_DIRECTORY ${alone})
  file(CREATE_LINK ${${found_dir}}/${H_FOLDER} ${alone}/${H_FOLDER} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  # An imported target's headers are system headers to its users: the
  # house warnings do not reach them.
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${alone})
  set(${target}_FOUND TRUE PARENT_SCOPE)
endfunction()
