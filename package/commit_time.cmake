# Read by cpack before it packs: the ZIP's entries take the time of the last commit of the sources
# (CPack's archives take SOURCE_DATE_EPOCH, when set, for every entry's time) instead of the times
# the files were built, and a ZIP keeps times in local time, so it is packed as in UTC.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND git log -1 --format=%ct
                  WORKING_DIRECTORY ${CPACK_KEYCONFIG_SOURCE_DIR}
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
  endif()
endif()
set(ENV{TZ} UTC)
