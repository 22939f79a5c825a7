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
set(CPACK_COMPONENTS_ALL runtime dev logsdk)
if(KTRSDK_BUILD_TOOLS)
    list(APPEND CPACK_COMPONENTS_ALL tools)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# The packages' architecture is the target's: Debian's name for the compiler's multiarch triple.
set(KTRSDK_DEB_ARCHITECTURE "" CACHE STRING "Debian architecture of the packages (empty: the target's)")
if(NOT KTRSDK_DEB_ARCHITECTURE AND CMAKE_LIBRARY_ARCHITECTURE)
    execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -q DEB_HOST_ARCH
        OUTPUT_VARIABLE KTRSDK_DEB_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(KTRSDK_DEB_ARCHITECTURE)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${KTRSDK_DEB_ARCHITECTURE})
elseif(CMAKE_CROSSCOMPILING)
    message(WARNING "no Debian architecture for this target: set KTRSDK_DEB_ARCHITECTURE to build its packages")
endif()
# Dependencies on system libraries come from dpkg-shlibdeps; liblogsdk.so.1 is resolved in the build
# folder and adds none. A cross build runs it itself, with the target's library folders
# (CrossPackageDepends.cmake).
if(CMAKE_CROSSCOMPILING)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/CrossPackageDepends.cmake)
    set(CPACK_KTRSDK_BINARY_DIR ${PROJECT_BINARY_DIR})
    set(CPACK_KTRSDK_LOGSDK_DIR ${PROJECT_BINARY_DIR}/logsdk)
    set(CPACK_KTRSDK_TARGET_LIBRARY_DIRS "")
    foreach(root IN LISTS CMAKE_SYSROOT CMAKE_FIND_ROOT_PATH)
        list(APPEND CPACK_KTRSDK_TARGET_LIBRARY_DIRS ${root}/lib ${root}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE})
    endforeach()
    set(CPACK_KTRSDK_TARGET_FILES ${PROJECT_BINARY_DIR}/CPackTargetFiles.cmake)
    file(GENERATE OUTPUT ${CPACK_KTRSDK_TARGET_FILES} CONTENT
        "set(CPACK_KTRSDK_RUNTIME_LIBRARY $<TARGET_FILE:ktrsdk>)\nset(CPACK_KTRSDK_LOGSDK_LIBRARY $<TARGET_FILE:logsdk>)\n")
else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/logsdk)
endif()

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
