include(CMakePackageConfigHelpers)

# Consumers link ozu::dnsupdate.
set_target_properties(ozu_dnsupdate PROPERTIES EXPORT_NAME dnsupdate)

install(TARGETS ozu_dnsupdate EXPORT ozu_dnsupdateTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES export/ozu_export.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES des/DES.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/des)
install(FILES codec/CodecBase64.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/codec)
install(FILES ddns/ozu_dnsupdate.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/ddns)

set(OZU_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ozu_dnsupdate)
install(EXPORT ozu_dnsupdateTargets NAMESPACE ozu:: DESTINATION ${OZU_CONFIG_DIR})
configure_package_config_file(cmake/ozu_dnsupdateConfig.cmake.in
  ${PROJECT_BINARY_DIR}/ozu_dnsupdateConfig.cmake
  INSTALL_DESTINATION ${OZU_CONFIG_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/ozu_dnsupdateConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/ozu_dnsupdateConfig.cmake
  ${PROJECT_BINARY_DIR}/ozu_dnsupdateConfigVersion.cmake
  DESTINATION ${OZU_CONFIG_DIR})
