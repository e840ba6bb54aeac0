# The license notices that a program owes for the libraries linked into it:
# the copyright file of the Debian package that holds each library the
# compiler links, as dpkg knows it, taken from the build machine.

# Installs into DESTINATION the copyright file of the package of each library
# (a file name the compiler resolves, such as libc.a), once per text, named
# PACKAGE.copyright (.copyright.txt on Windows), and sets
# NOTICES_PACKAGE_<library> to the package of each in the caller's scope.
function(install_library_notices destination)
  set(installed)
  if(WIN32)
    set(suffix .txt)
  endif()
  foreach(library ${ARGN})
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
      OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path "${path}" REALPATH)
    execute_process(COMMAND dpkg-query --search "${path}"
      OUTPUT_VARIABLE owner RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
      message(FATAL_ERROR "no Debian package holds ${library} (${path}), so its license "
        "notices cannot be packed: build on Debian with the compiler's own libraries")
    endif()
    string(REGEX REPLACE "[:,].*" "" package "${owner}")
    set(NOTICES_PACKAGE_${library} ${package} PARENT_SCOPE)
    get_filename_component(copyright /usr/share/doc/${package}/copyright REALPATH)
    file(SHA256 "${copyright}" text)
    if(NOT text IN_LIST installed)
      list(APPEND installed ${text})
      install(FILES "${copyright}" DESTINATION ${destination} RENAME ${package}.copyright${suffix})
    endif()
  endforeach()
endfunction()
