# cmake -DBUILD_DIR= -DCONSUMER_SOURCE_DIR= -DWORK_DIR= -DGENERATOR= -DCXX_COMPILER=
#       -DCXX_FLAGS= -DCONFIG= -P build_consumer.cmake

function(run_step)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "Step failed (${status}): ${command}")
  endif()
endfunction()

set(prefix "${WORK_DIR}/prefix")
set(consumer_build "${WORK_DIR}/build")
file(REMOVE_RECURSE "${WORK_DIR}")

run_step(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}" --config "${CONFIG}")
run_step(${CMAKE_COMMAND} -S "${CONSUMER_SOURCE_DIR}" -B "${consumer_build}" -G "${GENERATOR}"
  "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}"
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_BUILD_TYPE=${CONFIG}"
  "-DCMAKE_PREFIX_PATH=${prefix}")

# The package must come from the scratch prefix, not from anything installed system-wide.
file(STRINGS "${consumer_build}/CMakeCache.txt" found_dir REGEX "^ozu_dnsupdate_DIR:")
string(REGEX REPLACE "^[^=]*=" "" found_dir "${found_dir}")
file(REAL_PATH "${prefix}" real_prefix)
file(REAL_PATH "${found_dir}" real_found_dir)
string(FIND "${real_found_dir}" "${real_prefix}/" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "ozu_dnsupdate was found in ${found_dir}, not under ${prefix}")
endif()

run_step(${CMAKE_COMMAND} --build "${consumer_build}" --config "${CONFIG}")
run_step("${consumer_build}/ozu_consumer")
