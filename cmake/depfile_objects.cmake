include_guard(GLOBAL)

# Programs built by an explicit compiler command (korvane.exe with mingw-w64,
# the fuzzers with clang) rather than as CMake targets. Each source becomes
# one object with its own command, and the compiler writes the headers it
# read into a depfile beside it, so that editing any header those sources
# include rebuilds the objects that include it.
#
# korvane_depfile_objects(<out-var> COMPILER <cxx> DIR <object-dir>
#                         FLAGS <flag> ... SOURCES <source> ... [DEPENDS <item> ...])
# sets <out-var> to the list of objects. DEPENDS adds further dependencies
# of every object (a target that generates one of the sources, say).
function(korvane_depfile_objects out_var)
  cmake_parse_arguments(O "" "COMPILER;DIR" "FLAGS;SOURCES;DEPENDS" ${ARGN})
  set(objects "")
  foreach(source ${O_SOURCES})
    get_filename_component(name ${source} NAME)
    set(object ${O_DIR}/${name}.o)
    file(RELATIVE_PATH shown ${PROJECT_BINARY_DIR} ${object})
    add_custom_command(
      OUTPUT ${object}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${O_DIR}
      COMMAND ${O_COMPILER} ${O_FLAGS} -MD -MF ${object}.d -c ${source} -o ${object}
      DEPENDS ${source} ${O_DEPENDS}
      DEPFILE ${object}.d
      COMMENT "Building ${shown}"
      VERBATIM)
    list(APPEND objects ${object})
  endforeach()
  set(${out_var} ${objects} PARENT_SCOPE)
endfunction()
