# Runs one fuzz target for a bounded time on a fresh copy of its seed corpus, so the repository is never written.
#   cmake -DTARGET=<executable> -DSEEDS=<corpus dir> -DWORK=<scratch dir> -DSECONDS=<n> -P fuzzrun.cmake
# One allocation of 16 MB or more counts as a failure: no input of a few kilobytes may make a target take that much
# at once, as it would when a size that the input merely announces is reserved before the data arrives.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(COPY ${SEEDS}/ DESTINATION ${WORK}/corpus)
execute_process(
    COMMAND ${TARGET} -max_total_time=${SECONDS} -timeout=5 -malloc_limit_mb=16 -print_final_stats=1
            -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
    WORKING_DIRECTORY ${WORK}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "fuzz run failed (${result}); the failing input is in ${WORK}/artifacts")
endif()
