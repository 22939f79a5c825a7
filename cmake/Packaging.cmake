# Debian packages, one per component: `cpack -G DEB` in a build folder (the `packages` target).
#   libktrsdk1    the runtime library; it pulls no logger in, since a host may ship its own logsdk
#   libktrsdk-dev the header, the CMake package and the pkg-config file
#   ktrsdk-tools  the ktr program; it links the stand-in logger, which receives the lines of the builds it loads
#   liblogsdk1    the stand-in logger with its header, CMake targets and pkg-config file
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ktrsdk)
set(CPACK_PACKAGE_VENDOR "ktrsdk")
set(CPACK_PACKAGE_CONTACT "ktrsdk maintainers <maintainers@ktrsdk.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev tools logsdk)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Dependencies on system libraries come from dpkg-shlibdeps; liblogsdk.so.1 is resolved in the build
# folder and adds none.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/logsdk)

set(KTRSDK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libktrsdk${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libktrsdk-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ktrsdk-tools)
set(CPACK_DEBIAN_LOGSDK_PACKAGE_NAME liblogsdk${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libktrsdk${PROJECT_VERSION_MAJOR} (= ${KTRSDK_PACKAGE_VERSION})")
# ktr loads the library at run time, so dpkg-shlibdeps cannot see that dependency, nor the one on the
# stand-in logger it links (resolved in the build folder, like the runtime's).
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS
    "libktrsdk${PROJECT_VERSION_MAJOR} (= ${KTRSDK_PACKAGE_VERSION}), liblogsdk${PROJECT_VERSION_MAJOR} (= ${KTRSDK_PACKAGE_VERSION})")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "ktrsdk video stream policy library (runtime)")
set(CPACK_COMPONENT_DEV_DESCRIPTION "ktrsdk video stream policy library (development files)")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "ktr: replay, simulate, read logs of and compare ktrsdk builds")
set(CPACK_COMPONENT_LOGSDK_DESCRIPTION "logsdk: stand-in logger for ktrsdk hosts without a logger of their own")
include(CPack)

add_custom_target(packages
    COMMAND ${CMAKE_CPACK_COMMAND} --config ${PROJECT_BINARY_DIR}/CPackConfig.cmake -B ${PROJECT_BINARY_DIR}/packages
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    COMMENT "Building the Debian packages in ${PROJECT_BINARY_DIR}/packages"
    VERBATIM)
