# Installation as a C++ library (header, versioned shared object, CMake
# package, pkg-config file) and Debian packages: the runtime package holds
# libh265headers.so.1, the -dev package everything needed to build against it.
include(CMakePackageConfigHelpers)

set(H265_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/h265headers)

install(TARGETS h265headers EXPORT h265headersTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_SKIP
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS h265headers
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev NAMELINK_ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/include/h265headers.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT dev)
install(EXPORT h265headersTargets NAMESPACE h265headers::
  DESTINATION ${H265_CMAKE_DIR} COMPONENT dev)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/h265headersConfig.cmake.in
  ${PROJECT_BINARY_DIR}/h265headersConfig.cmake INSTALL_DESTINATION ${H265_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/h265headersConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/h265headersConfig.cmake ${PROJECT_BINARY_DIR}/h265headersConfigVersion.cmake
  DESTINATION ${H265_CMAKE_DIR} COMPONENT dev)

# The .pc file finds the prefix from its own location, so the installed tree
# can be moved (and unpacked from the -dev package anywhere).
file(RELATIVE_PATH H265_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${PROJECT_SOURCE_DIR}/cmake/h265headers.pc.in ${PROJECT_BINARY_DIR}/h265headers.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/h265headers.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Debian packages, one per component.
if(H265_CROSS_TRIPLE STREQUAL "arm-linux-gnueabi")
  set(H265_DEB_ARCH armel)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(arm|armv7.*)$")
  set(H265_DEB_ARCH armhf)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64)$")
  set(H265_DEB_ARCH amd64)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(H265_DEB_ARCH arm64)
else()
  set(H265_DEB_ARCH ${CMAKE_SYSTEM_PROCESSOR})
endif()

set(CPACK_PACKAGE_NAME h265headers)
set(CPACK_PACKAGE_VENDOR "h265headers developers")
set(CPACK_PACKAGE_CONTACT "h265headers developers <h265headers@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Inspects H.265/HEVC Annex B buffers before decoding")
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${H265_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libh265headers1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# The library needs only the C and C++ runtimes of the target.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.17), libstdc++6 (>= 5.2), libgcc-s1 (>= 3.5)")
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libh265headers-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libh265headers1 (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "H.265 header inspection library (shared object)")
set(CPACK_COMPONENT_DEV_DESCRIPTION "H.265 header inspection library (development files)")
include(CPack)
