# Run by cpack on the staged package before it packs it (CPACK_PRE_BUILD_SCRIPTS).
# Plain strip, as cpack runs it, keeps each library's and program's .comment, the compiler's
# version string that nothing reads; Debian's own packaging (dh_strip) takes it
# out, with .note, and lintian asks for the same.
if(NOT CPACK_STRIP_FILES)
  return()
endif()
file(GLOB_RECURSE libraries "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.so")
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr/bin/*")
foreach(library IN LISTS libraries programs)
  execute_process(
    COMMAND "${CPACK_ZUL_STRIP}" --remove-section=.comment --remove-section=.note "${library}"
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
