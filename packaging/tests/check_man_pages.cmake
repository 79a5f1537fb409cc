# SPDX-License-Identifier: MIT
# mandoc -T lint reports nothing at all on the manual pages, not even a style remark.
if(NOT TOOL)
    message("SKIP: tool not found: mandoc")
    return()
endif()
foreach(page IN LISTS PAGES)
    execute_process(COMMAND ${TOOL} -T lint -W all "${page}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT output STREQUAL "")
        message(FATAL_ERROR "mandoc -T lint on ${page} (exit ${result}):\n${output}")
    endif()
    message("${page}: clean")
endforeach()
