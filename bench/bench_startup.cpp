// SPDX-License-Identifier: MIT
// Start-up to the first shown window, against a reference: a bare QMainWindow of the same size
// with a label and a status bar, built and shown the same way. Each start is a process of its own
// (CPU time counts from exec, so loading the libraries is included); the two alternate, pair by
// pair, so that both meet the same load on the machine. Offscreen.
//
//   bench_startup [--simulated] [--pairs N]
//
// Without --simulated the window starts as the application does, over libusb-1.0, and its
// start-up scan meets whatever this machine has (typically no adapter). With --simulated it starts
// over a simulated adapter, so the scan also opens it and reads all 256 registers. The scan runs
// after the first paint; its figures are the "scanned" columns.
//
// A single start prints its figures on one line: bench_startup --child window|reference [...]

#include "benchmeasure.h"

#include "app/mainwindow.h"
#include "simusbbackend.h"
#include "views/mainwindowform.h"

#include <QApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QProcess>
#include <QStatusBar>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {
// What one start measured, in ms (times from main's entry unless said otherwise) and KiB.
struct Start {
    double appWall = 0, appCpu = 0;              // QApplication constructed
    double builtWall = 0, builtCpu = 0;          // window constructed
    double shownWall = 0, shownCpu = 0;          // window shown and exposed (first paint done)
    double execCpuShown = 0;                     // the same, CPU from exec
    double scannedWall = 0, execCpuScanned = 0;  // start-up scan done (the reference has none)
    long peakKiB = 0;
};

void waitUntilExposed(QWidget& window) {
    while (!window.windowHandle() || !window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::processEvents();
}

int runChild(int argc, char* argv[], bool reference, bool simulated, const bench::Stopwatch& main) {
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    Start s;
    s.appWall = main.wall() * 1e3;
    s.appCpu = main.cpu() * 1e3;

    std::unique_ptr<QMainWindow> window;
    MainWindow* vantrel = nullptr;
    if (reference) {
        window = std::make_unique<QMainWindow>();
        window->setCentralWidget(new QLabel(QStringLiteral("Vantrel - CY22150")));
        window->statusBar()->showMessage(QStringLiteral("Info: reference window"));
    } else if (simulated) {
        auto usb = std::make_shared<SimUsbBackend>();
        usb->plug(SimDevice::adapter(1, 4, std::make_shared<SimCy22150>(0x69)));
        window = std::make_unique<MainWindow>(usb);
    } else {
        window = std::make_unique<MainWindow>();
    }
    vantrel = qobject_cast<MainWindow*>(window.get());
    s.builtWall = main.wall() * 1e3;
    s.builtCpu = main.cpu() * 1e3;

    // The window is on screen once its native window is exposed; the expose paints it.
    window->resize(MainWindowWidth, MainWindowHeight);
    window->show();
    waitUntilExposed(*window);
    s.shownWall = main.wall() * 1e3;
    s.shownCpu = main.cpu() * 1e3;
    s.execCpuShown = bench::cpuSeconds() * 1e3;

    if (vantrel) {
        while (vantrel->startUpScanPending())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();  // the scan's results painted
    }
    s.scannedWall = main.wall() * 1e3;
    s.execCpuScanned = bench::cpuSeconds() * 1e3;
    s.peakKiB = bench::peakResidentKiB();
    std::printf("%.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f %.3f %ld\n", s.appWall, s.appCpu,
                s.builtWall, s.builtCpu, s.shownWall, s.shownCpu, s.execCpuShown, s.scannedWall,
                s.execCpuScanned, s.peakKiB);
    std::fprintf(stderr, "%s\n",
                 vantrel ? qPrintable(vantrel->form()->USBcomboBox->currentText()) : "");
    return 0;
}

bool runOnce(const QString& program, const QStringList& arguments, Start& s, QString& usbEntry) {
    QProcess child;
    child.start(program, arguments);
    if (!child.waitForFinished(60000) || child.exitCode() != 0)
        return false;
    const QByteArray line = child.readAllStandardOutput();
    // The child's last line on stderr; Qt may have warned before it.
    const QStringList errors =
        QString::fromUtf8(child.readAllStandardError()).trimmed().split('\n');
    usbEntry = errors.isEmpty() ? QString() : errors.last();
    return std::sscanf(line.constData(), "%lf %lf %lf %lf %lf %lf %lf %lf %lf %ld", &s.appWall,
                       &s.appCpu, &s.builtWall, &s.builtCpu, &s.shownWall, &s.shownCpu,
                       &s.execCpuShown, &s.scannedWall, &s.execCpuScanned, &s.peakKiB) == 10;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// "median (least-most)" of one figure over the starts.
template <class Get>
void printFigure(const char* what, const std::vector<Start>& window,
                 const std::vector<Start>& reference, Get get) {
    std::vector<double> w, r, ratio;
    for (std::size_t i = 0; i < window.size(); ++i) {
        w.push_back(get(window[i]));
        r.push_back(get(reference[i]));
        ratio.push_back(r.back() > 0 ? w.back() / r.back() : 0);
    }
    auto range = [](const std::vector<double>& v) {
        return QString::asprintf("%7.1f (%.1f-%.1f)", median(v),
                                 *std::min_element(v.begin(), v.end()),
                                 *std::max_element(v.begin(), v.end()));
    };
    std::printf("%-34s %-22s %-22s %5.2fx (%.2f-%.2f)\n", what, qPrintable(range(w)),
                qPrintable(range(r)), median(ratio), *std::min_element(ratio.begin(), ratio.end()),
                *std::max_element(ratio.begin(), ratio.end()));
}
}  // namespace

int main(int argc, char* argv[]) {
    const bench::Stopwatch sinceMain;
    bench::useOffscreenPlatformByDefault();
    bool simulated = false;
    int pairs = 20;
    const char* child = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulated") == 0)
            simulated = true;
        else if (std::strcmp(argv[i], "--pairs") == 0 && i + 1 < argc)
            pairs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--child") == 0 && i + 1 < argc)
            child = argv[++i];
    }
    if (child)
        return runChild(argc, argv, std::strcmp(child, "reference") == 0, simulated, sinceMain);

    QCoreApplication app(argc, argv);
    const QString program = QCoreApplication::applicationFilePath();
    QStringList windowArguments = {"--child", "window"};
    if (simulated)
        windowArguments << "--simulated";
    std::vector<Start> window, reference;
    QString usbEntry, ignored;
    for (int pair = 0; pair < pairs; ++pair) {
        Start w, r;
        // Alternating which goes first, so that neither always follows the other.
        const bool windowFirst = pair % 2 == 0;
        if (!(windowFirst ? runOnce(program, windowArguments, w, usbEntry)
                          : runOnce(program, {"--child", "reference"}, r, ignored)) ||
            !(windowFirst ? runOnce(program, {"--child", "reference"}, r, ignored)
                          : runOnce(program, windowArguments, w, usbEntry))) {
            std::fprintf(stderr, "a start failed\n");
            return 1;
        }
        window.push_back(w);
        reference.push_back(r);
    }

    std::printf("Start-up to the first shown window: Vantrel against a bare QMainWindow\n");
    std::printf(
        "conditions: Qt %s, offscreen unless QT_QPA_PLATFORM says otherwise, %d alternating "
        "pairs of processes, %s; USB box shows \"%s\"\n",
        qVersion(), pairs,
        simulated ? "simulated adapter (the scan opens it and reads 256 registers)"
                  : "libusb-1.0 as the application uses it",
        qPrintable(usbEntry));
    std::printf("reference: QMainWindow %dx%d with a QLabel and a status bar, shown the same way\n",
                MainWindowWidth, MainWindowHeight);
    std::printf(
        "figures: median (least-most) in ms or MiB; ratio: median of the pairs' ratios\n\n");
    std::printf("%-34s %-22s %-22s %s\n", "step", "Vantrel", "reference", "ratio");
    printFigure("CPU from exec to exposed", window, reference,
                [](const Start& s) { return s.execCpuShown; });
    printFigure("wall from main to exposed", window, reference,
                [](const Start& s) { return s.shownWall; });
    printFigure("  QApplication constructed (wall)", window, reference,
                [](const Start& s) { return s.appWall; });
    printFigure("  window constructed (CPU)", window, reference,
                [](const Start& s) { return s.builtCpu - s.appCpu; });
    printFigure("  shown until exposed (CPU)", window, reference,
                [](const Start& s) { return s.shownCpu - s.builtCpu; });
    printFigure("peak resident memory (MiB)", window, reference,
                [](const Start& s) { return double(s.peakKiB) / 1024; });
    std::vector<double> scanCpu, scanWall;
    for (const Start& s : window) {
        scanCpu.push_back(s.execCpuScanned - s.execCpuShown);
        scanWall.push_back(s.scannedWall - s.shownWall);
    }
    std::printf("\nafter the first paint, the start-up scan: %.1f ms CPU, %.1f ms wall (medians)\n",
                median(scanCpu), median(scanWall));
    return 0;
}
