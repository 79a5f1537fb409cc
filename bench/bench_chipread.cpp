// SPDX-License-Identifier: MIT
// CPU cost of reading all 256 registers from the chip, as the USB menu's Open does, over a
// zero-latency simulated adapter on a shown window (offscreen platform). The read makes 515
// control transfers and reports its progress 257 times; the progress bar repaints at most once
// per 16 ms and at the end. With a real adapter each transfer also waits for the USB bus, which
// this figure leaves out on purpose: it is the tool's overhead.
//
// Three figures: the whole Open action (close, open, read, then grid, diagram and frequency
// refresh with the grid's eleven writes); the read alone with its progress display; the read
// alone without it. The difference of the last two is what the progress display costs; the
// goal is under 25 ms per read. A last figure gives each transfer 1 ms of latency, about what a
// real adapter takes, so that the bar repaints during the read as it does on hardware.

#include "benchmeasure.h"
#include "benchwindow.h"
#include "usb/i2ctinyusb.h"
#include "watchedusb.h"

#include <QAction>
#include <QApplication>
#include <QProgressBar>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
constexpr int Rounds = 7;
constexpr int ReadsPerRound = 20;

// Takes the read's progress reports and shows nothing.
class NoProgressView : public TransportObserver {
public:
    void readProgress(int, int) override {}
};

// Counts the paints of a widget.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

struct Figure {
    double cpuMs;
    double wallMs;
    double transfers;
};

Figure measure(bench::SimulatedWindow& w, const std::function<void()>& read) {
    read();  // warm-up
    std::vector<double> cpu;
    std::vector<double> wall;
    double transfers = 0;
    for (int round = 0; round < Rounds; ++round) {
        w.usb->resetTransfers();
        const bench::Stopwatch watch;
        for (int i = 0; i < ReadsPerRound; ++i)
            read();
        cpu.push_back(watch.cpu() * 1e3 / ReadsPerRound);
        wall.push_back(watch.wall() * 1e3 / ReadsPerRound);
        transfers = double(w.usb->transfers().size()) / ReadsPerRound;
        QCoreApplication::processEvents();
    }
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    return {cpu[cpu.size() / 2], wall[wall.size() / 2], transfers};
}
}  // namespace

int main(int argc, char* argv[]) {
    bench::useOffscreenPlatformByDefault();
    QApplication app(argc, argv);
    bench::SimulatedWindow w;
    AdapterConnection& adapter = w.window->session().adapter;
    std::array<quint8, 256> buffer{};

    auto readAll = [&] {
        if (i2c_read_registers(adapter, adapter.i2cAddress, 0, 256, buffer.data()) != 0) {
            std::fprintf(stderr, "the read failed\n");
            std::exit(1);
        }
    };
    const Figure open = measure(w, [&] { w.ui().actionOpen->trigger(); });
    PaintCounter barPaints;
    w.ui().LOADSAVEprogressBar->installEventFilter(&barPaints);
    int reads = 0;
    const Figure withRepaints = measure(w, [&] {
        readAll();
        ++reads;
    });
    w.ui().LOADSAVEprogressBar->removeEventFilter(&barPaints);
    TransportObserver* formView = adapter.progress;
    NoProgressView noView;
    adapter.progress = &noView;
    const Figure withoutRepaints = measure(w, readAll);
    adapter.progress = formView;

    // As on a real bus: reads with 1 ms per transfer, with the progress display and without.
    constexpr int SlowReads = 3;
    WatchedUsb slowBus(w.usb);
    slowBus.latencyUs = 1000;
    UsbBackend* simulatedBus = adapter.usb;
    adapter.usb = &slowBus;
    auto slowCpuMs = [&] {
        const bench::Stopwatch watch;
        for (int i = 0; i < SlowReads; ++i)
            readAll();
        return watch.cpu() * 1e3 / SlowReads;
    };
    barPaints.paints = 0;
    w.ui().LOADSAVEprogressBar->installEventFilter(&barPaints);
    const bench::Stopwatch slowWatch;
    const double slowWithView = slowCpuMs();
    const double slowWallMs = slowWatch.wall() * 1e3 / SlowReads;
    w.ui().LOADSAVEprogressBar->removeEventFilter(&barPaints);
    adapter.progress = &noView;
    const double slowWithoutView = slowCpuMs();
    adapter.progress = formView;
    adapter.usb = simulatedBus;

    std::printf("Full 256-register read, per read (median of %d rounds of %d reads)\n", Rounds,
                ReadsPerRound);
    std::printf(
        "conditions: Qt %s, platform %s, simulated adapter without latency, window shown, "
        "progress bar %d px wide\n\n",
        qVersion(), qPrintable(QGuiApplication::platformName()),
        w.ui().LOADSAVEprogressBar->width());
    std::printf("%-44s %10s %10s %10s\n", "what", "CPU ms", "wall ms", "transfers");
    auto line = [](const char* what, const Figure& f) {
        std::printf("%-44s %10.2f %10.2f %10.0f\n", what, f.cpuMs, f.wallMs, f.transfers);
    };
    line("Open action (read + refreshes)", open);
    line("read with its progress display", withRepaints);
    line("read without progress view", withoutRepaints);
    const double repaintsPerRead = double(barPaints.paints) / reads;
    std::printf(
        "\nprogress display: %.2f ms CPU per read (goal: under 25), %.2f repaints per read "
        "(at most one per 16 ms, and the last)\n",
        withRepaints.cpuMs - withoutRepaints.cpuMs, repaintsPerRead);
    std::printf(
        "with 1 ms per transfer (%d reads): %.0f ms wall per read; progress display "
        "%.2f ms CPU per read (%.2f with it, %.2f without), %.1f repaints per read\n",
        SlowReads, slowWallMs, slowWithView - slowWithoutView, slowWithView, slowWithoutView,
        double(barPaints.paints) / SlowReads);
    return 0;
}
