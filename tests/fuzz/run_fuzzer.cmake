# Runs one fuzzer for SECONDS seconds over a fresh copy of the seeds in SEED_DIR, working in
# WORK_DIR. Fails when the fuzzer reports a finding; the input is left in WORK_DIR/artifacts.
foreach(variable FUZZER SEED_DIR WORK_DIR SECONDS MAX_LEN)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "run_fuzzer.cmake needs -D${variable}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus ${WORK_DIR}/artifacts)
file(GLOB seeds ${SEED_DIR}/*)
file(COPY ${seeds} DESTINATION ${WORK_DIR}/corpus)

math(EXPR hard_limit "${SECONDS} + 60")
execute_process(
  COMMAND ${FUZZER}
    -max_total_time=${SECONDS} -max_len=${MAX_LEN} -timeout=10 -rss_limit_mb=2048
    -print_final_stats=1 -artifact_prefix=${WORK_DIR}/artifacts/
    ${WORK_DIR}/corpus
  TIMEOUT ${hard_limit}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); see ${WORK_DIR}/artifacts")
endif()
