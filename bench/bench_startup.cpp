// SPDX-License-Identifier: MIT
// Start-up to the first shown window, against two others built and shown the same way: the bare
// form (a QMainWindow with the same form set up on it and nothing else of Vantrel: no views, no
// refreshes, no scan), and a reference (a bare QMainWindow of the same size with a label and a
// status bar). The bare form is the floor that Vantrel's own start-up work sits on; the reference
// is what any Qt window costs. Each start is a process of its own (CPU time counts from exec, so
// loading the libraries is included); the three take turns, in a rotating order, so that they meet
// the same load on the machine. Offscreen.
//
//   bench_startup [--simulated] [--turns N]
//
// Without --simulated the window starts as the application does, over libusb-1.0, and its
// start-up scan meets whatever this machine has (typically no adapter). With --simulated it starts
// over a simulated adapter, so the scan also opens it and reads all 256 registers. The scan runs
// after the first paint; its figures are the "scanned" columns.
//
// A single start prints its figures on one line: bench_startup --child window|form|reference [...]

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

enum class Kind { Window, BareForm, Reference };
const char* const KindNames[] = {"window", "form", "reference"};

int runChild(int argc, char* argv[], Kind kind, bool simulated, const bench::Stopwatch& main) {
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(
        QStringLiteral("qt.core.qmetaobject.connectslotsbyname=false"));
    Start s;
    s.appWall = main.wall() * 1e3;
    s.appCpu = main.cpu() * 1e3;

    std::unique_ptr<QMainWindow> window;
    MainWindow* vantrel = nullptr;
    MainWindowForm bareForm;
    if (kind == Kind::BareForm) {
        window = std::make_unique<QMainWindow>();
        bareForm.setupUi(window.get());
    } else if (kind == Kind::Reference) {
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

// What every turn measured, one list per kind.
using Starts = std::vector<Start>[3];

QString medianAndRange(const std::vector<double>& v) {
    return QString::asprintf("%.1f (%.1f-%.1f)", median(v), *std::min_element(v.begin(), v.end()),
                             *std::max_element(v.begin(), v.end()));
}

// One figure: "median (least-most)" per kind, then the medians of the turns' ratios of Vantrel
// and of the bare form to the reference.
template <class Get>
void printFigure(const char* what, const Starts& starts, Get get) {
    std::vector<double> values[3], windowRatio, formRatio;
    for (int kind = 0; kind < 3; ++kind)
        for (const Start& s : starts[kind])
            values[kind].push_back(get(s));
    const auto& [window, form, reference] = values;
    for (std::size_t i = 0; i < reference.size(); ++i) {
        windowRatio.push_back(reference[i] > 0 ? window[i] / reference[i] : 0);
        formRatio.push_back(reference[i] > 0 ? form[i] / reference[i] : 0);
    }
    std::printf("%-34s %-20s %-20s %-20s %5.2fx %5.2fx\n", what, qPrintable(medianAndRange(window)),
                qPrintable(medianAndRange(form)), qPrintable(medianAndRange(reference)),
                median(windowRatio), median(formRatio));
}
}  // namespace

int main(int argc, char* argv[]) {
    const bench::Stopwatch sinceMain;
    bench::useOffscreenPlatformByDefault();
    bool simulated = false;
    int turns = 20;
    const char* child = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--simulated") == 0)
            simulated = true;
        else if (std::strcmp(argv[i], "--turns") == 0 && i + 1 < argc)
            turns = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--child") == 0 && i + 1 < argc)
            child = argv[++i];
    }
    if (child) {
        for (int kind = 0; kind < 3; ++kind)
            if (std::strcmp(child, KindNames[kind]) == 0)
                return runChild(argc, argv, Kind(kind), simulated, sinceMain);
        std::fprintf(stderr, "unknown child: %s\n", child);
        return 2;
    }

    QCoreApplication app(argc, argv);
    const QString program = QCoreApplication::applicationFilePath();
    Starts starts;
    QString usbEntry;
    for (int turn = 0; turn < turns; ++turn) {
        // The order rotates, so that no kind always follows the same other.
        for (int step = 0; step < 3; ++step) {
            const int kind = (turn + step) % 3;
            QStringList arguments = {"--child", KindNames[kind]};
            if (simulated)
                arguments << "--simulated";
            Start s;
            QString entry;
            if (!runOnce(program, arguments, s, entry)) {
                std::fprintf(stderr, "a start failed\n");
                return 1;
            }
            if (Kind(kind) == Kind::Window)
                usbEntry = entry;
            starts[kind].push_back(s);
        }
    }

    std::printf("Start-up to the first shown window: Vantrel, its bare form, a bare QMainWindow\n");
    std::printf(
        "conditions: Qt %s, offscreen unless QT_QPA_PLATFORM says otherwise, %d turns of the three "
        "processes, %s; USB box shows \"%s\"\n",
        qVersion(), turns,
        simulated ? "simulated adapter (the scan opens it and reads 256 registers)"
                  : "libusb-1.0 as the application uses it",
        qPrintable(usbEntry));
    std::printf("bare form: a QMainWindow with Vantrel's form set up on it, nothing else\n");
    std::printf(
        "reference: QMainWindow %dx%d with a QLabel and a status bar; all shown the same way\n",
        MainWindowWidth, MainWindowHeight);
    std::printf(
        "figures: median (least-most) in ms or MiB; ratios: medians of the turns' ratios to the "
        "reference\n\n");
    std::printf("%-34s %-20s %-20s %-20s %6s %6s\n", "step", "Vantrel", "bare form", "reference",
                "V/ref", "form/ref");
    printFigure("CPU from exec to exposed", starts, [](const Start& s) { return s.execCpuShown; });
    printFigure("wall from main to exposed", starts, [](const Start& s) { return s.shownWall; });
    printFigure("  QApplication constructed (wall)", starts,
                [](const Start& s) { return s.appWall; });
    printFigure("  window constructed (CPU)", starts,
                [](const Start& s) { return s.builtCpu - s.appCpu; });
    printFigure("  shown until exposed (CPU)", starts,
                [](const Start& s) { return s.shownCpu - s.builtCpu; });
    printFigure("peak resident memory (MiB)", starts,
                [](const Start& s) { return double(s.peakKiB) / 1024; });
    std::vector<double> scanCpu, scanWall, overForm;
    const std::vector<Start>& window = starts[int(Kind::Window)];
    for (std::size_t i = 0; i < window.size(); ++i) {
        scanCpu.push_back(window[i].execCpuScanned - window[i].execCpuShown);
        scanWall.push_back(window[i].scannedWall - window[i].shownWall);
        overForm.push_back(window[i].execCpuShown - starts[int(Kind::BareForm)][i].execCpuShown);
    }
    std::printf(
        "\nVantrel's own start-up work over its bare form: %s ms CPU from exec to exposed\n",
        qPrintable(medianAndRange(overForm)));
    std::printf("after the first paint, the start-up scan: %.1f ms CPU, %.1f ms wall (medians)\n",
                median(scanCpu), median(scanWall));
    return 0;
}
