// SPDX-License-Identifier: MIT
#pragma once

#include "usb/i2ctinyusb.h"

#include <QElapsedTimer>

#include <vector>

struct FormContext;
struct Session;

// The USB device list, the I2C address box and the read progress bar.
class DeviceView : public TransportObserver {
public:
    DeviceView(FormContext& form, Session& s) : form_(form), s_(s) {}

    // Fills the I2C address box once. Its scan connection comes after the selection, so filling it
    // starts no scan.
    void setUpAddressBox();
    // Lists every USB device, then every I2C bus that is not such an adapter, and opens the first
    // i2c-tiny-usb adapter while none is open. Returns 0, or -1 when the USB library reports no
    // bus.
    int scanDevices();
    // Opens the adapter or I2C bus named by the selected entry and reads all 256 registers into the
    // image. Returns 0 on success, -1 on every failure.
    int openSelected();

    // Sets the bar to done * maximum / count. The event loop does not run during a read, so the
    // bar is repainted here, at most once per RepaintIntervalMs (a frame at 60 Hz), and always at
    // the end of the read; each repaint costs about half a millisecond.
    void readProgress(int done, int count) override;

    static constexpr int RepaintIntervalMs = 16;

private:
    void addBusEntries(const std::vector<UsbBus>& busses);

    QElapsedTimer sinceRepaint_;
    FormContext& form_;
    Session& s_;
};
