# CPack's project configuration file in a cross build, read when the packages are made: the runtime's and
# the logger's dependencies on the target's system libraries come from dpkg-shlibdeps over the built
# libraries, with the target's library folders. On this machine the cross toolchain's packages provide
# those libraries under other names (libc6-arm64-cross for arm64's libc6, and "libc6:arm64" in their shlibs
# files), so the names are turned back into the target's own.
include(${CPACK_KTRSDK_TARGET_FILES})

function(ktrsdk_target_depends library result)
    set(work ${CPACK_KTRSDK_BINARY_DIR}/shlibdeps)
    file(MAKE_DIRECTORY ${work}/debian)
    file(TOUCH ${work}/debian/control)
    set(search_dirs -l${CPACK_KTRSDK_LOGSDK_DIR})
    foreach(dir IN LISTS CPACK_KTRSDK_TARGET_LIBRARY_DIRS)
        list(APPEND search_dirs -l${dir})
    endforeach()
    execute_process(COMMAND dpkg-shlibdeps -O --ignore-missing-info ${search_dirs} ${library}
        WORKING_DIRECTORY ${work} OUTPUT_VARIABLE depends ERROR_VARIABLE errors RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "dpkg-shlibdeps on ${library}: ${errors}")
    endif()
    string(STRIP "${depends}" depends)
    string(REGEX REPLACE "^shlibs:Depends=" "" depends "${depends}")
    string(REPLACE ":${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}" "" depends "${depends}")
    string(REPLACE "-${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}-cross" "" depends "${depends}")
    set(${result} "${depends}" PARENT_SCOPE)
endfunction()

ktrsdk_target_depends(${CPACK_KTRSDK_RUNTIME_LIBRARY} runtime_depends)
ktrsdk_target_depends(${CPACK_KTRSDK_LOGSDK_LIBRARY} logsdk_depends)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${runtime_depends}")
set(CPACK_DEBIAN_LOGSDK_PACKAGE_DEPENDS "${logsdk_depends}")
