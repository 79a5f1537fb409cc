// SPDX-License-Identifier: MIT
#include "frequency/frequencymodel.h"
#include "frequency/solutionfields.h"
#include "frequency/solve.h"
#include "frequency/solver.h"
#include "frequency/typedfrequency.h"

#include <QtTest>

#include <limits>

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Values the record holds before a solve, so that a field the search leaves alone shows it.
constexpr qint32 EarlierP = 111;
constexpr qint32 EarlierQ = 22;
constexpr qint32 EarlierDivider1 = 33;
constexpr qint32 EarlierDivider2 = 44;
}  // namespace

class TestSolver : public QObject {
    Q_OBJECT

private slots:
    void search_data();
    void search();
    void searchKeepsTargetsAndPreferences();
    void noDividerOfThreeForF1Alone();
    void readTarget_data();
    void readTarget();
    void readTypedFrequency_data();
    void readTypedFrequency();
    void readTargetField_data();
    void readTargetField();
    void takenFromReference_data();
    void takenFromReference();
    void referenceDivider_data();
    void referenceDivider();
    void divider1Fields_data();
    void divider1Fields();
    void divider2Fields_data();
    void divider2Fields();
    void pllFields_data();
    void pllFields();
    void chargePumpChangesOnlyThePumpBits_data();
    void chargePumpChangesOnlyThePumpBits();
};

void TestSolver::search_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<qint32>("low");
    QTest::addColumn<qint32>("high");
    QTest::addColumn<double>("f1");
    QTest::addColumn<double>("f2");
    QTest::addColumn<bool>("f2Enabled");
    QTest::addColumn<int>("f1Preferred");
    QTest::addColumn<int>("f2Preferred");
    QTest::addColumn<double>("bestError");
    QTest::addColumn<qint32>("pTotal");
    QTest::addColumn<qint32>("qTotal");
    QTest::addColumn<qint32>("divider1");
    QTest::addColumn<qint32>("divider2");
    QTest::addColumn<qint32>("iterations");

    const qint32 lo = NormalPllRange.low;
    const qint32 hi = NormalPllRange.high;
    // Q = 2 starts at P = 20; /2 needs N1 = P / 20 + 0.5 >= 2, and P = 40 hits 200 MHz / 2
    // exactly on pass 40 - 19.
    QTest::newRow("100 MHz") << 1e7 << lo << hi << 1e8 << 0.0 << false << 1 << 0 << 0.0 << 40 << 2
                             << 2 << EarlierDivider2 << 21;
    // P = 80 puts the PLL on 400 MHz, which is still in range.
    QTest::newRow("200 MHz") << 1e7 << lo << hi << 2e8 << 0.0 << false << 1 << 0 << 0.0 << 80 << 2
                             << 2 << EarlierDivider2 << 61;
    // 300 MHz = 12 * 25 MHz = 25 * 12 MHz, the first common multiple in range.
    QTest::newRow("25 and 12 MHz")
        << 1e7 << lo << hi << 25e6 << 12e6 << true << 1 << 0 << 0.0 << 60 << 2 << 12 << 25 << 41;
    // Each Q from 2 to 40 walks P = 10Q .. 40Q + 1 (30Q + 2 passes), then Q = 41 ends it.
    QTest::newRow("1 GHz, no candidate")
        << 1e7 << lo << hi << 1e9 << 0.0 << false << 1 << 0 << -1.0 << EarlierP << EarlierQ
        << EarlierDivider1 << EarlierDivider2 << 24649;
    QTest::newRow("400 kHz reference")
        << 4e5 << lo << hi << 1e8 << 0.0 << false << 1 << 0 << -1.0 << EarlierP << EarlierQ
        << EarlierDivider1 << EarlierDivider2 << 1;
    // N1 = 200.5 on the first P of every Q: one pass per Q from 2 to 40, and the closing one.
    QTest::newRow("500 kHz alone")
        << 1e7 << lo << hi << 5e5 << 0.0 << false << 1 << 0 << -1.0 << EarlierP << EarlierQ
        << EarlierDivider1 << EarlierDivider2 << 40;
    // F1 below the PLL path takes F2's target for the search: exact at the first pass.
    QTest::newRow("500 kHz with 50 MHz")
        << 1e7 << lo << hi << 5e5 << 5e7 << true << 1 << 0 << 0.0 << 20 << 2 << 2 << 2 << 1;
    QTest::newRow("50 MHz with 500 kHz")
        << 1e7 << lo << hi << 5e7 << 5e5 << true << 1 << 0 << 0.0 << 20 << 2 << 2 << 2 << 1;
    // 200/3 MHz: P = 40 would divide by 3, which the copied F2 excludes; P = 80 divides by 6.
    QTest::newRow("66.67 MHz alone") << 1e7 << lo << hi << 2e8 / 3 << 0.0 << false << 1 << 0 << 0.0
                                     << 80 << 2 << 6 << EarlierDivider2 << 61;
    // With an F2 of its own, /3 for F1 is allowed: 200 MHz gives /3 and /4 exactly.
    QTest::newRow("66.67 MHz with 50 MHz")
        << 1e7 << lo << hi << 2e8 / 3 << 5e7 << true << 1 << 0 << 0.0 << 40 << 2 << 3 << 4 << 21;
    // The extended range starts at P = 8 (floor 5 is raised), so P = 40 comes on pass 33.
    QTest::newRow("100 MHz extended")
        << 1e7 << ExtendedPllRange.low << ExtendedPllRange.high << 1e8 << 0.0 << false << 1 << 0
        << 0.0 << 40 << 2 << 2 << EarlierDivider2 << 33;
    // A PLL fixed at 100 MHz: every Q (2, 3, 4) offers P = 100Q with 25 MHz, 1 MHz off 26 MHz
    // (error 1e6 times the preferred weight). The equal errors of Q = 3 and 4 do not replace
    // the first; 7 passes.
    QTest::newRow("tie: first found wins") << 1e6 << lo << lo << 26e6 << 0.0 << false << 1 << 0
                                           << 1e10 << 200 << 2 << 4 << EarlierDivider2 << 7;
    // Only Q = 2 with P = 400 (PLL 100 MHz: F1 exact, F2 50 kHz off) and P = 401
    // (100.25 MHz: F1 125 kHz off, F2 exact); the weights pick one of them.
    QTest::newRow("F1 preferred") << 5e5 << lo << 100250000 << 5e7 << 20.05e6 << true << 1 << 0
                                  << 50000.0 << 400 << 2 << 2 << 5 << 4;
    QTest::newRow("F2 preferred") << 5e5 << lo << 100250000 << 5e7 << 20.05e6 << true << 0 << 1
                                  << 125000.0 << 401 << 2 << 2 << 5 << 4;
    QTest::newRow("both preferred") << 5e5 << lo << 100250000 << 5e7 << 20.05e6 << true << 1 << 1
                                    << 500000000.0 << 400 << 2 << 2 << 5 << 4;
    QTest::newRow("none preferred") << 5e5 << lo << 100250000 << 5e7 << 20.05e6 << true << 0 << 0
                                    << 50000.0 << 400 << 2 << 2 << 5 << 4;
    // P ceiling: Q = 2 walks P 1000..1200 (202 passes), Q = 3 1500..1800 (302), Q = 4 stops
    // after 2055 instead of 2400 (57), then the closing pass.
    QTest::newRow("P ceiling") << 1e6 << 500000000 << 600000000 << 1e9 << 0.0 << false << 1 << 0
                               << -1.0 << EarlierP << EarlierQ << EarlierDivider1 << EarlierDivider2
                               << 562;
    // N2 reaches 128 once the PLL passes 127.5 * 801 kHz: per Q the P from 10Q below 10.21275Q
    // and one more pass; 100 MHz / 125 = 800 kHz at the first P of each Q ties at 1000 Hz.
    QTest::newRow("F2 divider ceiling") << 1e7 << lo << hi << 5e7 << 801e3 << true << 1 << 0
                                        << 1000.0 << 20 << 2 << 2 << 125 << 234;
}

void TestSolver::search() {
    QFETCH(double, reference);
    QFETCH(qint32, low);
    QFETCH(qint32, high);
    QFETCH(double, f1);
    QFETCH(double, f2);
    QFETCH(bool, f2Enabled);
    QFETCH(int, f1Preferred);
    QFETCH(int, f2Preferred);

    SolverRecord record;
    record.refFrequency = reference;
    record.targetF1 = f1;
    record.targetF2 = f2;
    record.f1Preferred = f1Preferred;
    record.f2Preferred = f2Preferred;
    record.bestError = 12345;
    record.pTotal = EarlierP;
    record.qTotal = EarlierQ;
    record.divider1 = EarlierDivider1;
    record.divider2 = EarlierDivider2;
    const SolverRecord result = searchDividers(record, f2Enabled, low, high);

    QTEST(result.bestError, "bestError");
    QTEST(result.pTotal, "pTotal");
    QTEST(result.qTotal, "qTotal");
    QTEST(result.divider1, "divider1");
    QTEST(result.divider2, "divider2");
    QTEST(result.iterations, "iterations");
}

void TestSolver::searchKeepsTargetsAndPreferences() {
    SolverRecord record;
    record.refFrequency = 1e7;
    record.targetF1 = 5e5;  // below the PLL path, replaced by F2 for the walk only
    record.targetF2 = 7e7;
    record.f2Preferred = 1;
    const SolverRecord result =
        searchDividers(record, true, NormalPllRange.low, NormalPllRange.high);
    QCOMPARE(result.targetF1, 5e5);
    QCOMPARE(result.targetF2, 7e7);
    QCOMPARE(result.refFrequency, 1e7);
    QCOMPARE(result.f1Preferred, 0);
    QCOMPARE(result.f2Preferred, 1);

    record.targetF2 = 0;  // F2 disabled: its own target is not used and comes back as it was
    record.targetF1 = 1e8;
    const SolverRecord alone =
        searchDividers(record, false, NormalPllRange.low, NormalPllRange.high);
    QCOMPARE(alone.targetF2, 0.0);
    QCOMPARE(alone.pTotal, 40);
}

// F2 disabled copies F1 into F2, and DIV2 has no /3, so F1 never gets the fixed /3 either.
void TestSolver::noDividerOfThreeForF1Alone() {
    int solved = 0;
    for (double f1 = 25e6; f1 <= 200e6; f1 += 250e3) {
        SolverRecord record;
        record.refFrequency = 1e7;
        record.targetF1 = f1;
        record.f1Preferred = 1;
        const SolverRecord result =
            searchDividers(record, false, NormalPllRange.low, NormalPllRange.high);
        QVERIFY2(result.divider1 != 3, qPrintable(QString::number(f1, 'f', 0)));
        if (result.bestError >= 0)
            ++solved;
    }
    QCOMPARE(solved, 701);  // every one of these targets has a candidate
}

void TestSolver::readTarget_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("plain") << "100000000" << true << 1e8;
    QTest::newRow("padded") << "  25000000.00000 " << true << 25e6;
    QTest::newRow("exponent") << "1.5e6" << true << 1.5e6;
    QTest::newRow("tiny") << "0.001" << true << 0.001;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("unit") << "100 MHz" << false << 0.0;
    QTest::newRow("zero") << "0" << false << 0.0;
    QTest::newRow("formatted zero") << "     0.00000" << false << 0.0;
    QTest::newRow("negative") << "-5000000" << false << 0.0;
    QTest::newRow("inf") << "inf" << false << 0.0;
    QTest::newRow("minus inf") << "-inf" << false << 0.0;
    QTest::newRow("nan") << "nan" << false << 0.0;
    QTest::newRow("overflow") << "1e400" << false << 0.0;
}

void TestSolver::readTarget() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    bool readOk = !ok;  // the reader must set it either way
    const double value = ::readTarget(text, &readOk);
    QCOMPARE(readOk, ok);
    QTEST(value, "value");
}

// The targets of the plan dialog and vantrel-cli plan: readTarget's rule, with a k or M suffix.
void TestSolver::readTypedFrequency_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");  // 0: refused
    QTest::newRow("hertz") << "48000000" << 48e6;
    QTest::newRow("M") << "25M" << 25e6;
    QTest::newRow("fractional M") << "14.31818M" << 14.31818e6;
    QTest::newRow("k") << "32.768k" << 32768.0;
    QTest::newRow("padded") << " 25M " << 25e6;
    QTest::newRow("space before the suffix") << "25 M" << 0.0;
    QTest::newRow("exponent and suffix") << "2.5e1M" << 25e6;
    QTest::newRow("lower-case m is not mega") << "25m" << 0.0;
    QTest::newRow("upper-case K") << "25K" << 25e3;
    QTest::newRow("near whole hertz is whole") << "33.333333M" << 33333333.0;
    QTest::newRow("a fraction of a hertz stays") << "1.0000005k" << 1000.0005;
    QTest::newRow("unit word") << "25MHz" << 0.0;
    QTest::newRow("suffix alone") << "M" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("zero") << "0k" << 0.0;
    QTest::newRow("negative") << "-25M" << 0.0;
    QTest::newRow("overflow by the suffix") << "1e305M" << 0.0;
    QTest::newRow("nan") << "nanM" << 0.0;
    QTest::newRow("two suffixes") << "25kM" << 0.0;
}

void TestSolver::readTypedFrequency() {
    QFETCH(QString, text);
    QFETCH(double, value);
    const std::optional<double> read = ::readTypedFrequency(text);
    QCOMPARE(read.has_value(), value != 0);
    if (read)
        QCOMPARE(*read, value);
}

// Plain numbers read as they always did; a k or M suffix is taken; the rest is refused.
void TestSolver::readTargetField_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("hertz") << " 25000000 " << false << true << 25e6;
    QTest::newRow("fraction") << "12.5" << false << true << 12.5;
    QTest::newRow("zero") << "0.00000" << false << false << 0.0;
    QTest::newRow("negative") << "-5000000" << false << false << 0.0;
    QTest::newRow("nan") << "nan" << false << false << 0.0;
    QTest::newRow("empty") << "  " << false << false << 0.0;
    QTest::newRow("M") << "25M" << false << true << 25e6;
    QTest::newRow("k") << " 100k" << false << true << 1e5;
    QTest::newRow("exponent and K") << "1e3K" << false << true << 1e6;
    QTest::newRow("unit word") << "25 MHz" << true << false << 0.0;
    QTest::newRow("milli") << "25m" << true << false << 0.0;
    QTest::newRow("zero k") << "0k" << true << false << 0.0;
    QTest::newRow("negative M") << "-25M" << true << false << 0.0;
    QTest::newRow("letters") << "abc" << true << false << 0.0;
    QTest::newRow("half an exponent") << "1e" << true << false << 0.0;
    QTest::newRow("hexadecimal") << "0x10" << true << false << 0.0;
    QTest::newRow("too large for a double") << "1e400" << false << false << 0.0;
}

void TestSolver::readTargetField() {
    QFETCH(QString, text);
    QFETCH(bool, refused);
    QFETCH(bool, ok);
    QFETCH(double, value);
    bool read = !ok;
    const std::optional<double> hz = ::readTargetField(text, &read);
    QCOMPARE(!hz.has_value(), refused);
    QCOMPARE(read, ok);
    if (hz)
        QCOMPARE(*hz, value);
}

void TestSolver::takenFromReference_data() {
    QTest::addColumn<double>("target");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<bool>("fromReference");
    QTest::newRow("500 kHz") << 5e5 << false << true;
    QTest::newRow("just below the floor") << 787400.99 << false << true;
    QTest::newRow("at the floor") << 787401.0 << false << false;
    QTest::newRow("above the floor") << 787401.5 << false << false;
    QTest::newRow("500 kHz extended") << 5e5 << true << false;
    QTest::newRow("below the extended floor") << 196849.9 << true << true;
    QTest::newRow("at the extended floor") << 196850.0 << true << false;
}

void TestSolver::takenFromReference() {
    QFETCH(double, target);
    QFETCH(bool, extended);
    QTEST(::takenFromReference(target, pllRangeFor(extended).low), "fromReference");
}

void TestSolver::referenceDivider_data() {
    QTest::addColumn<double>("reference");
    QTest::addColumn<double>("target");
    QTest::addColumn<qint32>("divider");
    QTest::newRow("10 MHz / 500 kHz") << 1e7 << 5e5 << 20;
    QTest::newRow("12.5 rounds up") << 1e7 << 8e5 << 13;
    QTest::newRow("19.5 rounds up") << 39.0 << 2.0 << 20;
    QTest::newRow("126") << 1e7 << 1e7 / 126 << 126;
    QTest::newRow("200 clamped") << 1e7 << 5e4 << 127;
    QTest::newRow("128 clamped") << 128.0 << 1.0 << 127;
    QTest::newRow("1e30 clamped") << 1e7 << 1e-23 << 127;
    QTest::newRow("beyond double") << 1e300 << 1e-300 << 127;
    QTest::newRow("zero target") << 1e7 << 0.0 << 127;
    QTest::newRow("negative target") << 1e7 << -5e5 << 0;
    QTest::newRow("infinite target") << 1e7 << Inf << 0;
    QTest::newRow("reference not a number") << NaN << 5e5 << 0;
    QTest::newRow("zero reference") << 0.0 << 5e5 << 0;
}

void TestSolver::referenceDivider() {
    QFETCH(double, reference);
    QFETCH(double, target);
    QTEST(::referenceDivider(reference, target), "divider");
}

void TestSolver::divider1Fields_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("divider");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("code");
    QTest::newRow("2 keeps DIV1SRC") << 0x80 << 2 << 0x84 << 2;
    QTest::newRow("3") << 0x00 << 3 << 0x06 << 3;
    QTest::newRow("4") << 0xFF << 4 << 0x84 << 1;
    QTest::newRow("20") << 0x80 << 20 << 0x94 << 1;
    QTest::newRow("127") << 0x00 << 127 << 0x7F << 1;
    QTest::newRow("1") << 0x7F << 1 << 0x00 << KeepCrosspoint;
    QTest::newRow("0 keeps DIV1SRC") << 0xFF << 0 << 0x80 << KeepCrosspoint;
    QTest::newRow("negative") << 0x85 << -5 << 0x80 << KeepCrosspoint;
}

void TestSolver::divider1Fields() {
    QFETCH(int, before);
    QFETCH(int, divider);
    RegisterImage r;
    r[0x0C] = quint8(before);
    r[0x47] = 0x5A;
    QTEST(applyDivider1(r, divider), "code");
    QTEST(int(r[0x0C]), "after");
    QCOMPARE(int(r[0x47]), 0x5A);
}

void TestSolver::divider2Fields_data() {
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("divider");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("code");
    QTest::newRow("2 keeps DIV2SRC") << 0x80 << 2 << 0x84 << 5;
    QTest::newRow("3 has no route") << 0x7F << 3 << 0x00 << KeepCrosspoint;
    QTest::newRow("4") << 0x00 << 4 << 0x08 << 6;
    QTest::newRow("5") << 0x00 << 5 << 0x05 << 4;
    QTest::newRow("25") << 0xFF << 25 << 0x99 << 4;
    QTest::newRow("127") << 0x80 << 127 << 0xFF << 4;
    QTest::newRow("1") << 0x7F << 1 << 0x00 << KeepCrosspoint;
    QTest::newRow("0 keeps DIV2SRC") << 0xFF << 0 << 0x80 << KeepCrosspoint;
}

void TestSolver::divider2Fields() {
    QFETCH(int, before);
    QFETCH(int, divider);
    RegisterImage r;
    r[0x47] = quint8(before);
    r[0x0C] = 0xA5;
    QTEST(applyDivider2(r, divider), "code");
    QTEST(int(r[0x47]), "after");
    QCOMPARE(int(r[0x0C]), 0xA5);
}

void TestSolver::pllFields_data() {
    QTest::addColumn<int>("pTotal");
    QTest::addColumn<int>("qTotal");
    QTest::addColumn<int>("r40before");
    QTest::addColumn<int>("r42before");
    QTest::addColumn<int>("r40");
    QTest::addColumn<int>("r41");
    QTest::addColumn<int>("r42");
    // PB = P / 2 - 4 over 0x40 bits 1..0 and 0x41, PO = P odd, Q counter = Q - 2.
    QTest::newRow("P 40, Q 2") << 40 << 2 << 0xDF << 0xFF << 0xDC << 0x10 << 0x00;
    QTest::newRow("P 80, Q 3") << 80 << 3 << 0xC0 << 0x00 << 0xC0 << 0x24 << 0x01;
    QTest::newRow("P 9, Q 10") << 9 << 10 << 0xC3 << 0x00 << 0xC0 << 0x00 << 0x88;
    QTest::newRow("P 521, Q 2") << 521 << 2 << 0xC4 << 0x7F << 0xC5 << 0x00 << 0x80;
    QTest::newRow("P 2055, Q 129") << 2055 << 129 << 0xE0 << 0x00 << 0xE3 << 0xFF << 0xFF;
}

void TestSolver::pllFields() {
    QFETCH(int, pTotal);
    QFETCH(int, qTotal);
    QFETCH(int, r40before);
    QFETCH(int, r42before);
    RegisterImage r;
    r[0x40] = quint8(r40before);
    r[0x41] = 0x99;
    r[0x42] = quint8(r42before);
    applyPllSettings(r, pTotal, qTotal);
    QTEST(int(r[0x40]), "r40");
    QTEST(int(r[0x41]), "r41");
    QTEST(int(r[0x42]), "r42");
    for (int a = 0; a < RegisterImage::Size; ++a)
        if (a < 0x40 || a > 0x42)
            QCOMPARE(int(r[a]), 0);
}

void TestSolver::chargePumpChangesOnlyThePumpBits_data() {
    QTest::addColumn<int>("pTotal");
    QTest::addColumn<int>("register40");
    QTest::addColumn<QString>("warning");
    QTest::newRow("15") << 15 << 0xE3 << "Warning: unstable charge-pump-setting, p < 15!";
    QTest::newRow("16") << 16 << 0xE3 << QString();
    QTest::newRow("45") << 45 << 0xE7 << QString();
    QTest::newRow("1023") << 1023 << 0xF3 << QString();
    QTest::newRow("1024") << 1024 << 0xF7 << "Warning: unstable charge-pump-setting, p > 1023!";
    QTest::newRow("2055") << 2055 << 0xFF << "Warning: unstable charge-pump-setting, p > 1680!";
    QTest::newRow("2056") << 2056 << 0xE3
                          << "Warning: invalid charge-pump-setting, p out of range!";
}

void TestSolver::chargePumpChangesOnlyThePumpBits() {
    QFETCH(int, pTotal);
    RegisterImage image;
    image.bytes.fill(0xFF);
    QTEST(selectChargePump(image, pTotal), "warning");
    QTEST(int(image[0x40]), "register40");
    for (int a = 0; a < RegisterImage::Size; ++a)
        if (a != 0x40)
            QCOMPARE(int(image[a]), 0xFF);
}

QTEST_APPLESS_MAIN(TestSolver)
#include "tst_solver.moc"
