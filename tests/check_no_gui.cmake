# SPDX-License-Identifier: MIT
# Fails when BINARY needs Qt Gui or Qt Widgets, directly (readelf NEEDED) or through its
# libraries (ldd).
find_program(READELF readelf REQUIRED)
execute_process(COMMAND ${READELF} -d ${BINARY} OUTPUT_VARIABLE needed RESULT_VARIABLE failed)
if(failed OR NOT needed MATCHES "libQt6Core")
    message(FATAL_ERROR "cannot read the dynamic section of ${BINARY}")
endif()
execute_process(COMMAND ldd ${BINARY} OUTPUT_VARIABLE resolved)
foreach(text IN ITEMS "${needed}" "${resolved}")
    if(text MATCHES "libQt6(Gui|Widgets)")
        message(FATAL_ERROR "${BINARY} links ${CMAKE_MATCH_0}:\n${text}")
    endif()
endforeach()
message(STATUS "${BINARY} links Qt Core only")
