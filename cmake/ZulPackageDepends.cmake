# Run by cpack on the staged package before it packs it (CPACK_PRE_BUILD_SCRIPTS),
# for a cross build. dpkg-shlibdeps cannot map the cross compiler's C library
# to the target's libc6 without the target's packages installed, so the
# Depends comes from the staged libraries' own version needs, read by the
# target's readelf: libc6 from the first release with all of them.
if(NOT CPACK_ZUL_NEWEST_GLIBC)
  return()
endif()
file(GLOB_RECURSE libraries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.so")
execute_process(
  COMMAND "${CPACK_ZUL_NEWEST_GLIBC}" "${CPACK_ZUL_READELF}" ${libraries}
  OUTPUT_VARIABLE glibc OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
if(NOT glibc)
  message(FATAL_ERROR "No GLIBC_ version needed by: ${libraries}")
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= ${glibc})")
