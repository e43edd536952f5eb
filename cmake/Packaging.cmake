# How hosts find an installed mxplugin: the CMake package (find_package with
# the imported target mxplugin::mxplugin, compatible within a major version)
# and mxplugin.pc for pkg-config; and how cpack packs an install: a .deb on
# Linux, a .zip on Windows. Both files locate the prefix from where they lie,
# so an install moved elsewhere (or packed under /usr) still works.
include(CMakePackageConfigHelpers)

set(MX_CMAKE_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/mxplugin)
install(EXPORT mxpluginTargets NAMESPACE mxplugin:: DESTINATION ${MX_CMAKE_PACKAGE_DIR})
configure_package_config_file(cmake/mxpluginConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/mxpluginConfig.cmake
                              INSTALL_DESTINATION ${MX_CMAKE_PACKAGE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/mxpluginConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mxpluginConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/mxpluginConfigVersion.cmake
        DESTINATION ${MX_CMAKE_PACKAGE_DIR})

# pkg-config: the prefix relative to the .pc file's own directory.
file(RELATIVE_PATH MX_PC_PREFIX_FROM_PCDIR /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" MX_PC_PREFIX_FROM_PCDIR "${MX_PC_PREFIX_FROM_PCDIR}")
configure_file(cmake/mxplugin.pc.in ${CMAKE_CURRENT_BINARY_DIR}/mxplugin.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/mxplugin.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME mxplugin)
set(CPACK_PACKAGE_VENDOR "mxplugin developers")
set(CPACK_PACKAGE_CONTACT "mxplugin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Friction-model plug-in for sheet-metal forming simulation")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME mxplugin-${PROJECT_VERSION}-windows-x64)
else()
  # mxplugin_X.Y.Z_amd64.deb under /usr. dpkg-shlibdeps derives the
  # dependencies from what the binaries need (libc6, libstdc++6, libssl3 for
  # libcrypto.so.3); gnuplot draws mxtool's charts.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS gnuplot-nox)
endif()
include(CPack)
