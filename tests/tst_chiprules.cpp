// SPDX-License-Identifier: MIT
// The chip's datasheet rules: for each rule an image that breaks exactly that rule, and a close
// image that breaks none.

#include "demochip.h"
#include "frequency/chiprules.h"
#include "frequency/frequencymodel.h"
#include "frequency/frequencyreadout.h"

#include <QtTest>

#include <functional>
#include <set>

namespace {
// P and Q as the registers hold them: PB and PO from P, the Q counter from Q.
void setPll(RegisterImage& r, int pTotal, int qTotal) {
    Field::setPb(r, pTotal / 2 - 4);
    Field::setPo(r, pTotal % 2 == 1);
    Field::setQCounter(r, qTotal - 2);
    const int pump = requiredChargePump(pTotal);
    Field::setChargePump(r, pump < 0 ? 0 : pump);
}

// A configuration a real chip runs: 10 MHz crystal, PLL 200 MHz (P 200, Q 10), both banks from
// the PLL with DIVxN 8, every output enabled on a different route, the bits the register map fixes
// as it fixes them.
RegisterImage workingImage() {
    RegisterImage r;
    r.applyStartupDefaults();
    r[0x12] = 0x30;  // fixed 001, XDRV 2, fixed 000
    r[0x40] = 0xC0;  // fixed 110
    r[0x46] = 0x3F;  // fixed 111111
    setPll(r, 200, 10);
    Field::setDiv1FromReference(r, false);
    Field::setDiv1N(r, 8);
    Field::setDiv2FromReference(r, false);
    Field::setDiv2N(r, 8);
    Field::setMatrixWord(r, Field::packCrosspointCodes({1, 2, 4, 5, 6, 0}));
    Field::setOutputEnables(r, 0x3F);
    return r;
}

using Change = std::function<void(RegisterImage&)>;

void route(RegisterImage& r, int output, int code) {
    Field::setCrosspointCode(r, output, code);
}

BoardFacts board(PartGrade grade, LclkSupply supply, ReferenceKind kind) {
    return BoardFacts{grade, supply, kind};
}
const BoardFacts Default{};
const BoardFacts Industrial =
    board(PartGrade::Industrial, LclkSupply::V3_3, ReferenceKind::Crystal);
const BoardFacts At2V5 = board(PartGrade::Commercial, LclkSupply::V2_5, ReferenceKind::Crystal);
const BoardFacts Driven =
    board(PartGrade::Commercial, LclkSupply::V3_3, ReferenceKind::DrivenClock);

std::set<QString> ruleIds(const Findings& findings) {
    std::set<QString> ids;
    for (const Finding& f : findings)
        ids.insert(f.rule);
    return ids;
}
}  // namespace

Q_DECLARE_METATYPE(Change)
Q_DECLARE_METATYPE(BoardFacts)

class TestChipRules : public QObject {
    Q_OBJECT

private slots:
    void eachRuleAlone_data();
    void eachRuleAlone();
    void disabledOutputsHaveNoFindings();
    void emulatedChipPowersUpWithoutFindings();
    void findingsNameWhatTheyConcern();
    void everyRuleIsInTheTable();
    void everyRuleIsDocumented();
    void pumpBands_data();
    void pumpBands();
};

void TestChipRules::eachRuleAlone_data() {
    QTest::addColumn<Change>("change");
    QTest::addColumn<double>("reference");
    QTest::addColumn<BoardFacts>("facts");
    QTest::addColumn<QString>("rule");  // the one rule broken; empty: none

    QTest::newRow("working image") << Change([](RegisterImage&) {}) << 10e6 << Default << "";

    const auto p15 = [](RegisterImage& r) { setPll(r, 15, 4); };
    QTest::newRow("P 15") << Change(p15) << 30e6 << Default << "p-range";
    QTest::newRow("P 16") << Change([](RegisterImage& r) { setPll(r, 16, 4); }) << 30e6 << Default
                          << "";
    QTest::newRow("P 1024") << Change([](RegisterImage& r) { setPll(r, 1024, 40); }) << 10e6
                            << Default << "p-range";
    QTest::newRow("P 1023") << Change([](RegisterImage& r) { setPll(r, 1023, 40); }) << 10e6
                            << Default << "";

    QTest::newRow("Q 41: 243.9 kHz") << Change([](RegisterImage& r) { setPll(r, 820, 41); }) << 10e6
                                     << Default << "comparison-frequency";
    QTest::newRow("Q 40: 250 kHz")
        << Change([](RegisterImage& r) { setPll(r, 800, 40); }) << 10e6 << Default << "";

    QTest::newRow("PLL 98 MHz") << Change([](RegisterImage& r) { setPll(r, 98, 10); }) << 10e6
                                << Default << "vco-range";
    QTest::newRow("PLL 100 MHz") << Change([](RegisterImage& r) { setPll(r, 100, 10); }) << 10e6
                                 << Default << "";
    QTest::newRow("PLL 340 MHz industrial") << Change([](RegisterImage& r) { setPll(r, 340, 10); })
                                            << 10e6 << Industrial << "vco-range";
    QTest::newRow("PLL 340 MHz commercial")
        << Change([](RegisterImage& r) { setPll(r, 340, 10); }) << 10e6 << Default << "";
    QTest::newRow("PLL 332 MHz industrial")
        << Change([](RegisterImage& r) { setPll(r, 332, 10); }) << 10e6 << Industrial << "";

    QTest::newRow("pump 2 for P 200")
        << Change([](RegisterImage& r) { Field::setChargePump(r, 2); }) << 10e6 << Default
        << "pump";
    QTest::newRow("pump 4 for P 800")
        << Change([](RegisterImage& r) { setPll(r, 800, 40); }) << 10e6 << Default << "";

    const auto div1N = [](int n) {
        return Change([n](RegisterImage& r) {
            Field::setDiv1N(r, n);
            route(r, 1, 0);
        });
    };
    QTest::newRow("DIV1N 3") << div1N(3) << 10e6 << Default << "divider-n";
    QTest::newRow("DIV1N 4") << div1N(4) << 10e6 << Default << "";
    QTest::newRow("DIV2N 0 under code 4") << Change([](RegisterImage& r) {
        Field::setDiv2N(r, 0);
        route(r, 3, 0);
        route(r, 4, 0);
    }) << 10e6 << Default << "divider-n";

    QTest::newRow("DIV1CLK/2, DIV1N 10") << Change([](RegisterImage& r) { Field::setDiv1N(r, 10); })
                                         << 10e6 << Default << "div1-half";
    QTest::newRow("DIV1CLK/2, DIV1N 12")
        << Change([](RegisterImage& r) { Field::setDiv1N(r, 12); }) << 10e6 << Default << "";

    QTest::newRow("DIV1CLK/3, DIV1N 8")
        << Change([](RegisterImage& r) { route(r, 1, 3); }) << 10e6 << Default << "div1-third";
    QTest::newRow("DIV1CLK/3, DIV1N 6") << Change([](RegisterImage& r) {
        route(r, 1, 3);
        Field::setDiv1N(r, 6);
    }) << 10e6 << Default << "";

    QTest::newRow("DIV2CLK/2, DIV2N 10") << Change([](RegisterImage& r) {
        Field::setDiv2N(r, 10);
        route(r, 4, 0);
    }) << 10e6 << Default << "div2-half";
    QTest::newRow("DIV2CLK/2, DIV2N 12") << Change([](RegisterImage& r) {
        Field::setDiv2N(r, 12);
        route(r, 4, 0);
    }) << 10e6 << Default << "";

    QTest::newRow("DIV2CLK/4, DIV2N 12") << Change([](RegisterImage& r) { Field::setDiv2N(r, 12); })
                                         << 10e6 << Default << "div2-quarter";
    QTest::newRow("DIV2CLK/4, DIV2N 16")
        << Change([](RegisterImage& r) { Field::setDiv2N(r, 16); }) << 10e6 << Default << "";

    QTest::newRow("code 7 enabled")
        << Change([](RegisterImage& r) { route(r, 2, 7); }) << 10e6 << Default << "reserved-route";
    QTest::newRow("code 7 disabled") << Change([](RegisterImage& r) {
        route(r, 2, 7);
        Field::setOutputEnables(r, 0x3F & ~0x04);
    }) << 10e6 << Default << "";

    // PLL 360 MHz: DIVxCLK/2 gives 180 MHz, above 166.6 MHz for an LCLK on 2.5 V only.
    const auto pll360 = [](int lclk4Code) {
        return Change([lclk4Code](RegisterImage& r) {
            setPll(r, 360, 10);
            route(r, 3, lclk4Code);
            route(r, 4, 5);  // CLK5 at 180 MHz: CLK5 and CLK6 keep 200 MHz on 2.5 V
        });
    };
    QTest::newRow("LCLK2 180 MHz at 2.5 V") << pll360(4) << 10e6 << At2V5 << "output-high";
    QTest::newRow("LCLK2 180 MHz at 3.3 V") << pll360(4) << 10e6 << Default << "";
    QTest::newRow("LCLK4 code 5 too") << pll360(5) << 10e6 << At2V5 << "output-high";

    const auto slow = [](int n) {
        return Change([n](RegisterImage& r) {
            Field::setDiv1FromReference(r, true);
            Field::setDiv1N(r, n);
            route(r, 1, 0);
        });
    };
    QTest::newRow("10 MHz / 127 = 78.7 kHz") << slow(127) << 10e6 << Default << "output-low";
    QTest::newRow("10 MHz / 125 = 80 kHz") << slow(125) << 10e6 << Default << "";

    const auto referenceOnly = Change([](RegisterImage& r) {
        Field::setMatrixWord(r, 0);  // every output on the reference: the PLL is not judged
        Field::setCapLoad(r, 0);
    });
    QTest::newRow("crystal 31 MHz") << referenceOnly << 31e6 << Default << "reference-range";
    QTest::newRow("crystal 30 MHz") << referenceOnly << 30e6 << Default << "";
    QTest::newRow("crystal 7.9 MHz") << referenceOnly << 7.9e6 << Default << "reference-range";
    QTest::newRow("driven 134 MHz") << referenceOnly << 134e6 << Driven << "reference-range";
    QTest::newRow("driven 133 MHz") << referenceOnly << 133e6 << Driven << "";
    QTest::newRow("driven 1 MHz") << referenceOnly << 1e6 << Driven << "";

    QTest::newRow("driven, CAPLOAD 64")
        << Change([](RegisterImage&) {}) << 10e6 << Driven << "capload-driven";
    QTest::newRow("driven, CAPLOAD 0")
        << Change([](RegisterImage& r) { Field::setCapLoad(r, 0); }) << 10e6 << Driven << "";

    // Each bit the register map fixes, alone on the wrong value.
    const auto flip = [](int address, int bit) {
        return Change([address, bit](RegisterImage& r) { r[address] ^= quint8(1u << bit); });
    };
    const int fixedBits[][2] = {{0x09, 7}, {0x09, 6}, {0x12, 7}, {0x12, 6}, {0x12, 5}, {0x12, 2},
                                {0x12, 1}, {0x12, 0}, {0x40, 7}, {0x40, 6}, {0x40, 5}, {0x46, 5},
                                {0x46, 4}, {0x46, 3}, {0x46, 2}, {0x46, 1}, {0x46, 0}};
    for (const auto& [address, bit] : fixedBits)
        QTest::addRow("0x%02X bit %d", address, bit)
            << flip(address, bit) << 10e6 << Default << "fixed-bits";
    // The bits beside them are free: XDRV, the pump and PB, the enables and LCLK1..CLK6's codes.
    QTest::newRow("0x12 XDRV 1") << flip(0x12, 4) << 10e6 << Default << "";
    QTest::newRow("0x40 pump bit") << Change([](RegisterImage& r) {
        setPll(r, 480, 24);  // pump 2: bit 3 of 0x40
    }) << 10e6 << Default << "";
}

void TestChipRules::eachRuleAlone() {
    QFETCH(Change, change);
    QFETCH(double, reference);
    QFETCH(BoardFacts, facts);
    QFETCH(QString, rule);
    RegisterImage image = workingImage();
    change(image);
    const Findings findings = checkChipRules(image, reference, facts);
    QStringList lines;
    for (const Finding& f : findings)
        lines << findingLine(f);
    const std::set<QString> expected =
        rule.isEmpty() ? std::set<QString>{} : std::set<QString>{rule};
    QVERIFY2(ruleIds(findings) == expected, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(hasErrors(findings),
             !rule.isEmpty() && rule != "capload-driven" && rule != "fixed-bits");
}

void TestChipRules::disabledOutputsHaveNoFindings() {
    // The start-up image, and an image that breaks nearly every rule with every output off.
    RegisterImage startup;
    startup.applyStartupDefaults();
    QVERIFY(checkChipRules(startup, 10e6, Default).isEmpty());
    RegisterImage broken = workingImage();
    setPll(broken, 11, 64);
    Field::setDiv1N(broken, 5);
    Field::setMatrixWord(broken, Field::packCrosspointCodes({7, 2, 3, 6, 7, 1}));
    Field::setOutputEnables(broken, 0);
    QVERIFY(checkChipRules(broken, 60e6, Driven).isEmpty());
    Field::setOutputEnables(broken, 0x01);
    QVERIFY(!checkChipRules(broken, 60e6, Driven).isEmpty());
}

// vantrel-demo's chip: a configuration a real chip runs, with a 10 MHz reference, the PLL at
// 200 MHz, all six outputs on and each on a different crosspoint source.
void TestChipRules::emulatedChipPowersUpWithoutFindings() {
    RegisterImage image;
    image.bytes = demoPowerOnRegisters();
    QStringList lines;
    for (const Finding& f : checkChipRules(image, 10e6, Default))
        lines << findingLine(f);
    QVERIFY2(lines.isEmpty(), qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(readFrequencies(image, 10e6, NormalPllRange).fPll, 200e6);
    QCOMPARE(Field::outputEnables(image), 0x3F);
    std::set<int> codes;
    for (int i = 0; i < OutputCount; ++i)
        codes.insert(Field::crosspointCode(Field::matrixWord(image), i));
    QCOMPARE(int(codes.size()), OutputCount);
}

void TestChipRules::findingsNameWhatTheyConcern() {
    // A fixed bit names its register, its value and the bits fixed there.
    RegisterImage fixed = workingImage();
    fixed[0x12] = 0x10;  // the start-up image's 0x12: bit 5 clear
    const Findings bits = checkChipRules(fixed, 10e6, Default);
    QCOMPARE(bits.size(), 1);
    QCOMPARE(findingLine(bits.first()),
             QStringLiteral("fixed-bits: warning: register 0x12 is 0x10; the register map fixes "
                            "its bits 7-5 = 001 and bits 2-0 = 000 (0x12)"));

    RegisterImage image = workingImage();
    Field::setDiv1N(image, 10);  // LCLK2 on DIV1CLK/2
    const Findings findings = checkChipRules(image, 10e6, Default);
    QCOMPARE(findings.size(), 1);
    const Finding& f = findings.first();
    QCOMPARE(f.concerns, (QStringList{"LCLK2", "DIV1N"}));
    QCOMPARE(
        findingLine(f),
        QStringLiteral("div1-half: error: LCLK2 uses DIV1CLK/2 with DIV1N = 10 (LCLK2, DIV1N)"));

    // A PLL rule names the outputs that draw on the PLL, and only those.
    setPll(image, 11, 2);
    Field::setDiv1N(image, 8);
    Field::setDiv2FromReference(image, true);
    const Findings pll = checkChipRules(image, 27e6, Default);
    QVERIFY(!pll.isEmpty());
    QCOMPARE(pll.first().rule, QStringLiteral("p-range"));
    QCOMPARE(pll.first().concerns, (QStringList{"P", "LCLK1", "LCLK2"}));
    QCOMPARE(pll.first().text, QStringLiteral("P = 11 is outside 16..1023"));
}

void TestChipRules::everyRuleIsInTheTable() {
    // The ids are stable: scripts and the documentation name them.
    QStringList ids;
    for (const ChipRule& r : chipRules())
        ids << QString::fromLatin1(r.id);
    QCOMPARE(ids, (QStringList{"p-range", "comparison-frequency", "vco-range", "pump", "divider-n",
                               "div1-half", "div1-third", "div2-half", "div2-quarter",
                               "reserved-route", "output-high", "output-low", "reference-range",
                               "capload-driven", "fixed-bits"}));
}

// The README's table and vantrel-cli(1) list each rule by its id, in the table's order.
void TestChipRules::everyRuleIsDocumented() {
    const auto read = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };
    const QString readme = read(QFINDTESTDATA("../README.md"));
    const QString manual = read(QFINDTESTDATA("../packaging/man/vantrel-cli.1"));
    QVERIFY(!readme.isEmpty());
    QVERIFY(!manual.isEmpty());
    qsizetype inReadme = 0;
    qsizetype inManual = 0;
    for (const ChipRule& r : chipRules()) {
        const QString id = QString::fromLatin1(r.id);
        const qsizetype row = readme.indexOf("\n| `" + id + "` | ");
        const qsizetype item = manual.indexOf("\n.It Li " + id + "\n");
        QVERIFY2(row > inReadme, qPrintable(id));
        QVERIFY2(item > inManual, qPrintable(id));
        inReadme = row;
        inManual = item;
    }
}

void TestChipRules::pumpBands_data() {
    QTest::addColumn<int>("p");
    QTest::addColumn<int>("pump");
    const int table[][2] = {{15, -1}, {16, 0},  {44, 0},  {45, 1},  {479, 1},  {480, 2},
                            {639, 2}, {640, 3}, {799, 3}, {800, 4}, {1023, 4}, {1024, -1}};
    for (const auto& row : table)
        QTest::addRow("P %d", row[0]) << row[0] << row[1];
}

void TestChipRules::pumpBands() {
    QFETCH(int, p);
    QFETCH(int, pump);
    QCOMPARE(requiredChargePump(p), pump);
}

QTEST_APPLESS_MAIN(TestChipRules)
#include "tst_chiprules.moc"
