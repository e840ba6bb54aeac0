# Read by CPack before each package (CPACK_PROJECT_CONFIG_FILE): every package takes its
# times from SOURCE_DATE_EPOCH, the commit's where unset; in a checkout, the source
# tarball holds only what git tracks, so nothing left in the tree slips into a release.
include(${CPACK_CALCULATOR_SOURCE_DIR}/cmake/source.cmake)
calculator_source_date_epoch("${CPACK_CALCULATOR_SOURCE_DIR}" epoch)
if(epoch STREQUAL "")
  unset(ENV{SOURCE_DATE_EPOCH})
else()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
# Packages of other commits go, so that build-package/calculator_*_amd64.deb names one.
file(GLOB packed "${CPACK_PACKAGE_DIRECTORY}/calculator[-_]*.deb"
  "${CPACK_PACKAGE_DIRECTORY}/calculator[-_]*.tar.gz"
  "${CPACK_PACKAGE_DIRECTORY}/calculator[-_]*.zip")
string(REGEX REPLACE "([.+])" "[\\1]" own "${CPACK_PACKAGE_VERSION}")
foreach(package IN LISTS packed)
  get_filename_component(name "${package}" NAME)
  if(NOT name MATCHES "^calculator[-_]${own}[.-]")
    file(REMOVE "${package}")
  endif()
endforeach()
# Only the source tarball installs a folder instead of the project.
if(CPACK_INSTALL_CMAKE_PROJECTS OR NOT EXISTS "${CPACK_CALCULATOR_SOURCE_DIR}/.git")
  return()
endif()
find_program(GIT git REQUIRED)
set(tree "${CPACK_CALCULATOR_BINARY_DIR}/source-tree")
file(REMOVE_RECURSE "${tree}")
file(MAKE_DIRECTORY "${tree}")
# With the permissions a checkout gets from the usual umask, not git's 0002.
execute_process(COMMAND "${GIT}" -C "${CPACK_CALCULATOR_SOURCE_DIR}" -c tar.umask=0022
  archive --format=tar "--output=${tree}.tar" HEAD COMMAND_ERROR_IS_FATAL ANY)
file(ARCHIVE_EXTRACT INPUT "${tree}.tar" DESTINATION "${tree}")
file(REMOVE "${tree}.tar")
set(CPACK_INSTALLED_DIRECTORIES "${tree};/")
set(CPACK_IGNORE_FILES "")
