# What both cross builds share, for a toolchain file that sets
# CMAKE_SYSTEM_PROCESSOR, ZUL_CROSS_TRIPLE (Debian's cross compiler prefix) and
# ZUL_CROSS_QEMU (qemu-user's program for that processor). The test programs
# run under qemu with the target's C library; the binutils found with the
# compiler's prefix check the libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ZUL_CROSS_TRIPLE}-gcc)  # GoogleTest's project enables C too
set(CMAKE_CXX_COMPILER ${ZUL_CROSS_TRIPLE}-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZUL_CROSS_QEMU} -L /usr/${ZUL_CROSS_TRIPLE})

# Libraries come from the target's tree only; the LV2 headers, which hold no
# code for any processor, are the machine's own in /usr/include.
set(CMAKE_FIND_ROOT_PATH /usr/${ZUL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
