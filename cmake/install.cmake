include(CMakePackageConfigHelpers)

# The public headers go to <includedir>/ozu_dnsupdate/, beside ozu_export.h, which they include
# with quotes. The build tree gets the same layout under include/, so that the project's own
# programs include them as firmware does: #include <ozu_dnsupdate/DES.h>.
set(OZU_PUBLIC_HEADERS ddns/ozu_dnsupdate.h des/DES.h codec/CodecBase64.h export/ozu_export.h)
set(OZU_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/ozu_dnsupdate)
foreach(header IN LISTS OZU_PUBLIC_HEADERS)
  get_filename_component(header_name ${header} NAME)
  configure_file(${header} ${PROJECT_BINARY_DIR}/include/ozu_dnsupdate/${header_name} COPYONLY)
endforeach()

install(TARGETS ozu_dnsupdate EXPORT ozu_dnsupdateTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${OZU_PUBLIC_HEADERS} DESTINATION ${OZU_HEADER_DIR} COMPONENT dev)

# CMake package: find_package(ozu_dnsupdate) gives ozu_dnsupdate::ozu_dnsupdate.
set(OZU_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ozu_dnsupdate)
install(EXPORT ozu_dnsupdateTargets NAMESPACE ozu_dnsupdate:: DESTINATION ${OZU_CONFIG_DIR} COMPONENT dev)
configure_package_config_file(cmake/ozu_dnsupdateConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ozu_dnsupdateConfig.cmake
  INSTALL_DESTINATION ${OZU_CONFIG_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ozu_dnsupdateConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ozu_dnsupdateConfig.cmake
  ${PROJECT_BINARY_DIR}/ozu_dnsupdateConfigVersion.cmake
  DESTINATION ${OZU_CONFIG_DIR} COMPONENT dev)

# pkg-config: the directories are written relative to ${prefix}, and the prefix itself when
# installing, so that `cmake --install --prefix` and DESTDIR staging both get the right one.
function(ozu_pkg_config_dir result dir)
  if(IS_ABSOLUTE "${dir}")
    set(${result} "${dir}" PARENT_SCOPE)
  else()
    set(${result} "\${prefix}/${dir}" PARENT_SCOPE)
  endif()
endfunction()
ozu_pkg_config_dir(OZU_PC_LIBDIR ${CMAKE_INSTALL_LIBDIR})
ozu_pkg_config_dir(OZU_PC_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
set(OZU_PC_FILE ${PROJECT_BINARY_DIR}/ozu_dnsupdate.pc)
install(CODE "
  set(OZU_PC_VERSION [[${PROJECT_VERSION}]])
  set(OZU_PC_LIBDIR [[${OZU_PC_LIBDIR}]])
  set(OZU_PC_INCLUDEDIR [[${OZU_PC_INCLUDEDIR}]])
  configure_file([[${PROJECT_SOURCE_DIR}/cmake/ozu_dnsupdate.pc.in]] [[${OZU_PC_FILE}]] @ONLY)"
  COMPONENT dev)
install(FILES ${OZU_PC_FILE} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
