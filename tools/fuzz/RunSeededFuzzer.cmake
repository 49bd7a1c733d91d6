# Runs a fuzzer for a bounded time from a folder of seed files (and a dictionary, when given);
# any crash fails the test.
file(MAKE_DIRECTORY "${CORPUS}/run")
set(options -max_total_time=${SECONDS} -max_len=${MAX_LEN} -rss_limit_mb=2048 -print_final_stats=1)
if(MALLOC_LIMIT_MB)
    list(APPEND options -malloc_limit_mb=${MALLOC_LIMIT_MB})
endif()
if(DICTIONARY)
    list(APPEND options -dict=${DICTIONARY})
endif()
execute_process(
    COMMAND "${FUZZER}" ${options} "${CORPUS}/run" "${SEEDS}"
    RESULT_VARIABLE status
    WORKING_DIRECTORY "${CORPUS}")
if(NOT status EQUAL 0)
    get_filename_component(name "${FUZZER}" NAME)
    message(FATAL_ERROR "${name} found a failure (exit ${status}); the reproducer is in ${CORPUS}")
endif()
