# One bounded fuzzing run, as a test: copies the seed corpus into a fresh working folder (the
# fuzzer adds what it finds there, and the seeds stay as generated) and fails with the kept
# input's name when the target crashes, leaks or breaks a property.
# Run as: cmake -DFUZZER=.. -DSEEDS=.. -DWORK_DIR=.. [-DDICTIONARY=..] [-DSECONDS=..]
#               -P runFuzzer.cmake
# The environment variable WQ_FUZZ_SECONDS, when set, overrides SECONDS.
cmake_minimum_required(VERSION 3.25)

if(DEFINED ENV{WQ_FUZZ_SECONDS})
  set(SECONDS $ENV{WQ_FUZZ_SECONDS})
elseif(NOT DEFINED SECONDS)
  set(SECONDS 20)
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/crashes)
if(IS_DIRECTORY ${SEEDS})
  file(GLOB seeds ${SEEDS}/*)
  if(seeds)
    file(COPY ${seeds} DESTINATION ${WORK_DIR}/corpus)
  endif()
endif()

set(arguments ${WORK_DIR}/corpus
  -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
  -artifact_prefix=${WORK_DIR}/crashes/ -print_final_stats=1)
if(DICTIONARY AND EXISTS ${DICTIONARY})
  list(APPEND arguments -dict=${DICTIONARY})
endif()

execute_process(COMMAND ${FUZZER} ${arguments} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  file(GLOB kept ${WORK_DIR}/crashes/*)
  message(FATAL_ERROR "${FUZZER} failed (${result}); kept inputs: ${kept}")
endif()
