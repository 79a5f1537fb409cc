// SPDX-License-Identifier: MIT
#pragma once

// A real, shown main window over a simulated i2c-tiny-usb adapter with a CY22150 behind it. The
// simulation answers every transfer at once, so what the benchmarks measure is the tool's own
// work: handlers, refreshes, transfer bookkeeping and painting.

#include "app/mainwindow.h"
#include "simusbbackend.h"
#include "views/mainwindowform.h"

#include <QLoggingCategory>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace bench {

struct SimulatedWindow {
    std::shared_ptr<SimUsbBackend> usb = std::make_shared<SimUsbBackend>();
    std::shared_ptr<SimCy22150> chip = std::make_shared<SimCy22150>(0x69);
    std::unique_ptr<MainWindow> window;

    // Builds the window, shows it and waits until it is exposed and active and its start-up scan
    // has opened the adapter and read the chip, as a user's window would be.
    SimulatedWindow() {
        QLoggingCategory::setFilterRules(
            QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
        usb->plug(SimDevice::adapter(1, 4, chip));
        window = std::make_unique<MainWindow>(usb);
        showMainWindow(*window);
        window->activateWindow();
        if (!QTest::qWaitForWindowExposed(window.get()) ||
            !QTest::qWaitForWindowActive(window.get()) ||
            !QTest::qWaitFor([&] { return !window->startUpScanPending(); })) {
            std::fprintf(stderr, "the window was not shown and activated, or did not scan\n");
            std::exit(1);
        }
        if (!window->session().adapter.handle) {
            std::fprintf(stderr, "the simulated adapter was not opened\n");
            std::exit(1);
        }
        usb->resetTransfers();
    }

    MainWindowForm& ui() const { return *window->form(); }
};

}  // namespace bench
