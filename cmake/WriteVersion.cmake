# SPDX-License-Identifier: MIT
# The program's version, worked out at every build (cmake -P), so that a new commit
# or an edit shows without configuring again:
#   BASE                 the project's version, in a tree without git or at the tag vBASE
#   BASE+gHASH           a commit of a checkout (short hash)
#   BASE+gHASH.dirty     ... with changes to tracked files not yet committed
# Writes OUT_DIR/version.txt (the version and a newline) and OUT_DIR/TavolinVersion.inc
# (the version as a C++ string literal); each only when its text changes, so that an
# unchanged version rebuilds nothing.
#   cmake -DSOURCE_DIR=... -DBASE=0.1.0 -DOUT_DIR=... -P WriteVersion.cmake

foreach(var SOURCE_DIR BASE OUT_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "WriteVersion.cmake needs -D${var}=...")
  endif()
endforeach()

set(version "${BASE}")
find_package(Git QUIET)
if(GIT_FOUND)
  # Only a checkout of these sources counts, not some repository the sources were unpacked in.
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE not_git ERROR_QUIET)
  file(REAL_PATH "${SOURCE_DIR}" source_dir)
  if(NOT not_git AND EXISTS "${top}")
    file(REAL_PATH "${top}" top)
  endif()
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" rev-parse --short=10 HEAD
                  OUTPUT_VARIABLE hash OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT not_git AND top STREQUAL source_dir)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" status --porcelain --untracked-files=no
                    OUTPUT_VARIABLE changes OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --tags --exact-match --match "v${BASE}"
                    RESULT_VARIABLE untagged OUTPUT_QUIET ERROR_QUIET)
    if(untagged OR NOT changes STREQUAL "")
      set(version "${BASE}+g${hash}")
      if(NOT changes STREQUAL "")
        string(APPEND version ".dirty")
      endif()
    endif()
  endif()
endif()

function(write_if_changed path text)
  if(EXISTS "${path}")
    file(READ "${path}" old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE "${path}" "${text}")
endfunction()

write_if_changed("${OUT_DIR}/version.txt" "${version}\n")
write_if_changed("${OUT_DIR}/TavolinVersion.inc" "\"${version}\"\n")
