# SPDX-License-Identifier: MIT
# Packaging tests, included from packaging/CMakeLists.txt when the tests are built. A test whose
# tool is missing on the machine prints "SKIP:" and is reported as skipped; scripts/install-deps
# installs every one of them.

find_program(APPSTREAMCLI appstreamcli)
find_program(MANDOC mandoc)
find_program(LINTIAN lintian)
find_program(DPKG_DEB dpkg-deb)
find_program(GIT_EXECUTABLE git)
find_program(UPDATE_MIME_DATABASE update-mime-database)

set(checks ${CMAKE_CURRENT_SOURCE_DIR}/tests)

add_test(NAME appstream_metadata_valid
         COMMAND ${CMAKE_COMMAND} -DTOOL=${APPSTREAMCLI}
                 -DMETAINFO=${CMAKE_CURRENT_SOURCE_DIR}/${VANTREL_APPSTREAM_ID}.metainfo.xml
                 -P ${checks}/check_appstream.cmake)

# Run beside the pages, so that each finds the other when it refers to it.
add_test(NAME man_pages_lint
         COMMAND ${CMAKE_COMMAND} -DTOOL=${MANDOC} "-DPAGES=vantrel.1;vantrel-cli.1"
                 -DVERSION=${PROJECT_VERSION}
                 -P ${checks}/check_man_pages.cmake
         WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/man)

set(expected_files
    bin/vantrel
    share/applications/vantrel.desktop
    share/mime/packages/vantrel.xml
    share/icons/hicolor/scalable/apps/vantrel.svg
    lib/udev/rules.d/70-vantrel-i2c-tiny-usb.rules
    share/metainfo/${VANTREL_APPSTREAM_ID}.metainfo.xml
    share/man/man1/vantrel.1.gz
    share/doc/vantrel/copyright
    share/doc/vantrel/changelog.gz)
if(TARGET vantrel-cli)
    list(APPEND expected_files bin/vantrel-cli share/man/man1/vantrel-cli.1.gz
         share/bash-completion/completions/vantrel-cli)
endif()
add_test(NAME install_icons_metadata_man_pages
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DPREFIX=${CMAKE_CURRENT_BINARY_DIR}/install-check
                 "-DFILES=${expected_files}" "-DICON_SIZES=${VANTREL_ICON_SIZES}"
                 -DUPDATE_MIME_DATABASE=${UPDATE_MIME_DATABASE}
                 -P ${checks}/check_install_all.cmake)

# The package is made from the plain build; a sanitized build is not for shipping.
if(NOT VANTREL_SANITIZE)
    add_test(NAME deb_package_lintian_clean
             COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                     -DSCRATCH=${CMAKE_CURRENT_BINARY_DIR}/package-check
                     -DLINTIAN=${LINTIAN} -DDPKG_DEB=${DPKG_DEB}
                     "-DFILES=${expected_files}"
                     -P ${checks}/check_deb.cmake)
    set_tests_properties(deb_package_lintian_clean PROPERTIES TIMEOUT 300)
endif()

add_test(NAME spdx_license_identifiers
         COMMAND ${CMAKE_COMMAND} -DGIT=${GIT_EXECUTABLE} -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/spdx.cmake)

set_tests_properties(appstream_metadata_valid man_pages_lint install_icons_metadata_man_pages
                     spdx_license_identifiers PROPERTIES SKIP_REGULAR_EXPRESSION "SKIP: tool not found: ")
if(TEST deb_package_lintian_clean)
    set_tests_properties(deb_package_lintian_clean PROPERTIES SKIP_REGULAR_EXPRESSION "SKIP: tool not found: ")
endif()
