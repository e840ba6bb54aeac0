# What the source tree is: the calculator's version, which project() takes,
# and the commit it comes from, whose time every package built from it
# carries. `git archive` writes the commit's id and time into the values
# below (.gitattributes asks it to), so the source tarball carries them and
# needs no git; a checkout asks git.
# In CMake: calculator_source_commit(SOURCE_DIR ID_VAR TIME_VAR), and
# calculator_source_date_epoch(SOURCE_DIR VAR), SOURCE_DATE_EPOCH when it is
# set and not empty, else the commit's time. From a shell, the version and
# the commit's id and time (- where unknown): cmake -P cmake/source.cmake

set(calculator_version 1.5.0)
set(calculator_archived_commit "$Format:%H$")
set(calculator_archived_commit_time "$Format:%ct$")

# Sets ID_VAR and TIME_VAR to the commit's, or to empty strings when the tree
# neither comes from `git archive` nor is a checkout.
function(calculator_source_commit source_dir id_var time_var)
  set(id "")
  set(time "")
  if(calculator_archived_commit_time MATCHES "^[0-9]+$")
    set(id "${calculator_archived_commit}")
    set(time "${calculator_archived_commit_time}")
  elseif(EXISTS "${source_dir}/.git")
    execute_process(COMMAND git -C "${source_dir}" log -1 --format=%H%n%ct
      OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(NOT failed)
      string(REPLACE "\n" ";" commit "${commit}")
      list(GET commit 0 id)
      list(GET commit 1 time)
    endif()
  endif()
  set(${id_var} "${id}" PARENT_SCOPE)
  set(${time_var} "${time}" PARENT_SCOPE)
endfunction()

function(calculator_source_date_epoch source_dir result)
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(${result} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
  else()
    calculator_source_commit("${source_dir}" id time)
    set(${result} "${time}" PARENT_SCOPE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  get_filename_component(source_dir "${CMAKE_CURRENT_LIST_DIR}" DIRECTORY)
  calculator_source_commit("${source_dir}" id time)
  if(NOT time)
    set(id -)
    set(time -)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${calculator_version} ${id} ${time}")
endif()
