# Builds and runs the consumers with the compiler alone, taking every flag from the installed
# ozu_dnsupdate.pc, as a firmware Makefile does.
# cmake -DPREFIX= -DLIBDIR= -DSOURCE_DIR= -DWORK_DIR= -DC_COMPILER= -DCXX_COMPILER= -DFLAGS=
#       -DVERSION= -DEMULATOR= -P build_with_pkg_config.cmake
include(${CMAKE_CURRENT_LIST_DIR}/consumer_steps.cmake)

# Only the installed tree: no other .pc files and no sysroot rewriting.
set(ENV{PKG_CONFIG_LIBDIR} "${PREFIX}/${LIBDIR}/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

function(pkg_config result)
  execute_process(COMMAND pkg-config ${ARGN} ozu_dnsupdate
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pkg-config ${ARGN} failed: ${errors}")
  endif()
  set(${result} "${output}" PARENT_SCOPE)
endfunction()

pkg_config(version --modversion)
if(NOT version STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config reports version ${version}, not ${VERSION}")
endif()
pkg_config(libdir --variable=libdir)
file(REAL_PATH "${libdir}" libdir)
file(REAL_PATH "${PREFIX}/${LIBDIR}" expected_libdir)
if(NOT libdir STREQUAL expected_libdir)
  message(FATAL_ERROR "pkg-config reports libdir ${libdir}, not ${expected_libdir}")
endif()
pkg_config(cflags --cflags)
pkg_config(libs --libs)
separate_arguments(cflags UNIX_COMMAND "${cflags}")
separate_arguments(libs UNIX_COMMAND "${libs}")
separate_arguments(flags UNIX_COMMAND "${FLAGS}")

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(warnings -Wall -Wextra -Werror)
run_step("${C_COMPILER}" -std=c99 ${warnings} ${flags} ${cflags} "${SOURCE_DIR}/consumer.c"
  -o "${WORK_DIR}/consumer_c" ${libs} "-Wl,-rpath,${libdir}")
run_step("${CXX_COMPILER}" -std=c++17 ${warnings} ${flags} ${cflags} "${SOURCE_DIR}/consumer.cpp"
  -o "${WORK_DIR}/consumer_cpp" ${libs} "-Wl,-rpath,${libdir}")
run_both_consumers("${WORK_DIR}")
