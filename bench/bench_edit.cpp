// SPDX-License-Identifier: MIT
// CPU time of one register edit, from the user's input event to the end of the refreshes that it
// runs, on a shown window over a zero-latency simulated adapter. A second figure adds the repaint
// that the event loop makes afterwards (offscreen platform).
//
// Each edit toggles between two states, so every event changes a register: a bit box and an
// output button flip, the spin box steps up and down, the matrix list moves down and up.

#include "benchmeasure.h"
#include "benchwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
constexpr int WarmUp = 50;
constexpr int Rounds = 7;
constexpr int EditsPerRound = 300;

struct Edit {
    const char* name;
    QWidget* target;
    std::function<void(int)> run;  // the i-th edit
};

void click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median over the rounds of the CPU time per edit, in microseconds; with repaint, the event loop
// runs after each edit and paints what changed.
double measure(bench::SimulatedWindow& w, const Edit& edit, bool withRepaint, double* transfers) {
    edit.target->setFocus(Qt::TabFocusReason);
    QCoreApplication::processEvents();
    for (int i = 0; i < WarmUp; ++i) {
        edit.run(i);
        QCoreApplication::processEvents();
    }
    std::vector<double> perEdit;
    int edits = WarmUp;
    for (int round = 0; round < Rounds; ++round) {
        w.usb->resetTransfers();  // the simulation logs every transfer; keep the log small
        const bench::Stopwatch watch;
        for (int i = 0; i < EditsPerRound; ++i) {
            edit.run(edits++);
            if (withRepaint)
                QCoreApplication::processEvents();
        }
        perEdit.push_back(watch.cpu() * 1e6 / EditsPerRound);
        *transfers = double(w.usb->transfers().size()) / EditsPerRound;
        if (!withRepaint)
            QCoreApplication::processEvents();
    }
    return median(perEdit);
}
}  // namespace

int main(int argc, char* argv[]) {
    bench::useOffscreenPlatformByDefault();
    QApplication app(argc, argv);
    bench::SimulatedWindow w;
    MainWindowForm& ui = w.ui();

    const std::vector<Edit> edits = {
        {"bit-box click (cb005, register 0x09)", ui.cb005, [&](int) { click(ui.cb005); }},
        {"output button click (pbLCLK3)", ui.pbLCLK3, [&](int) { click(ui.pbLCLK3); }},
        {"DIV1 source click (ref / PLL)", ui.rbDIV1CLK_ref,
         [&](int i) { click(i % 2 ? ui.rbDIV1CLK_PLL : ui.rbDIV1CLK_ref); }},
        {"spin-box step (sbQCounter, Up / Down key)", ui.sbQCounter,
         [&](int i) { QTest::keyClick(ui.sbQCounter, i % 2 ? Qt::Key_Down : Qt::Key_Up); }},
        {"matrix choice (cbMatrix_CLK5, Down / Up key)", ui.cbMatrix_CLK5,
         [&](int i) { QTest::keyClick(ui.cbMatrix_CLK5, i % 2 ? Qt::Key_Up : Qt::Key_Down); }},
    };

    std::printf("Register edit, CPU time per edit (median of %d rounds of %d edits)\n", Rounds,
                EditsPerRound);
    std::printf(
        "conditions: Qt %s, platform %s, simulated adapter without latency, window %dx%d "
        "shown\n\n",
        qVersion(), qPrintable(QGuiApplication::platformName()), w.window->width(),
        w.window->height());
    std::printf("%-46s %12s %18s %10s\n", "edit", "us/edit", "us/edit+repaint", "transfers");
    for (const Edit& edit : edits) {
        double transfers = 0;
        const double plain = measure(w, edit, false, &transfers);
        double ignored = 0;
        const double repainted = measure(w, edit, true, &ignored);
        std::printf("%-46s %12.0f %18.0f %10.0f\n", edit.name, plain, repainted, transfers);
    }
    std::printf("\npeak resident memory: %ld KiB\n", bench::peakResidentKiB());
    return 0;
}
