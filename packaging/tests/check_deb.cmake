# SPDX-License-Identifier: MIT
# Builds the Debian package from the build tree with CPack in a scratch directory, checks what it
# holds and what it depends on, and runs lintian on it: no error may be reported.
if(NOT LINTIAN OR NOT DPKG_DEB)
    message("SKIP: tool not found: lintian or dpkg-deb")
    return()
endif()
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
get_filename_component(cmake_dir "${CMAKE_COMMAND}" DIRECTORY)
find_program(CPACK cpack HINTS "${cmake_dir}" NO_DEFAULT_PATH)
if(NOT CPACK)
    find_program(CPACK cpack REQUIRED)
endif()
execute_process(COMMAND ${CPACK} -G DEB --config "${BUILD_DIR}/CPackConfig.cmake" -B "${SCRATCH}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack failed (${result}):\n${output}")
endif()
file(GLOB packages "${SCRATCH}/*.deb")
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package in ${SCRATCH}, found: ${packages}\n${output}")
endif()
message("package: ${packages}")

execute_process(COMMAND ${DPKG_DEB} --contents "${packages}"
                RESULT_VARIABLE result OUTPUT_VARIABLE contents)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "dpkg-deb --contents failed: ${result}")
endif()
foreach(f IN LISTS FILES)
    string(FIND "${contents}" " ./usr/${f}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "not in the package: /usr/${f}\n${contents}")
    endif()
endforeach()
foreach(size 16 24 32 48 64 128 256)
    string(FIND "${contents}" " ./usr/share/icons/hicolor/${size}x${size}/apps/vantrel.png\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "not in the package: the ${size}x${size} icon")
    endif()
endforeach()
# Nothing of the tests, the emulation or the benchmarks goes into the package.
if(contents MATCHES "vantrel-demo|tst_|bench_|umockdev")
    message(FATAL_ERROR "the package holds development files:\n${contents}")
endif()

# The dependencies come from the shared libraries that the programs link.
execute_process(COMMAND ${DPKG_DEB} --field "${packages}" Depends
                RESULT_VARIABLE result OUTPUT_VARIABLE depends OUTPUT_STRIP_TRAILING_WHITESPACE)
message("Depends: ${depends}")
foreach(library libqt6widgets6 libqt6core6 libusb-1.0-0 libc6)
    if(NOT depends MATCHES "(^|, )${library} ")
        message(FATAL_ERROR "the package does not depend on ${library}: ${depends}")
    endif()
endforeach()

execute_process(COMMAND ${LINTIAN} --no-cfg --fail-on error "${packages}"
                RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
message("lintian:\n${report}")
if(NOT result EQUAL 0 OR report MATCHES "(^|\n)E: ")
    message(FATAL_ERROR "lintian reports errors (exit ${result})")
endif()
