// SPDX-License-Identifier: MIT
// Wall time of a USB scan when devices beside the adapter never answer their string requests.
//
// The scan (listDevices over the libusb-1.0 backend) opens every device for its manufacturer and
// product strings. A device that does not answer holds each request until libusb gives it up at
// LibUsbBackend::StringRequestTimeoutMs, so what a silent device costs is bounded by that
// time-out times its requests. This benchmark runs the real libusb-1.0 on the emulated machine
// (tests/umockdev), where an unanswered request is held until libusb discards it at its time-out,
// as a kernel would: the times are real waits, not an error returned at once.
//
// Each machine (one adapter with a CY22150, plus 0, 1, 3 or 8 silent devices) lives in a child
// process of its own, since libusb looks for usbfs and sysfs once per process. For each it
// measures the listing alone, counts the requests each silent device received, and then times the
// construction of the main window and its start-up scan, which lists the devices, opens the
// adapter and reads its 256 registers.
//
// Run it with umockdev's preload library:
//   LD_PRELOAD=libumockdev-preload.so.0 build/bench/bench_scan   (or: umockdev-wrapper ...)

#include "benchmeasure.h"

#include "app/mainwindow.h"
#include "emulatedusb.h"
#include "usb/devicelist.h"
#include "usb/libusbbackend.h"
#include "views/mainwindowform.h"

#include <QApplication>
#include <QLoggingCategory>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {
constexpr int ListingRounds = 3;
constexpr int FirstSilentAddress = 2;  // the silent devices sit on bus 2

struct Machine {
    EmulatedUsb usb;
    std::vector<std::shared_ptr<EmulatedDevice>> silent;

    explicit Machine(int silentCount) {
        usb.addAdapter(1, 4);
        for (int i = 0; i < silentCount; ++i) {
            EmulatedDeviceProfile profile = EmulatedDeviceProfile::ordinary(
                2, FirstSilentAddress + i, 0x1234, quint16(0x9A00 + i), "Silent", "No answer");
            profile.silentOnStringRequests = true;
            silent.push_back(usb.addDevice(profile));
        }
    }

    // Unanswered requests the silent devices received since their last clear, per device.
    double unansweredPerDevice() const {
        if (silent.empty())
            return 0;
        int unanswered = 0;
        for (const auto& device : silent) {
            for (const ControlTransferRecord& t : device->transfers()) {
                if (t.outcome == ControlTransferRecord::Outcome::Unanswered)
                    ++unanswered;
            }
        }
        return double(unanswered) / double(silent.size());
    }

    void clearTransfers() {
        for (const auto& device : silent)
            device->clearTransfers();
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One machine, measured in this (child) process.
int measure(int silentCount, int argc, char* argv[]) {
    Machine machine(silentCount);

    LibUsbBackend backend;
    backend.init();
    std::vector<double> listingMs;
    double requests = 0;
    size_t listed = 0;
    for (int round = 0; round < ListingRounds; ++round) {
        machine.clearTransfers();
        const bench::Stopwatch watch;
        const std::vector<ListedDevice> devices = listDevices(backend);
        listingMs.push_back(watch.wall() * 1e3);
        requests = machine.unansweredPerDevice();
        listed = devices.size();
    }

    // The window's start-up scan over the same machine, with libusb-1.0 as the application uses.
    bench::useOffscreenPlatformByDefault();
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    const bench::Stopwatch windowWatch;
    MainWindow window;
    while (window.startUpScanPending())  // it runs at the event loop's first turn
        QCoreApplication::processEvents();
    const double windowMs = windowWatch.wall() * 1e3;
    const bool adapterOpen = window.session().adapter.handle != nullptr;

    const double boundMs =
        double(LibUsbBackend::StringRequestTimeoutMs) * requests * double(silentCount);
    std::printf("%6d %7zu %12.1f %12.1f %14.1f %10.1f %12.1f%s\n", silentCount, listed,
                median(listingMs), *std::max_element(listingMs.begin(), listingMs.end()), requests,
                boundMs, windowMs, adapterOpen ? "" : "  (adapter not opened!)");
    std::fflush(stdout);
    return adapterOpen ? 0 : 1;
}
}  // namespace

int main(int argc, char* argv[]) {
    if (!EmulatedUsb::preloaded()) {
        std::fprintf(
            stderr, "run with umockdev's preload library: LD_PRELOAD=libumockdev-preload.so.0 %s\n",
            argv[0]);
        return 1;
    }
    std::printf("USB scan with devices that never answer string requests (emulated machine)\n");
    std::printf(
        "conditions: real libusb-1.0 under umockdev, one adapter (CY22150) on bus 1, "
        "string request time-out %u ms\n\n",
        LibUsbBackend::StringRequestTimeoutMs);
    std::printf("%6s %7s %12s %12s %14s %10s %12s\n", "silent", "listed", "listing ms",
                "(worst) ms", "requests/dev", "bound ms", "window ms");
    std::fflush(stdout);

    int failures = 0;
    for (const int silentCount : {0, 1, 3, 8}) {
        const pid_t child = fork();
        if (child < 0) {
            std::perror("fork");
            return 1;
        }
        if (child == 0) {
            // Leave without the parent's atexit handlers; the machine is torn down in measure().
            const int code = measure(silentCount, argc, argv);
            std::fflush(stdout);
            _exit(code);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++failures;
    }
    std::printf(
        "\nlisting: median (worst) of %d listDevices calls; requests/dev: string requests each "
        "silent\ndevice left unanswered per listing; bound: time-out x requests x devices; "
        "window: MainWindow\nconstruction and its start-up scan, which also opens the adapter and "
        "reads 256 registers.\n",
        ListingRounds);
    return failures == 0 ? 0 : 1;
}
