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
//
// Then the I2C-bus path (when built with the emulated machine): the same read through
// /dev/i2c-7 of an emulated i2c-tiny-usb adapter whose kernel driver is bound, counting the USB
// control transfers that the kernel driver sends for it (goal: at most 12, against 515 on the USB
// path) and the CPU of the reading thread. That part runs in a child of this program under
// umockdev's preload library, which it needs and the window figures should not pay for.

#include "benchmeasure.h"
#include "benchwindow.h"
#include "usb/i2ctinyusb.h"
#include "watchedusb.h"

#include <QAction>
#include <QApplication>
#include <QProgressBar>

#ifdef VANTREL_BENCH_I2C_BUS
#include "emulatedusb.h"
#include "usb/i2cbustransport.h"

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <optional>
#endif

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
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

#ifdef VANTREL_BENCH_I2C_BUS
const char* const I2cBusPathArgument = "--emulated-i2c-bus";

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The child: the emulated adapter with its kernel driver, Vantrel's connection to its bus, and
// the reads.
int measureI2cBusPath() {
    if (!EmulatedUsb::preloaded()) {
        std::fprintf(stderr, "the I2C-bus path needs umockdev's preload library\n");
        return 1;
    }
    EmulatedUsb usb;
    I2cBusSetup setup;
    setup.number = 7;
    setup.driver = &I2cDrivers::tinyUsb();
    const auto bus = usb.addAdapterWithKernelDriver(1, 4, setup);
    std::optional<I2cBusInfo> info;
    for (const I2cBusInfo& b : listI2cBuses())
        if (b.number == 7)
            info = b;
    AdapterConnection c;
    if (!info || i2c_open_bus(c, *info) != 0) {
        std::fprintf(stderr, "the emulated bus i2c-7 did not open\n");
        return 1;
    }
    const int atOpen = bus->kernelUsbTransfers();
    std::array<quint8, 256> buffer{};
    std::vector<double> cpu;
    std::vector<double> wall;
    for (int round = 0; round < Rounds; ++round) {
        const double cpuStart = threadCpuSeconds();
        const bench::Stopwatch watch;
        for (int i = 0; i < ReadsPerRound; ++i) {
            if (i2c_read_registers(c, c.i2cAddress, 0, 256, buffer.data()) != 0) {
                std::fprintf(stderr, "the read over i2c-7 failed\n");
                return 1;
            }
        }
        cpu.push_back((threadCpuSeconds() - cpuStart) * 1e3 / ReadsPerRound);
        wall.push_back(watch.wall() * 1e3 / ReadsPerRound);
    }
    const double perRead = double(bus->kernelUsbTransfers() - atOpen) / (Rounds * ReadsPerRound);
    i2c_close(c);
    std::sort(cpu.begin(), cpu.end());
    std::sort(wall.begin(), wall.end());
    std::printf(
        "\nI2C-bus path: /dev/i2c-7 of an emulated i2c-tiny-usb adapter, kernel driver bound "
        "(median of %d rounds of %d reads)\n",
        Rounds, ReadsPerRound);
    std::printf(
        "USB control transfers per read: %.0f (goal: at most 12; the USB path: 515), "
        "%d more at open\n",
        perRead, atOpen);
    std::printf(
        "CPU of the reading thread per read: %.3f ms (wall %.3f ms, the emulation's "
        "socket round trips included)\n",
        cpu[cpu.size() / 2], wall[wall.size() / 2]);
    return 0;
}

// Runs this program again as the child that measures the I2C-bus path.
int runI2cBusPath() {
    std::vector<std::string> env;
    std::string preload = "LD_PRELOAD=libumockdev-preload.so.0";
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::strncmp(*e, "LD_PRELOAD=", 11) == 0)
            preload += std::string(":") + (*e + 11);
        else
            env.emplace_back(*e);
    }
    env.push_back(preload);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string argument = I2cBusPathArgument;
    char* argv[] = {self.data(), argument.data(), nullptr};
    std::fflush(stdout);
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0)
        return 1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
#endif
}  // namespace

int main(int argc, char* argv[]) {
#ifdef VANTREL_BENCH_I2C_BUS
    if (argc > 1 && std::strcmp(argv[1], I2cBusPathArgument) == 0)
        return measureI2cBusPath();
#endif
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
#ifdef VANTREL_BENCH_I2C_BUS
    return runI2cBusPath();
#else
    return 0;
#endif
}
