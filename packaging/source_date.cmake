# Read by cpack as it starts (CPACK_PROJECT_CONFIG_FILE). cpack dates the package's files and its
# archive members by SOURCE_DATE_EPOCH in its environment, else by the moment it runs; the build's
# own time (the last commit's) keeps two packages of one commit alike. A time the caller gives
# wins, as it did for the build.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ENV{SOURCE_DATE_EPOCH} "${CPACK_MORVANE_SOURCE_DATE_EPOCH}")
endif()
