# Read by CPack once it has packed (CPACK_POST_BUILD_SCRIPTS): packs each archive again
# with the same bytes whoever builds it, as CPack takes modes from the umask, owners from
# the user, order from the directory and a .deb's size from the file system's blocks.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")  # the commit's: see before-packing.cmake
if(epoch)
  set(tar_time --mtime=@${epoch})
  set(zip_time --timestamp ${epoch})
endif()
# As dpkg counts it: a KiB a folder, and each file's size in KiB, rounded up.
function(installed_size tree result)
  file(GLOB_RECURSE entries LIST_DIRECTORIES true "${tree}/*")
  set(size 0)
  foreach(entry IN LISTS entries)
    if(entry MATCHES "/DEBIAN(/|$)")
    elseif(IS_DIRECTORY "${entry}")
      math(EXPR size "${size} + 1")
    else()
      file(SIZE "${entry}" bytes)
      math(EXPR size "${size} + (${bytes} + 1023) / 1024")
    endif()
  endforeach()
  set(${result} ${size} PARENT_SCOPE)
endfunction()
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  if(package MATCHES "[.]zip$")
    find_program(STRIP_NONDETERMINISM strip-nondeterminism REQUIRED)  # Debian's package
    # Archive::Zip, which it uses, writes times as local time.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC
      ${STRIP_NONDETERMINISM} --type zip ${zip_time} "${package}" COMMAND_ERROR_IS_FATAL ANY)
  elseif(package MATCHES "[.]tar[.]gz$")
    file(MAKE_DIRECTORY "${tree}")
    execute_process(COMMAND tar -xzf "${package}" -C "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    file(GLOB top RELATIVE "${tree}" "${tree}/*")
    execute_process(
      COMMAND tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner
        --mode=u=rwX,go=rX ${tar_time} -C "${tree}" -cf - ${top}
      COMMAND gzip -9n
      OUTPUT_FILE "${package}" COMMAND_ERROR_IS_FATAL ANY)
  elseif(package MATCHES "[.]deb$")
    execute_process(COMMAND dpkg-deb --raw-extract "${package}" "${tree}"
      COMMAND_ERROR_IS_FATAL ANY)
    installed_size("${tree}" size)
    file(READ "${tree}/DEBIAN/control" control)
    string(REGEX REPLACE "\nInstalled-Size: [0-9]+" "\nInstalled-Size: ${size}" control
      "${control}")
    file(WRITE "${tree}/DEBIAN/control" "${control}")
    execute_process(COMMAND chmod -R u=rwX,go=rX "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    # dpkg-deb lowers to SOURCE_DATE_EPOCH only later times, not the top folder's.
    if(epoch)
      execute_process(COMMAND find "${tree}" -exec touch -h -d @${epoch} {} +
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
    execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build "${tree}" "${package}"
      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  endif()
  file(REMOVE_RECURSE "${tree}")
endforeach()
