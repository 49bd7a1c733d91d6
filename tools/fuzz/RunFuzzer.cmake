# Seeds the corpus, then runs the fuzzer for a bounded time; any crash fails the test.
file(MAKE_DIRECTORY "${CORPUS}/run")
execute_process(COMMAND "${SEEDER}" "${CORPUS}/seeds" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "make_fuzz_seeds failed: ${status}")
endif()
execute_process(
    COMMAND "${FUZZER}" -max_total_time=${SECONDS} -max_len=4096 -rss_limit_mb=2048 -print_final_stats=1
            "${CORPUS}/run" "${CORPUS}/seeds"
    RESULT_VARIABLE status
    WORKING_DIRECTORY "${CORPUS}")
if(NOT status EQUAL 0)
    message(FATAL_ERROR "fuzz_tga found a failure (exit ${status}); the reproducer is in ${CORPUS}")
endif()
