# SPDX-License-Identifier: MIT
# mandoc -T lint reports nothing at all on the manual pages, not even a style remark, and each
# page names the project and its version in .Os: an empty .Os lets the viewer fill in its own
# system's name ("BSD", "Debian") in the footer. The level is style, not all (base): base adds
# the conventions of the BSD base systems' own pages, among them the empty .Os.
if(NOT TOOL)
    message("SKIP: tool not found: mandoc")
    return()
endif()
foreach(page IN LISTS PAGES)
    file(STRINGS "${page}" os REGEX "^\\.Os")
    if(NOT os STREQUAL ".Os Vantrel ${VERSION}")
        message(FATAL_ERROR "${page}: the .Os line is \"${os}\", not \".Os Vantrel ${VERSION}\"")
    endif()
    execute_process(COMMAND ${TOOL} -T lint -W style "${page}"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0 OR NOT output STREQUAL "")
        message(FATAL_ERROR "mandoc -T lint on ${page} (exit ${result}):\n${output}")
    endif()
    message("${page}: clean")
endforeach()
