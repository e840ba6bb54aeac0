# Writes the package's Debian changelog at every build (doc/CMakeLists.txt), dated anew,
# so that a build folder configured at an older commit does not keep its date.
include(${CMAKE_CURRENT_LIST_DIR}/source.cmake)
calculator_source_date_epoch("${SOURCE_DIR}" epoch)
if(epoch STREQUAL "")  # in a copy of the tree with no commit to date it by: now
  unset(ENV{SOURCE_DATE_EPOCH})
else()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
string(TIMESTAMP package_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${INPUT}" "${OUTPUT}" @ONLY)
