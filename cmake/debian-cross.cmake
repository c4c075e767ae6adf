# What both cross builds share, for a toolchain file that sets
# CMAKE_SYSTEM_PROCESSOR, ZUL_CROSS_TRIPLE (Debian's cross compiler prefix),
# ZUL_CROSS_DEB_ARCH (Debian's name of the architecture) and ZUL_CROSS_QEMU
# (qemu-user's program for that processor). The test programs run under qemu
# with the target's C library; the binutils found with the compiler's prefix
# check the libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${ZUL_CROSS_TRIPLE}-gcc)  # GoogleTest's project enables C too
set(CMAKE_CXX_COMPILER ${ZUL_CROSS_TRIPLE}-g++)
# The loader qemu finds under -L is the cross toolchain's: its C and C++
# libraries must come first too, not the target's multiarch libc6 of another
# build, which a program's dlopen in a thread hangs with.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZUL_CROSS_QEMU} -L /usr/${ZUL_CROSS_TRIPLE}
    -E LD_LIBRARY_PATH=/usr/${ZUL_CROSS_TRIPLE}/lib)

# Libraries come from the target's trees only: the C and C++ libraries from
# the cross toolchain's, lilv and libsndfile (for zul-render) from the
# target's multiarch directory, where Debian's <name>:<arch> packages put them.
# A path inside a root is searched as it is, so /usr/lib/<triple> is one.
# The LV2 headers, which hold no code for any processor, are the machine's own
# in /usr/include.
set(CMAKE_FIND_ROOT_PATH /usr/${ZUL_CROSS_TRIPLE} /usr/lib/${ZUL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)

# The target's pkg-config (pkgconf:<arch>) reads the target's .pc files, where
# the target's LV2 is installed too (lv2-dev:<arch>, which liblilv-dev:<arch>
# brings); the machine's otherwise, for the LV2 headers alone.
set(zul_pkg_config /usr/bin/${ZUL_CROSS_TRIPLE}-pkg-config)
if(NOT DEFINED PKG_CONFIG_EXECUTABLE AND EXISTS ${zul_pkg_config})
  execute_process(COMMAND ${zul_pkg_config} --exists lv2 RESULT_VARIABLE zul_status)
  if(zul_status EQUAL 0)
    set(PKG_CONFIG_EXECUTABLE ${zul_pkg_config} CACHE FILEPATH "pkg-config of the target")
  endif()
endif()
