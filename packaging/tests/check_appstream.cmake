# SPDX-License-Identifier: MIT
# The AppStream metadata validates offline, without a warning, and offers Vantrel for the adapter.
if(NOT TOOL)
    message("SKIP: tool not found: appstreamcli")
    return()
endif()
execute_process(COMMAND ${TOOL} validate --no-net --no-color "${METAINFO}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate failed: ${result}")
endif()
file(READ "${METAINFO}" metainfo)
foreach(needed "<modalias>usb:v0403pC631*</modalias>" "<project_license>MIT</project_license>"
               "<screenshot type=\"default\">" "<launchable type=\"desktop-id\">vantrel.desktop<")
    string(FIND "${metainfo}" "${needed}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the metadata lacks ${needed}")
    endif()
endforeach()
