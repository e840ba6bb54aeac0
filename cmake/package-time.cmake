# Read by CPack before it installs what it packs (CPACK_INSTALL_SCRIPTS).
# Without SOURCE_DATE_EPOCH, in a git checkout, it sets that variable for the
# rest of CPack's work to the last commit's time, so that a package made
# without it agrees with one made with it: strip writes it into a Windows
# program's header, and reproducible-packages.cmake gives it to every entry.

if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND EXISTS "${CPACK_CALCULATOR_SOURCE_DIR}/.git")
  execute_process(COMMAND git -C "${CPACK_CALCULATOR_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(NOT failed)
    set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
  endif()
endif()
