# Cross build for 32-bit Arm Linux (Debian's armhf: ARMv7 with VFPv3-D16,
# hard-float calls) with Debian's cross compiler:
#   cmake -B build-armhf --toolchain cmake/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(ZUL_CROSS_TRIPLE arm-linux-gnueabihf)
set(ZUL_CROSS_DEB_ARCH armhf)
set(ZUL_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
