# The date of packaging/changelog's newest entry, which dates everything the
# packages hold so that two builds of one commit give the same bytes:
# changelog, the path of the file; changelog_date, the date as written there;
# source_date_epoch, the same in seconds since 1970.
set(changelog "${PROJECT_SOURCE_DIR}/packaging/changelog")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${changelog}")
file(STRINGS "${changelog}" changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_trailer MATCHES "^ -- .*>  (.+)$")
  message(FATAL_ERROR "${changelog}: no trailer line with the date of the newest entry")
endif()
set(changelog_date "${CMAKE_MATCH_1}")
execute_process(COMMAND date -d "${changelog_date}" +%s OUTPUT_VARIABLE source_date_epoch
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
