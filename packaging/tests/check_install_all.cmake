# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix and checks that it holds the programs, the desktop
# entry, the icons at every size (each PNG of its stated size), the udev rule, the AppStream
# metadata, the manual pages, the bash completion and Debian's copyright and changelog; and that
# the desktop entry names the installed icon.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(f IN LISTS FILES)
    if(NOT EXISTS "${PREFIX}/${f}")
        message(FATAL_ERROR "not installed: ${f}")
    endif()
endforeach()

# A PNG's width and height are the big-endian words at bytes 16 and 20 of its IHDR chunk.
foreach(size IN LISTS ICON_SIZES)
    set(icon "${PREFIX}/share/icons/hicolor/${size}x${size}/apps/vantrel.png")
    if(NOT EXISTS "${icon}")
        message(FATAL_ERROR "not installed: the ${size}x${size} icon")
    endif()
    file(READ "${icon}" signature LIMIT 8 HEX)
    file(READ "${icon}" dimensions OFFSET 16 LIMIT 8 HEX)
    math(EXPR expected "${size}" OUTPUT_FORMAT HEXADECIMAL)
    string(SUBSTRING "${expected}" 2 -1 digits)
    string(LENGTH "${digits}" length)
    while(length LESS 8)
        string(PREPEND digits "0")
        math(EXPR length "${length} + 1")
    endwhile()
    if(NOT signature STREQUAL "89504e470d0a1a0a")
        message(FATAL_ERROR "the ${size}x${size} icon is not a PNG")
    endif()
    if(NOT dimensions STREQUAL "${digits}${digits}")
        message(FATAL_ERROR "the ${size}x${size} icon is ${dimensions} (hex width, height)")
    endif()
endforeach()

file(READ "${PREFIX}/share/icons/hicolor/scalable/apps/vantrel.svg" svg)
if(NOT svg MATCHES "<svg[^>]*viewBox=")
    message(FATAL_ERROR "the scalable icon is not a scalable SVG")
endif()

file(STRINGS "${PREFIX}/share/applications/vantrel.desktop" icon_lines REGEX "^Icon=")
if(NOT icon_lines STREQUAL "Icon=vantrel")
    message(FATAL_ERROR "the desktop entry's icon is '${icon_lines}', not the installed vantrel")
endif()
# bash-completion finds a completion by the command's name; the file must register that name.
set(completion "${PREFIX}/share/bash-completion/completions/vantrel-cli")
if(EXISTS "${completion}")
    file(STRINGS "${completion}" registers REGEX "^complete ")
    if(NOT registers STREQUAL "complete -F _vantrel_cli vantrel-cli")
        message(FATAL_ERROR "the bash completion registers '${registers}', not vantrel-cli")
    endif()
endif()
message("installed: ${FILES} and the icons at ${ICON_SIZES} pixels")
