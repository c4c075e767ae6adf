# Cross build for 32-bit Arm Linux (Debian's armhf: ARMv7 with VFPv3-D16,
# hard-float calls) with Debian's cross compiler:
#   cmake -B build-armhf --toolchain cmake/arm-linux-gnueabihf.cmake
# The test programs run under qemu-arm with the target's C library; the
# binutils found with the compiler's prefix check the libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)  # GoogleTest's project enables C too
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)

# Libraries come from the target's tree only; the LV2 headers, which hold no
# code for any processor, are the machine's own in /usr/include.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
