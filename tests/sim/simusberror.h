// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// The error codes and texts of the USB library (libusb-1.0) that the simulation reproduces, so
// that a simulated failure reads like a real one.
struct SimUsbError {
    int code;
    const char* text;
};

namespace SimUsbErrors {
constexpr SimUsbError Io{-1, "Input/Output Error"};
constexpr SimUsbError InvalidParam{-2, "Invalid parameter"};
constexpr SimUsbError Access{-3, "Access denied (insufficient permissions)"};
constexpr SimUsbError NoDevice{-4, "No such device (it may have been disconnected)"};
constexpr SimUsbError NotFound{-5, "Entity not found"};
constexpr SimUsbError Busy{-6, "Resource busy"};
constexpr SimUsbError Timeout{-7, "Operation timed out"};
constexpr SimUsbError Pipe{-9, "Pipe error"};  // the device stalled the request
constexpr SimUsbError Other{-99, "Other error"};
constexpr const char* NoErrorText = "Success";
}  // namespace SimUsbErrors
