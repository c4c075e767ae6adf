# Cross build for 64-bit Arm Linux with Debian's cross compiler:
#   cmake -B build-aarch64 --toolchain cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZUL_CROSS_TRIPLE aarch64-linux-gnu)
set(ZUL_CROSS_DEB_ARCH arm64)
set(ZUL_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
