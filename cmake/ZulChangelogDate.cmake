# The version and date of packaging/changelog's newest entry. The date dates
# everything the packages hold so that two builds of one commit give the same
# bytes: changelog, the path of the file; changelog_date, the date as written
# there; source_date_epoch, the same in seconds since 1970; debian_revision,
# what follows the project's version in the entry's (the 1 of 0.4.0-1).
set(changelog "${PROJECT_SOURCE_DIR}/packaging/changelog")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${changelog}")
file(STRINGS "${changelog}" changelog_trailer REGEX "^ -- " LIMIT_COUNT 1)
if(NOT changelog_trailer MATCHES "^ -- .*>  (.+)$")
  message(FATAL_ERROR "${changelog}: no trailer line with the date of the newest entry")
endif()
set(changelog_date "${CMAKE_MATCH_1}")
execute_process(COMMAND date -d "${changelog_date}" +%s OUTPUT_VARIABLE source_date_epoch
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(STRINGS "${changelog}" changelog_heading LIMIT_COUNT 1)
if(NOT changelog_heading MATCHES "^[a-z0-9.+-]+ \\([^)]+-([0-9A-Za-z.+~]+)\\) ")
  message(FATAL_ERROR "${changelog}: the newest entry's version has no Debian revision")
endif()
set(debian_revision "${CMAKE_MATCH_1}")
