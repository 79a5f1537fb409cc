// SPDX-License-Identifier: MIT
// Start-up to the first shown window and the peak memory of a started window, offscreen.
//
// Without arguments the window starts as the application does, over libusb-1.0, and its
// start-up scan meets whatever this machine has (typically no adapter). With --simulated it
// starts over a simulated adapter, so the scan also opens it and reads all 256 registers.
// Run it a few times: the first run after a build also pays for a cold disk cache.

#include "benchmeasure.h"

#include "app/mainwindow.h"
#include "simusbbackend.h"
#include "views/mainwindowform.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char* argv[]) {
    const bench::Stopwatch sinceMain;
    const bool simulated = argc > 1 && std::strcmp(argv[1], "--simulated") == 0;
    bench::useOffscreenPlatformByDefault();

    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    const double appWall = sinceMain.wall();
    const double appCpu = sinceMain.cpu();

    std::unique_ptr<MainWindow> window;
    if (simulated) {
        auto usb = std::make_shared<SimUsbBackend>();
        usb->plug(SimDevice::adapter(1, 4, std::make_shared<SimCy22150>(0x69)));
        window = std::make_unique<MainWindow>(usb);
    } else {
        window = std::make_unique<MainWindow>();
    }
    const double builtWall = sinceMain.wall();
    const double builtCpu = sinceMain.cpu();

    // The window is on screen once its native window is exposed; the expose paints it.
    showMainWindow(*window);
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
    const double shownWall = sinceMain.wall();
    const double shownCpu = sinceMain.cpu();

    std::printf("Start-up to the first shown window (times from main's entry)\n");
    std::printf("conditions: Qt %s, platform %s, %s; USB box shows \"%s\"\n\n", qVersion(),
                qPrintable(QGuiApplication::platformName()),
                simulated ? "simulated adapter (scan opens it and reads 256 registers)"
                          : "libusb-1.0 as the application uses it",
                qPrintable(window->form()->USBcomboBox->currentText()));
    std::printf("%-40s %10s %10s\n", "step", "wall ms", "CPU ms");
    std::printf("%-40s %10.1f %10.1f\n", "QApplication constructed", appWall * 1e3, appCpu * 1e3);
    std::printf("%-40s %10.1f %10.1f\n", "MainWindow constructed (with its scan)", builtWall * 1e3,
                builtCpu * 1e3);
    std::printf("%-40s %10.1f %10.1f\n", "window shown and exposed", shownWall * 1e3,
                shownCpu * 1e3);
    // CPU time counts from exec, so this includes loading the libraries before main.
    std::printf("%-40s %10s %10.1f\n", "  the same, CPU from exec", "", bench::cpuSeconds() * 1e3);
    std::printf("\npeak resident memory of the started window: %ld KiB\n",
                bench::peakResidentKiB());
    return 0;
}
