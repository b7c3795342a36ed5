# The format check, the CTest test `format`: every C++ source and header of
# the tree as .clang-format writes it down, by clang-format itself.
#
#   cmake -DCLANG_FORMAT=<clang-format> -DSOURCE_DIR=<tree> -P format_check.cmake
#
# The files are git's when the tree is a checkout, else those found in it,
# the build trees left out.
cmake_minimum_required(VERSION 3.20)
execute_process(COMMAND git ls-files "*.cpp" "*.h" WORKING_DIRECTORY ${SOURCE_DIR}
                OUTPUT_VARIABLE listed RESULT_VARIABLE rc ERROR_QUIET)
if(rc EQUAL 0)
  string(REPLACE "\n" ";" files "${listed}")
else()
  file(GLOB_RECURSE files RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.cpp ${SOURCE_DIR}/*.h)
  list(FILTER files EXCLUDE REGEX "^build(-[^/]*)?/")
endif()
list(FILTER files EXCLUDE REGEX "^$")
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${files} WORKING_DIRECTORY ${SOURCE_DIR}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "format check failed: run clang-format -i on the files above")
endif()
