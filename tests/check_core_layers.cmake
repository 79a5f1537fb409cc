# SPDX-License-Identifier: MIT
# The core builds without widgets: no core source includes anything from a front end or a view, or
# a Qt header that is not Qt Core's (check_no_gui.cmake checks what a program links).
#   SOURCE_DIR   the project's sources
#   QTCORE_DIR   Qt Core's include directory (…/qt6/QtCore)
set(problems "")
file(GLOB_RECURSE sources RELATIVE "${SOURCE_DIR}"
     "${SOURCE_DIR}/registers/*" "${SOURCE_DIR}/frequency/*" "${SOURCE_DIR}/files/*"
     "${SOURCE_DIR}/usb/*" "${SOURCE_DIR}/session/*" "${SOURCE_DIR}/common/*")
foreach(source ${sources})
    file(STRINGS "${SOURCE_DIR}/${source}" includes REGEX "^[ \t]*#[ \t]*include")
    foreach(line ${includes})
        if(line MATCHES "[\"<](app|views|cli)/" OR line MATCHES "ui_[a-z]+\\.h")
            list(APPEND problems "${source}: ${line}")
        elseif(line MATCHES "<(Qt[A-Za-z]+/)?(Q[A-Za-z]+)>")
            set(module "${CMAKE_MATCH_1}")
            set(header "${CMAKE_MATCH_2}")
            if((module AND NOT module STREQUAL "QtCore/") OR NOT EXISTS "${QTCORE_DIR}/${header}")
                list(APPEND problems "${source}: ${line} is not a Qt Core header")
            endif()
        endif()
    endforeach()
endforeach()

if(problems)
    list(JOIN problems "\n" text)
    message(FATAL_ERROR "the core reaches above itself:\n${text}")
endif()
