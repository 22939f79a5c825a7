# 64-bit ARM (Debian arm64) with Debian's cross compiler; tests run under qemu-aarch64.
set(KTRSDK_CROSS_TRIPLE aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(KTRSDK_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/DebianCross.cmake)
