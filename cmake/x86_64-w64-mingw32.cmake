# Cross build for 64-bit Windows with Debian's MinGW-w64 (its POSIX thread
# model, whose libstdc++ has std::thread):
#   cmake -B build-windows --toolchain cmake/x86_64-w64-mingw32.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZUL_CROSS_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZUL_CROSS_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZUL_CROSS_TRIPLE}-g++-posix)

# Headers and libraries come from MinGW's tree only, never the build
# machine's /usr/include.
set(CMAKE_FIND_ROOT_PATH /usr/${ZUL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# LV2's headers hold no code for any processor, but the machine's lv2.pc
# names /usr/include, which would put glibc's headers before MinGW's. The
# build reads a pkg-config directory of its own instead: an lv2.pc whose
# include directory holds the machine's lv2/ and nothing else.
get_property(in_try_compile GLOBAL PROPERTY IN_TRY_COMPILE)
if(NOT in_try_compile)
  set(ZUL_LV2_HEADERS /usr/include/lv2 CACHE PATH "The LV2 headers for the Windows build")
  set(lv2_root "${CMAKE_BINARY_DIR}/mingw-lv2")
  file(REMOVE_RECURSE "${lv2_root}")
  file(MAKE_DIRECTORY "${lv2_root}/include" "${lv2_root}/pkgconfig")
  file(CREATE_LINK "${ZUL_LV2_HEADERS}" "${lv2_root}/include/lv2" SYMBOLIC)
  file(WRITE "${lv2_root}/pkgconfig/lv2.pc"
    "Name: LV2\nDescription: LV2's headers alone\nVersion: 1\nCflags: -I${lv2_root}/include\n")
  set(ENV{PKG_CONFIG_LIBDIR} "${lv2_root}/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
endif()
