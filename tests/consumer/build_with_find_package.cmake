# Configures, builds and runs the consumer project against the installed CMake package.
# cmake -DPREFIX= -DSOURCE_DIR= -DWORK_DIR= -DGENERATOR= -DC_COMPILER= -DCXX_COMPILER=
#       -DTOOLCHAIN_FILE= -DFLAGS= -DCONFIG= -DEMULATOR= -P build_with_find_package.cmake
include(${CMAKE_CURRENT_LIST_DIR}/consumer_steps.cmake)

file(REMOVE_RECURSE "${WORK_DIR}")
if(TOOLCHAIN_FILE)
  set(compilers "-DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}")
else()
  set(compilers "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
endif()
run_step(${CMAKE_COMMAND} -S "${SOURCE_DIR}" -B "${WORK_DIR}" -G "${GENERATOR}" ${compilers}
  "-DCMAKE_C_FLAGS=${FLAGS}"
  "-DCMAKE_CXX_FLAGS=${FLAGS}"
  "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}"
  "-DCMAKE_BUILD_TYPE=${CONFIG}"
  "-DCMAKE_PREFIX_PATH=${PREFIX}")

# The package must come from the scratch prefix, not from anything installed system-wide.
file(STRINGS "${WORK_DIR}/CMakeCache.txt" found_dir REGEX "^ozu_dnsupdate_DIR:")
string(REGEX REPLACE "^[^=]*=" "" found_dir "${found_dir}")
file(REAL_PATH "${PREFIX}" real_prefix)
file(REAL_PATH "${found_dir}" real_found_dir)
string(FIND "${real_found_dir}" "${real_prefix}/" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "ozu_dnsupdate was found in ${found_dir}, not under ${PREFIX}")
endif()

run_step(${CMAKE_COMMAND} --build "${WORK_DIR}" --config "${CONFIG}")
run_both_consumers("${WORK_DIR}")
