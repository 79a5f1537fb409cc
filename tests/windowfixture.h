// SPDX-License-Identifier: MIT
#pragma once

#include "app/mainwindow.h"
#include "sim/simusbbackend.h"
#include "views/mainwindowform.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <memory>
#include <vector>

// Lets the event loop turn until the window's start-up scan has run, as a user waits for the window
// to fill; false if it has not run within ten seconds.
inline bool waitForStartUpScan(const MainWindow& window) {
    const QDeadlineTimer deadline(10000);
    while (window.startUpScanPending() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return !window.startUpScanPending();
}

// A real MainWindow over a simulated USB world. By default one i2c-tiny-usb adapter with a
// CY22150 at 0x69 sits on bus 1, so the start-up scan opens it and reads the chip. The transfer
// log starts empty after construction; what the start-up sent stays in startUpTransfers.
struct WindowFixture {
    std::shared_ptr<SimUsbBackend> usb = std::make_shared<SimUsbBackend>();
    std::shared_ptr<SimCy22150> chip = std::make_shared<SimCy22150>(0x69);
    std::unique_ptr<MainWindow> window;
    std::vector<SimTransfer> startUpTransfers;

    enum class Start { WithAdapter, WithoutAdapter };

    explicit WindowFixture(Start start = Start::WithAdapter,
                           const SimFirmwareProfile& firmware = SimFirmware::original()) {
        if (start == Start::WithAdapter)
            usb->plug(SimDevice::adapter(1, 4, chip, firmware));
    }

    // Builds the window, waits for its start-up scan, keeps the start-up's transfers and clears
    // the transfer log. A file name is loaded after the scan, as `vantrel FILE` does. The window
    // reads the board facts from the test mode's settings, never from the user's.
    MainWindow& open(const QString& startUpFile = {}) {
        QStandardPaths::setTestModeEnabled(true);
        QLoggingCategory::setFilterRules(
            QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
        window = std::make_unique<MainWindow>(usb);
        if (!startUpFile.isEmpty())
            window->loadAfterStartUpScan(startUpFile);
        if (!waitForStartUpScan(*window))
            qFatal("the window's start-up scan did not run");
        startUpTransfers = usb->transfers();
        usb->resetTransfers();
        return *window;
    }

    MainWindowForm& ui() const { return *window->form(); }
    Session& session() const { return window->session(); }
    FormContext& form() const { return window->formContext(); }
    FormViews& views() const { return window->views(); }

    // Register numbers of the register writes (request 7) since the log was last cleared.
    std::vector<int> writtenRegisters() const {
        std::vector<int> registers;
        for (const SimTransfer& t : usb->transfers())
            if (t.request == 7 && !t.data.empty())
                registers.push_back(t.data[0]);
        return registers;
    }
    // (register, value) pairs of the register writes since the log was last cleared.
    std::vector<std::pair<int, int>> writes() const {
        std::vector<std::pair<int, int>> pairs;
        for (const SimTransfer& t : usb->transfers())
            if (t.request == 7 && t.data.size() == 2)
                pairs.emplace_back(t.data[0], t.data[1]);
        return pairs;
    }
};
