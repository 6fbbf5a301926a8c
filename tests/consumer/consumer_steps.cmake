# Steps shared by the consumer scripts. EMULATOR holds the words that run a cross-built program,
# joined with '|' (empty natively).

function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "Step failed (${status}): ${command}")
  endif()
endfunction()

# Runs a consumer program and checks the one line it prints.
function(run_consumer program expected_line)
  string(REPLACE "|" ";" launcher "${EMULATOR}")
  execute_process(COMMAND ${launcher} "${program}" RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0 OR NOT output STREQUAL "${expected_line}\n")
    message(FATAL_ERROR "${program} exited with ${status}, printed '${output}' ${errors}")
  endif()
endfunction()

function(run_both_consumers directory)
  run_consumer("${directory}/consumer_c" "entry points ok")
  run_consumer("${directory}/consumer_cpp" "cipher ok, codec ok")
endfunction()
