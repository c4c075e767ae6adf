# Run by cpack on the staged packages before it packs them (CPACK_PRE_BUILD_SCRIPTS),
# for a cross build. The plugins' packages need the C library alone, which
# a cross build links from the cross toolchain: the Depends of each comes
# from its staged libraries' own version needs, read by the target's
# readelf, libc6 from the first release with all of them, so that they need
# none of the target's packages installed. zul-cv-tools links lilv and
# libsndfile of the target's packages: dpkg-shlibdeps reads its Depends from
# them as natively, told the target's architecture.
if(NOT CPACK_ZUL_NEWEST_GLIBC)
  return()
endif()
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  if(CPACK_DEBIAN_${upper}_PACKAGE_SHLIBDEPS)
    continue()
  endif()
  file(GLOB_RECURSE libraries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}/*.so")
  execute_process(
    COMMAND "${CPACK_ZUL_NEWEST_GLIBC}" "${CPACK_ZUL_READELF}" ${libraries}
    OUTPUT_VARIABLE glibc OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  if(NOT glibc)
    message(FATAL_ERROR "No GLIBC_ version needed by the libraries of ${component}: ${libraries}")
  endif()
  set(CPACK_DEBIAN_${upper}_PACKAGE_DEPENDS "libc6 (>= ${glibc})")
endforeach()
set(ENV{DEB_HOST_ARCH} "${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}")
