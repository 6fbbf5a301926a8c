# Installs the build tree into PREFIX and checks what lands there, file by file.
# cmake -DBUILD_DIR= -DPREFIX= -DCONFIG= -DLIBDIR= -DINCLUDEDIR= -DVERSION= -DSOVERSION= -DREADELF=
#       -DEMULATOR= -P install_tree.cmake
include(${CMAKE_CURRENT_LIST_DIR}/consumer_steps.cmake)

file(REMOVE_RECURSE "${PREFIX}")
run_step(${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}" --config "${CONFIG}")

string(TOLOWER "${CONFIG}" config_suffix)
if(config_suffix STREQUAL "")
  set(config_suffix noconfig)
endif()
set(expected
  bin/ozu-ddns
  ${INCLUDEDIR}/ozu_dnsupdate/CodecBase64.h
  ${INCLUDEDIR}/ozu_dnsupdate/DES.h
  ${INCLUDEDIR}/ozu_dnsupdate/ozu_dnsupdate.h
  ${INCLUDEDIR}/ozu_dnsupdate/ozu_export.h
  ${LIBDIR}/cmake/ozu_dnsupdate/ozu_dnsupdateConfig.cmake
  ${LIBDIR}/cmake/ozu_dnsupdate/ozu_dnsupdateConfigVersion.cmake
  ${LIBDIR}/cmake/ozu_dnsupdate/ozu_dnsupdateTargets-${config_suffix}.cmake
  ${LIBDIR}/cmake/ozu_dnsupdate/ozu_dnsupdateTargets.cmake
  ${LIBDIR}/libozu_dnsupdate.so
  ${LIBDIR}/libozu_dnsupdate.so.${SOVERSION}
  ${LIBDIR}/libozu_dnsupdate.so.${VERSION}
  ${LIBDIR}/pkgconfig/ozu_dnsupdate.pc)
list(SORT expected)
file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "Installed files differ.\nexpected: ${expected}\ninstalled: ${installed}")
endif()

# The development link and the SONAME link lead to the one real file.
function(expect_link name target)
  file(READ_SYMLINK "${PREFIX}/${LIBDIR}/${name}" points_to)
  if(NOT points_to STREQUAL target)
    message(FATAL_ERROR "${name} points to '${points_to}', not to ${target}")
  endif()
endfunction()
expect_link(libozu_dnsupdate.so libozu_dnsupdate.so.${SOVERSION})
expect_link(libozu_dnsupdate.so.${SOVERSION} libozu_dnsupdate.so.${VERSION})
execute_process(COMMAND "${READELF}" -d "${PREFIX}/${LIBDIR}/libozu_dnsupdate.so.${VERSION}" OUTPUT_VARIABLE dynamic)
if(NOT dynamic MATCHES "\\(SONAME\\)[^\n]*\\[libozu_dnsupdate\\.so\\.${SOVERSION}\\]")
  message(FATAL_ERROR "No SONAME libozu_dnsupdate.so.${SOVERSION}:\n${dynamic}")
endif()

# Only the prefix line may name a directory; everything else follows from it.
file(READ "${PREFIX}/${LIBDIR}/pkgconfig/ozu_dnsupdate.pc" pc)
string(REGEX MATCH "^prefix=[^\n]*\n" prefix_line "${pc}")
if(NOT prefix_line STREQUAL "prefix=${PREFIX}\n")
  message(FATAL_ERROR "ozu_dnsupdate.pc starts with '${prefix_line}', not prefix=${PREFIX}")
endif()
string(REPLACE "${prefix_line}" "" rest "${pc}")
if(rest MATCHES "${PREFIX}|${BUILD_DIR}")
  message(FATAL_ERROR "ozu_dnsupdate.pc holds a directory outside \${prefix}:\n${pc}")
endif()

# The installed tool finds the installed library from its own place.
string(REPLACE "|" ";" launcher "${EMULATOR}")
execute_process(COMMAND ${launcher} "${PREFIX}/bin/ozu-ddns" --help
  RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR NOT help MATCHES "^usage: ozu-ddns ")
  message(FATAL_ERROR "The installed ozu-ddns does not run (${status}): ${errors}")
endif()
