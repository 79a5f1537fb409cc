# SPDX-License-Identifier: MIT
# The adapter's rule must match 0403:c631 and hand access to the seat's user (uaccess), never open
# the device node to everyone.
file(READ "${RULE}" rule)
foreach(needed [[ATTR{idVendor}=="0403"]] [[ATTR{idProduct}=="c631"]] [[TAG+="uaccess"]])
    string(FIND "${rule}" "${needed}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "udev rule lacks ${needed}")
    endif()
endforeach()
if(rule MATCHES "MODE *= *\"?0?[0-7][0-7][2367]")
    message(FATAL_ERROR "udev rule makes the device world-writable")
endif()
