# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix and checks that it holds the programs, the desktop
# entry, the icons at every size (each PNG of its stated size), the udev rule, the AppStream
# metadata, the manual pages, Debian's copyright and changelog and the register files' MIME type;
# that the desktop entry names the installed icon, takes a file and opens that MIME type; and,
# where update-mime-database is installed, that the MIME database knows the type by the files'
# name. (desktop_entry_valid validates the entry.)
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
set(mime_type "application/x-cy22150-registers")
set(entry "${PREFIX}/share/applications/vantrel.desktop")
file(STRINGS "${entry}" exec_lines REGEX "^Exec=")
if(NOT exec_lines STREQUAL "Exec=vantrel %f")
    message(FATAL_ERROR "the desktop entry runs '${exec_lines}', not 'vantrel %f'")
endif()
file(STRINGS "${entry}" mime_lines REGEX "^MimeType=")
if(NOT mime_lines MATCHES "^MimeType=${mime_type}\\\\?;$")  # file(STRINGS) escapes the ";"
    message(FATAL_ERROR "the desktop entry opens '${mime_lines}', not ${mime_type}")
endif()
if(UPDATE_MIME_DATABASE)
    execute_process(COMMAND "${UPDATE_MIME_DATABASE}" "${PREFIX}/share/mime"
                    RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
    if(NOT result EQUAL 0 OR report MATCHES "[Ww]arning|[Ee]rror")
        message(FATAL_ERROR "update-mime-database (${result}): ${report}")
    endif()
    file(STRINGS "${PREFIX}/share/mime/globs2" globs REGEX ":${mime_type}:")
    if(NOT globs MATCHES ":${mime_type}:\\*\\.cy22150\\.bin$")
        message(FATAL_ERROR "the MIME database does not know *.cy22150.bin: '${globs}'")
    endif()
endif()
message("installed: ${FILES} and the icons at ${ICON_SIZES} pixels")
