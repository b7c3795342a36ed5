# Run by cpack once the files of a package are staged, before they are
# packed: gives each of them, and each folder, the time SOURCE_DATE_EPOCH
# (see packaging_generator.cmake), whenever and however they were built.
find_program(TOUCH touch REQUIRED)
find_program(FIND find REQUIRED)
execute_process(
  COMMAND ${FIND} ${CPACK_TEMPORARY_DIRECTORY} -exec ${TOUCH} -h -d @$ENV{SOURCE_DATE_EPOCH} {} +
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not set the file times of the staged package in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
