# 32-bit ARM, hard-float EABI (Debian armhf) with Debian's cross compiler; tests run under qemu-arm.
set(KTRSDK_CROSS_TRIPLE arm-linux-gnueabihf)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(KTRSDK_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
