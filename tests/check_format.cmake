# SPDX-License-Identifier: MIT
# Every tracked C++ source follows .clang-format: clang-format --dry-run -Werror over the files
# that git lists; a difference fails the test and names the file.
#   cmake -DTOOL=clang-format -DGIT=git -DSOURCE_DIR=. -P tests/check_format.cmake
if(NOT TOOL OR NOT GIT)
    message("SKIP: tool not found: clang-format or git")
    return()
endif()
execute_process(COMMAND ${GIT} -C "${SOURCE_DIR}" ls-files -- "*.cpp" "*.h"
                RESULT_VARIABLE result OUTPUT_VARIABLE listing ERROR_VARIABLE error)
if(NOT result EQUAL 0)
    message("SKIP: tool not found: git, or ${SOURCE_DIR} is not a git checkout: ${error}")
    return()
endif()
string(STRIP "${listing}" listing)
string(REPLACE "\n" ";" files "${listing}")
set(existing "")
foreach(path IN LISTS files)
    # A file deleted in the working tree but not yet in the index is not there to check.
    if(EXISTS "${SOURCE_DIR}/${path}")
        list(APPEND existing "${path}")
    endif()
endforeach()
list(LENGTH existing checked)
# One run over all files: each difference is a diagnostic "FILE:LINE:COLUMN: error: ...".
execute_process(COMMAND ${TOOL} --dry-run -Werror --style=file ${existing}
                WORKING_DIRECTORY "${SOURCE_DIR}"
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE diagnostics)
if(NOT result EQUAL 0)
    string(REGEX MATCHALL "[^\n:]+:[0-9]+:[0-9]+: error:" places "${diagnostics}")
    set(differ "")
    foreach(place IN LISTS places)
        string(REGEX REPLACE ":[0-9]+:[0-9]+: error:$" "" path "${place}")
        list(APPEND differ "${path}")
    endforeach()
    list(REMOVE_DUPLICATES differ)
    list(LENGTH differ count)
    list(JOIN differ "\n  " lines)
    message(FATAL_ERROR "${count} of ${checked} C++ files differ from .clang-format "
                        "(clang-format -i FILE):\n  ${lines}\n${diagnostics}")
endif()
message("all ${checked} C++ files follow .clang-format")
