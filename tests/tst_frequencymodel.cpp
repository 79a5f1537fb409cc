// SPDX-License-Identifier: MIT
#include "frequency/frequencymodel.h"

#include <QtTest>

#include <cmath>
#include <limits>

namespace {
constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr int NoColour = -1;
}  // namespace

class TestFrequencyModel : public QObject {
    Q_OBJECT

private slots:
    void pllFrequency_data();
    void pllFrequency();
    void pllRanges();
    void pllWarnings_data();
    void pllWarnings();
    void outputFrequency_data();
    void outputFrequency();
    void targetColour_data();
    void targetColour();
    void chargePump_data();
    void chargePump();
    void targetText_data();
    void targetText();
};

void TestFrequencyModel::pllFrequency_data() {
    QTest::addColumn<qint64>("reference");
    QTest::addColumn<int>("pb");
    QTest::addColumn<bool>("po");
    QTest::addColumn<int>("qCounter");
    QTest::addColumn<int>("pTotal");
    QTest::addColumn<int>("qTotal");
    QTest::addColumn<double>("expected");
    // P = 2 * (PB + 4) + PO, Q = Q counter + 2.
    QTest::newRow("all zero") << qint64(10000000) << 0 << false << 0 << 8 << 2 << 40000000.0;
    QTest::newRow("PB 16") << qint64(10000000) << 16 << false << 0 << 40 << 2 << 200000000.0;
    QTest::newRow("PO adds one") << qint64(10000000) << 16 << true << 0 << 41 << 2 << 205000000.0;
    QTest::newRow("Q counter 1") << qint64(10000000) << 16 << false << 1 << 40 << 3 << 4.0e8 / 3.0;
    QTest::newRow("largest P and Q")
        << qint64(10000000) << 1023 << true << 127 << 2055 << 129 << 10000000.0 * 2055.0 / 129.0;
    QTest::newRow("Q bit 7 ignored")
        << qint64(10000000) << 0 << false << 0xFF << 8 << 129 << 8.0e7 / 129.0;
    QTest::newRow("PLL at 400 MHz")
        << qint64(10000000) << 36 << false << 0 << 80 << 2 << 400000000.0;
    QTest::newRow("other reference")
        << qint64(14318180) << 10 << true << 5 << 29 << 7 << 14318180.0 * 29.0 / 7.0;
}

void TestFrequencyModel::pllFrequency() {
    QFETCH(qint64, reference);
    QFETCH(int, pb);
    QFETCH(bool, po);
    QFETCH(int, qCounter);
    QFETCH(int, pTotal);
    QFETCH(int, qTotal);
    QFETCH(double, expected);
    QCOMPARE(pllMultiplier(pb, po), pTotal);
    QCOMPARE(pllDivider(qCounter), qTotal);
    QCOMPARE(::pllFrequency(reference, pb, po, qCounter), expected);
}

void TestFrequencyModel::pllRanges() {
    QCOMPARE(pllRangeFor(false).low, 100000000);
    QCOMPARE(pllRangeFor(false).high, 400000000);
    QCOMPARE(pllRangeFor(true).low, 25000000);
    QCOMPARE(pllRangeFor(true).high, 450000000);
    // Integer division: the fractions are dropped.
    QCOMPARE(pllPathFloor(NormalPllRange.low), 787401);
    QCOMPARE(pllPathFloor(ExtendedPllRange.low), 196850);
}

void TestFrequencyModel::pllWarnings_data() {
    QTest::addColumn<bool>("extended");
    QTest::addColumn<double>("fPll");
    QTest::addColumn<bool>("low");
    QTest::addColumn<bool>("high");
    QTest::newRow("normal, 40 MHz") << false << 40000000.0 << true << false;
    QTest::newRow("normal, at low limit") << false << 100000000.0 << false << false;
    QTest::newRow("normal, 1 Hz below") << false << 99999999.0 << true << false;
    QTest::newRow("normal, at high limit") << false << 400000000.0 << false << false;
    QTest::newRow("normal, 1 Hz above") << false << 400000001.0 << false << true;
    QTest::newRow("normal, 30 MHz") << false << 30000000.0 << true << false;
    QTest::newRow("extended, 30 MHz") << true << 30000000.0 << false << false;
    QTest::newRow("extended, at low limit") << true << 25000000.0 << false << false;
    QTest::newRow("extended, 1 Hz below") << true << 24999999.0 << true << false;
    QTest::newRow("extended, at high limit") << true << 450000000.0 << false << false;
    QTest::newRow("extended, 1 Hz above") << true << 450000001.0 << false << true;
    QTest::newRow("normal, 420 MHz") << false << 420000000.0 << false << true;
    QTest::newRow("extended, 420 MHz") << true << 420000000.0 << false << false;
}

void TestFrequencyModel::pllWarnings() {
    QFETCH(bool, extended);
    QFETCH(double, fPll);
    QFETCH(bool, low);
    QFETCH(bool, high);
    QCOMPARE(pllBelowRange(fPll, pllRangeFor(extended)), low);
    QCOMPARE(pllAboveRange(fPll, pllRangeFor(extended)), high);
    QCOMPARE(PllWarning::Low, QStringLiteral("Warning: unstable LOW PLL frequency!"));
    QCOMPARE(PllWarning::High, QStringLiteral("Warning: unstable HIGH PLL frequency!"));
}

void TestFrequencyModel::outputFrequency_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("div1N");
    QTest::addColumn<int>("div2N");
    QTest::addColumn<double>("expected");
    // fRef 10 MHz, DIV1CLK 200 MHz, DIV2CLK 300 MHz.
    QTest::newRow("0 F ref") << 0 << 5 << 6 << 10000000.0;
    QTest::newRow("1 DIV1CLK/DIV1N") << 1 << 5 << 6 << 40000000.0;
    QTest::newRow("2 DIV1CLK/2") << 2 << 5 << 6 << 100000000.0;
    QTest::newRow("3 DIV1CLK/3") << 3 << 5 << 6 << 2.0e8 / 3.0;
    QTest::newRow("4 DIV2CLK/DIV2N") << 4 << 5 << 6 << 50000000.0;
    QTest::newRow("5 DIV2CLK/2") << 5 << 5 << 6 << 150000000.0;
    QTest::newRow("6 DIV2CLK/4") << 6 << 5 << 6 << 75000000.0;
    QTest::newRow("7 undefined") << 7 << 5 << 6 << 0.0;
    QTest::newRow("DIV1N 0") << 1 << 0 << 6 << Inf;
    QTest::newRow("DIV2N 0") << 4 << 5 << 0 << Inf;
    QTest::newRow("DIV1N 0 unused") << 2 << 0 << 0 << 100000000.0;
}

void TestFrequencyModel::outputFrequency() {
    QFETCH(int, code);
    QFETCH(int, div1N);
    QFETCH(int, div2N);
    QFETCH(double, expected);
    QCOMPARE(::outputFrequency(code, 1.0e7, 2.0e8, 3.0e8, div1N, div2N), expected);
}

void TestFrequencyModel::targetColour_data() {
    QTest::addColumn<double>("output");
    QTest::addColumn<double>("target");
    QTest::addColumn<int>("colour");
    QTest::newRow("ratio 1.2 is yellow") << 1200000.0 << 1000000.0 << int(Qt::yellow);
    QTest::newRow("1 Hz more is red") << 1200001.0 << 1000000.0 << int(Qt::red);
    QTest::newRow("10 uHz off is green") << 1000000.00001 << 1000000.0 << int(Qt::green);
    QTest::newRow("10 uHz under is green") << 999999.99999 << 1000000.0 << int(Qt::green);
    QTest::newRow("30 uHz off is yellow") << 1000000.00003 << 1000000.0 << int(Qt::yellow);
    QTest::newRow("exact is green") << 25000000.0 << 25000000.0 << int(Qt::green);
    QTest::newRow("ratio 0.833333 is yellow") << 833333.0 << 1000000.0 << int(Qt::yellow);
    QTest::newRow("just below 0.833333 is red") << 833332.99 << 1000000.0 << int(Qt::red);
    // 5/6 lies above the decimal bound.
    QTest::newRow("ratio 5/6 is yellow") << 5000000.0 << 6000000.0 << int(Qt::yellow);
    QTest::newRow("half is red") << 500000.0 << 1000000.0 << int(Qt::red);
    QTest::newRow("zero output is red") << 0.0 << 1000000.0 << int(Qt::red);
    QTest::newRow("infinite output is red") << Inf << 1000000.0 << int(Qt::red);
    QTest::newRow("negative target is red") << 1000000.0 << -1000000.0 << int(Qt::red);
    // A ratio that is not a number: 0/0 agrees, so green; inf/inf and nan match no rule.
    QTest::newRow("zero against zero is green") << 0.0 << 0.0 << int(Qt::green);
    QTest::newRow("inf against inf: no colour") << Inf << Inf << NoColour;
    QTest::newRow("nan output: no colour") << NaN << 1000000.0 << NoColour;
}

void TestFrequencyModel::targetColour() {
    QFETCH(double, output);
    QFETCH(double, target);
    QFETCH(int, colour);
    const std::optional<Qt::GlobalColor> result = ::targetColour(output, target);
    QCOMPARE(result.has_value() ? int(*result) : NoColour, colour);
}

void TestFrequencyModel::chargePump_data() {
    QTest::addColumn<int>("pTotal");
    QTest::addColumn<int>("pump");
    QTest::addColumn<QString>("message");
    const QString invalid = "Warning: invalid charge-pump-setting, p out of range!";
    const QString below15 = "Warning: unstable charge-pump-setting, p < 15!";
    const QString above1023 = "Warning: unstable charge-pump-setting, p > 1023!";
    const QString above1320 = "Warning: unstable charge-pump-setting, p > 1320!";
    const QString above1680 = "Warning: unstable charge-pump-setting, p > 1680!";
    QTest::newRow("-1") << -1 << 0 << invalid;
    QTest::newRow("0") << 0 << 0 << below15;
    QTest::newRow("15") << 15 << 0 << below15;
    QTest::newRow("16") << 16 << 0 << QString();
    QTest::newRow("44") << 44 << 0 << QString();
    QTest::newRow("45") << 45 << 1 << QString();
    QTest::newRow("479") << 479 << 1 << QString();
    QTest::newRow("480") << 480 << 2 << QString();
    QTest::newRow("639") << 639 << 2 << QString();
    QTest::newRow("640") << 640 << 3 << QString();
    QTest::newRow("799") << 799 << 3 << QString();
    QTest::newRow("800") << 800 << 4 << QString();
    QTest::newRow("1023") << 1023 << 4 << QString();
    QTest::newRow("1024") << 1024 << 5 << above1023;
    QTest::newRow("1319") << 1319 << 5 << above1023;
    QTest::newRow("1320") << 1320 << 6 << above1320;
    QTest::newRow("1679") << 1679 << 6 << above1320;
    QTest::newRow("1680") << 1680 << 7 << above1680;
    QTest::newRow("2055") << 2055 << 7 << above1680;
    QTest::newRow("2056") << 2056 << 0 << invalid;
}

void TestFrequencyModel::chargePump() {
    QFETCH(int, pTotal);
    QFETCH(int, pump);
    QFETCH(QString, message);
    const ChargePumpChoice choice = chargePumpFor(pTotal);
    QCOMPARE(choice.pump, pump);
    QCOMPARE(choice.message, message);
}

void TestFrequencyModel::targetText_data() {
    QTest::addColumn<double>("hz");
    QTest::addColumn<QString>("text");
    // Ordinary targets keep the fixed format of twelve characters and five decimals.
    QTest::newRow("1 Hz") << 1.0 << "     1.00000";
    QTest::newRow("10 MHz") << 10e6 << "10000000.00000";
    QTest::newRow("0.5 Hz") << 0.5 << "     0.50000";
    QTest::newRow("0.1 Hz reads back") << 0.1 << "     0.10000";
    QTest::newRow("negative") << -2.0 << "    -2.00000";
    QTest::newRow("1e33") << 1e33 << "999999999999999945575230987042816.00000";
    QTest::newRow("1e34 fills the field") << 1e34 << "9999999999999999455752309870428160.00000";
    // Beyond the field or beyond five decimals: the shortest text of the same number.
    QTest::newRow("1e35") << 1e35 << "1e+35";
    QTest::newRow("1e300") << 1e300 << "1e+300";
    QTest::newRow("largest double")
        << std::numeric_limits<double>::max() << "1.7976931348623157e+308";
    QTest::newRow("smallest positive double")
        << std::numeric_limits<double>::denorm_min() << "5e-324";
    QTest::newRow("1.5 microhertz") << 1.5e-6 << "1.5e-06";
    QTest::newRow("many digits") << 12345678.123456789 << "12345678.12345679";
    QTest::newRow("0.1 + 0.2") << 0.1 + 0.2 << "0.30000000000000004";
}

void TestFrequencyModel::targetText() {
    QFETCH(double, hz);
    QFETCH(QString, text);
    const QString shown = ::targetText(hz);
    QCOMPARE(shown, text);
    QVERIFY(shown.size() <= TargetTextMaxLength);
    bool ok = false;
    QCOMPARE(shown.toDouble(&ok), hz);
    QVERIFY(ok);
}

QTEST_APPLESS_MAIN(TestFrequencyModel)
#include "tst_frequencymodel.moc"
