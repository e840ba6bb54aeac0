# Writes the Debian changelog of the package, run at every build:
#   cmake -DSOURCE_DIR=... -DINPUT=... -DOUTPUT=... -Ddebian_version=...
#         -DCALCULATOR_RELEASE_NAME=... -DCPACK_PACKAGE_CONTACT=... -P debian-changelog.cmake
# Its newest entry is dated with the commit's time, or SOURCE_DATE_EPOCH's,
# read anew at every build, so that a build folder configured at an older
# commit does not keep that commit's date. OUTPUT changes only with its text.

include(${CMAKE_CURRENT_LIST_DIR}/source.cmake)
calculator_source_date_epoch("${SOURCE_DIR}" epoch)
if(epoch STREQUAL "")  # in a copy of the tree with no commit to date it by: now
  unset(ENV{SOURCE_DATE_EPOCH})
else()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
string(TIMESTAMP package_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file("${INPUT}" "${OUTPUT}" @ONLY)
