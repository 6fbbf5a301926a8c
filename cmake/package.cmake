# The Debian packages (`make deb`, CPack's DEB generator), one per install component:
#   runtime  libozu-dnsupdate1      the shared library
#   dev      libozu-dnsupdate-dev   headers, the development link, the pkg-config and CMake files
#   tools    ozu-ddns               ozu-ddns and ozu-ddns-server, their manual pages and service examples
# An install rule without a component lands in tools.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(OZU_PACKAGE_MAINTAINER "libozu_dnsupdate maintainers <maintainers@ozu-ddns.invalid>"
    CACHE STRING "The Maintainer field of the Debian packages")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${OZU_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
# dpkg-shlibdeps writes the dependencies on libc and libstdc++; the packages that need the library
# depend on its package at this very version. The runtime package carries a shlibs file and the
# ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libozu-dnsupdate${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Dynamic-DNS client library for network cameras and video recorders
Keeps a device registered with a DDNS server; also offers the DES and Base64 classes.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libozu-dnsupdate-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
set(CPACK_COMPONENT_DEV_DESCRIPTION "Dynamic-DNS client library: development files
Headers, pkg-config file (ozu_dnsupdate) and CMake package (find_package(ozu_dnsupdate)).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ozu-ddns)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Dynamic-DNS client tool and server
ozu-ddns keeps a device registered (run) and ciphers strings and files; ozu-ddns-server is the
DDNS server that registers devices and publishes their names in DNS.")
include(CPack)
