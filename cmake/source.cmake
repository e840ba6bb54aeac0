# What the source tree is: the calculator's version, which project() takes,
# and the commit it comes from, whose time every package built from it
# carries. `git archive` writes the commit's id, time and subject into the
# values below (.gitattributes asks it to), so the source tarball carries
# them and needs no git; a checkout asks git.
#
# A version names one tree. Only the commit titled "Release X.Y.Z", where
# X.Y.Z is calculator_version, builds packages named X.Y.Z; any other commit
# names itself after the release it leads to and its own id, as Debian orders
# versions before that release: X.Y.Z~dev+git.ID7 (X.Y.Z~dev where no commit
# is known). project() takes no "~", so that name is carried beside the
# version. tools/verify-release.sh checks a release's version by this rule.
#
# In CMake: calculator_source_commit(SOURCE_DIR ID_VAR TIME_VAR SUBJECT_VAR),
# calculator_release_name(SOURCE_DIR VAR), and
# calculator_source_date_epoch(SOURCE_DIR VAR), SOURCE_DATE_EPOCH when it is
# set and not empty, else the commit's time. From a shell, the release name
# and the commit's id and time (- where unknown): cmake -P cmake/source.cmake

set(calculator_version 1.7.0)
set(calculator_archived_commit "$Format:%H$")
set(calculator_archived_commit_time "$Format:%ct$")
set(calculator_archived_commit_subject [==[$Format:%s$]==])

# Sets the variables to the commit's id, time and subject, or to empty
# strings when the tree neither comes from `git archive` nor is a checkout.
function(calculator_source_commit source_dir id_var time_var subject_var)
  set(id "")
  set(time "")
  set(subject "")
  if(calculator_archived_commit_time MATCHES "^[0-9]+$")
    set(id "${calculator_archived_commit}")
    set(time "${calculator_archived_commit_time}")
    set(subject "${calculator_archived_commit_subject}")
  elseif(EXISTS "${source_dir}/.git")
    execute_process(COMMAND git -C "${source_dir}" log -1 --format=%H%n%ct%n%s
      OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
    if(NOT failed AND commit MATCHES "^([0-9a-f]+)\n([0-9]+)\n(.*)$")
      set(id "${CMAKE_MATCH_1}")
      set(time "${CMAKE_MATCH_2}")
      set(subject "${CMAKE_MATCH_3}")
    endif()
  endif()
  set(${id_var} "${id}" PARENT_SCOPE)
  set(${time_var} "${time}" PARENT_SCOPE)
  set(${subject_var} "${subject}" PARENT_SCOPE)
endfunction()

function(calculator_release_name source_dir result)
  calculator_source_commit("${source_dir}" id time subject)
  if(subject STREQUAL "Release ${calculator_version}")
    set(name ${calculator_version})
  elseif(id STREQUAL "")
    set(name ${calculator_version}~dev)
  else()
    string(SUBSTRING "${id}" 0 7 short_id)
    set(name ${calculator_version}~dev+git.${short_id})
  endif()
  set(${result} "${name}" PARENT_SCOPE)
endfunction()

function(calculator_source_date_epoch source_dir result)
  if(NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(${result} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
  else()
    calculator_source_commit("${source_dir}" id time subject)
    set(${result} "${time}" PARENT_SCOPE)
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  get_filename_component(source_dir "${CMAKE_CURRENT_LIST_DIR}" DIRECTORY)
  calculator_release_name("${source_dir}" name)
  calculator_source_commit("${source_dir}" id time subject)
  if(NOT time)
    set(id -)
    set(time -)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E echo "${name} ${id} ${time}")
endif()
