# Runs a fuzzer once over every committed seed and regression input, without
# fuzzing: an input that once broke the code must go on passing.
set(dirs ${CORPUS})
if(EXISTS ${REGRESSIONS})
  list(APPEND dirs ${REGRESSIONS})
endif()
set(inputs "")
foreach(dir ${dirs})
  file(GLOB found ${dir}/*)
  list(APPEND inputs ${found})
endforeach()
execute_process(COMMAND ${FUZZER} -close_fd_mask=${FD_MASK} ${inputs}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message("${out}")
  message(FATAL_ERROR "an input fails again")
endif()
list(LENGTH inputs count)
message("replayed ${count} inputs")
