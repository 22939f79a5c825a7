# Shared part of the toolchain files for Debian's cross compilers: the including file sets
# KTRSDK_CROSS_TRIPLE (the GNU triple, which names the compilers and the sysroot under /usr) and
# CMAKE_SYSTEM_PROCESSOR, and names the qemu-user program that runs the target's programs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${KTRSDK_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KTRSDK_CROSS_TRIPLE}-g++)
set(CMAKE_AR ${KTRSDK_CROSS_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${KTRSDK_CROSS_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${KTRSDK_CROSS_TRIPLE}-nm CACHE FILEPATH "")
set(CMAKE_STRIP ${KTRSDK_CROSS_TRIPLE}-strip CACHE FILEPATH "")

# Libraries, headers and packages come from the target's tree only; programs run at build time are the
# build machine's.
set(CMAKE_FIND_ROOT_PATH /usr/${KTRSDK_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests and test discovery run the target's programs under user-mode emulation, with the target's
# dynamic loader and libraries from its tree.
set(CMAKE_CROSSCOMPILING_EMULATOR ${KTRSDK_QEMU} -L /usr/${KTRSDK_CROSS_TRIPLE})
