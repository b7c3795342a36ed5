# Runs one fuzzer for SECONDS seconds with a fixed seed over a fresh copy of
# its corpus (the committed corpus stays as it is) and prints its execution
# count. A crash, a leak or a broken invariant leaves the input in WORK/crashes
# and fails the test.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/crashes)
file(GLOB seeds ${CORPUS}/*)
file(COPY ${seeds} DESTINATION ${WORK}/corpus)
if(EXTRA_SEED AND EXISTS ${EXTRA_SEED})
  file(COPY ${EXTRA_SEED} DESTINATION ${WORK}/corpus)
endif()

get_filename_component(name ${FUZZER} NAME)
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -seed=1 -close_fd_mask=${FD_MASK}
          -print_final_stats=1 -artifact_prefix=${WORK}/crashes/ ${WORK}/corpus
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
string(REGEX MATCH "Done [0-9]+ runs in [0-9]+ second\\(s\\)" done "${out}")
if(NOT rc EQUAL 0)
  message("${out}")
  message(FATAL_ERROR "${name} failed (${rc}); the input is in ${WORK}/crashes")
endif()
if(NOT done)
  message("${out}")
  message(FATAL_ERROR "${name} printed no execution count")
endif()
message("${name}: ${done}")
