# Runs one libFuzzer target for a bounded time on a fresh corpus seeded from SEEDS; one input
# running past TIMEOUT seconds fails it as a hang.
# MOSS_FUZZ_SECONDS in the environment caps the time (scripts/test shares a total budget out).
if("$ENV{MOSS_FUZZ_SECONDS}" MATCHES "^[0-9]+$" AND "$ENV{MOSS_FUZZ_SECONDS}" LESS SECONDS)
  set(SECONDS $ENV{MOSS_FUZZ_SECONDS})
endif()
if(NOT TIMEOUT)
  set(TIMEOUT 10)
endif()
file(MAKE_DIRECTORY ${CORPUS})
set(_dirs ${CORPUS})
if(SEEDS AND EXISTS ${SEEDS})
  list(APPEND _dirs ${SEEDS})
endif()
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=${TIMEOUT} -rss_limit_mb=2048 -max_len=4096
          -print_final_stats=1 ${_dirs}
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "fuzzer ${FUZZER} failed with ${_rc}")
endif()
