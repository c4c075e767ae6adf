# The Windows release, made by every build for Windows in place of the Debian
# packages: <build>/zul-cv-<version>-windows-x86_64.zip with the eighteen
# bundles (cmake/windows_zip.sh), a README saying where they go and which
# form each host takes, and the licence. Dated by the newest changelog entry,
# or by SOURCE_DATE_EPOCH where the caller sets it, so that two builds of one
# commit give the same bytes.
include(cmake/ZulChangelogDate.cmake)
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(source_date_epoch "$ENV{SOURCE_DATE_EPOCH}")
endif()
# cmake/windows_zip.sh runs Debian's zip.
find_program(ZUL_CV_ZIP zip REQUIRED)

set(ZUL_CV_WINDOWS_ZIP "${PROJECT_BINARY_DIR}/${PROJECT_NAME}-${PROJECT_VERSION}-windows-x86_64.zip")
set(readme "${PROJECT_BINARY_DIR}/windows/README.txt")
configure_file("${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in" "${readme}" @ONLY)

get_property(plugins GLOBAL PROPERTY ZUL_CV_PLUGINS)
list(TRANSFORM plugins APPEND -audio OUTPUT_VARIABLE audio_forms)
set(bundle_files "")
foreach(form IN LISTS plugins audio_forms)
  list(APPEND bundle_files "${ZUL_CV_STAGE_DIR}/${form}.lv2/manifest.ttl"
       "${ZUL_CV_STAGE_DIR}/${form}.lv2/${form}.ttl" "$<TARGET_PROPERTY:${form},ZUL_PRESET_FILES>")
endforeach()
set(script "${PROJECT_SOURCE_DIR}/cmake/windows_zip.sh")
add_custom_command(OUTPUT "${ZUL_CV_WINDOWS_ZIP}"
  COMMAND ${CMAKE_COMMAND} -E env "SOURCE_DATE_EPOCH=${source_date_epoch}"
          "${script}" "${ZUL_CV_WINDOWS_ZIP}" "${CMAKE_STRIP}" "${readme}"
          "${PROJECT_SOURCE_DIR}/LICENSE" "${ZUL_CV_STAGE_DIR}" ${plugins} ${audio_forms}
  DEPENDS ${plugins} ${audio_forms} ${bundle_files} "${script}" "${readme}"
          "${PROJECT_SOURCE_DIR}/LICENSE"
  COMMENT "Making ${PROJECT_NAME}-${PROJECT_VERSION}-windows-x86_64.zip"
  VERBATIM COMMAND_EXPAND_LISTS)
add_custom_target(zul_windows_zip ALL DEPENDS "${ZUL_CV_WINDOWS_ZIP}")
