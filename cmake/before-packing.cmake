# Read by CPack for every package before it makes it (CPACK_PROJECT_CONFIG_FILE).
# Every package takes its times from SOURCE_DATE_EPOCH, which is set here to
# the commit's time where it is unset or empty (see source.cmake): strip
# writes it into a Windows program's header, and after-packing.cmake
# and dpkg-deb give it to every entry.
# In a git checkout, the source tarball holds exactly the files that git
# tracks at the checkout's commit, so nothing else left in the tree (a build,
# an unpacked tarball, a fuzz finding) can slip into a release. Elsewhere, as
# in an unpacked tarball, it holds the tree less its builds.

include(${CPACK_CALCULATOR_SOURCE_DIR}/cmake/source.cmake)
calculator_source_date_epoch("${CPACK_CALCULATOR_SOURCE_DIR}" epoch)
if(epoch STREQUAL "")
  unset(ENV{SOURCE_DATE_EPOCH})
else()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()

# A build folder holds the packages of the tree's own name alone: those of
# other commits, each named for its own, go before a new one is made, so
# that a pattern such as build-package/calculator_*_amd64.deb names one file.
file(GLOB packed "${CPACK_PACKAGE_DIRECTORY}/calculator[-_]*.deb"
  "${CPACK_PACKAGE_DIRECTORY}/calculator[-_]*.tar.gz" "${CPACK_PACKAGE_DIRECTORY}/calculator[-_]*.zip")
foreach(package IN LISTS packed)
  get_filename_component(name "${package}" NAME)
  foreach(own "calculator-${CPACK_PACKAGE_VERSION}." "calculator-${CPACK_PACKAGE_VERSION}-"
      "calculator_${CPACK_PACKAGE_VERSION}-")
    string(FIND "${name}" "${own}" at)
    if(at EQUAL 0)
      set(package "")
    endif()
  endforeach()
  if(package)
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
execute_process(
  COMMAND "${GIT}" -C "${CPACK_CALCULATOR_SOURCE_DIR}" -c tar.umask=0022
    archive --format=tar "--output=${tree}.tar" HEAD
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "git archive failed: ${failed}")
endif()
file(ARCHIVE_EXTRACT INPUT "${tree}.tar" DESTINATION "${tree}")
file(REMOVE "${tree}.tar")
set(CPACK_INSTALLED_DIRECTORIES "${tree};/")
set(CPACK_IGNORE_FILES "")
