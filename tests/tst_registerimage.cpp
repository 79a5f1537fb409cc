// SPDX-License-Identifier: MIT
#include "registers/registerimage.h"

#include <QtTest>

class TestRegisterImage : public QObject {
    Q_OBJECT

private slots:
    void startupDefaults();
    void crosspointPacking_data();
    void crosspointPacking();
    void crosspointWordKeepsLowBitsOf0x46();
    void fieldUpdates_data();
    void fieldUpdates();
    void fieldReads();
};

void TestRegisterImage::startupDefaults() {
    RegisterImage r;
    r.applyStartupDefaults();
    for (int a = 0; a < RegisterImage::Size; ++a) {
        const int expected = a == 0x12 ? 0x10 : a == 0x13 ? 0x40 : 0;
        QCOMPARE(int(r[a]), expected);
    }
    // 0x12 is ORed, not set: the other bits survive.
    RegisterImage s;
    s[0x12] = 0x21;
    s.applyStartupDefaults();
    QCOMPARE(int(s[0x12]), 0x31);
}

void TestRegisterImage::crosspointPacking_data() {
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<int>("low6");
    QTest::addColumn<int>("r44");
    QTest::addColumn<int>("r45");
    QTest::addColumn<int>("r46");
    QTest::newRow("mixed") << QList<int>{1, 4, 0, 5, 7, 2} << 0x3F << 0x30 << 0x5E << 0xBF;
    QTest::newRow("LCLK1 DIV2CLK/4")
        << QList<int>{6, 0, 0, 0, 0, 0} << 0x3F << 0xC0 << 0x00 << 0x3F;
    QTest::newRow("all undefined") << QList<int>{7, 7, 7, 7, 7, 7} << 0x00 << 0xFF << 0xFF << 0xC0;
    QTest::newRow("CLK6 only, odd low bits")
        << QList<int>{0, 0, 0, 0, 0, 5} << 0x15 << 0x00 << 0x01 << 0x55;
    QTest::newRow("LCLK3 spans 0x44/0x45")
        << QList<int>{0, 0, 3, 0, 0, 0} << 0x3F << 0x01 << 0x80 << 0x3F;
}

void TestRegisterImage::crosspointPacking() {
    QFETCH(QList<int>, codes);
    QFETCH(int, low6);
    QFETCH(int, r44);
    QFETCH(int, r45);
    QFETCH(int, r46);
    std::array<int, OutputCount> a{};
    std::copy(codes.begin(), codes.end(), a.begin());
    RegisterImage r;
    r[0x46] = quint8(low6);
    Field::setMatrixWord(r, Field::packCrosspointCodes(a));
    QCOMPARE(int(r[0x44]), r44);
    QCOMPARE(int(r[0x45]), r45);
    QCOMPARE(int(r[0x46]), r46);
    const quint32 w = Field::matrixWord(r);
    for (int k = 0; k < OutputCount; ++k)
        QCOMPARE(Field::crosspointCode(w, k), codes[k]);
}

void TestRegisterImage::crosspointWordKeepsLowBitsOf0x46() {
    RegisterImage r;
    r[0x46] = 0x2A;
    for (quint32 w : {0x3FFFFu, 0u, 0x12345u, 0x00003u})
        Field::setMatrixWord(r, w);
    QCOMPARE(int(r[0x46] & 0x3F), 0x2A);
    QCOMPARE(Field::matrixWord(r), 0x00003u);
}

// Each setter writes its field into a byte that starts all ones or all zeros, so that the bits
// outside the field show whether they were kept.
void TestRegisterImage::fieldUpdates_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("after");
    QTest::newRow("enables keep 7..6") << "enables" << 0x10 << 0xC1 << 0x09 << 0xD0;
    QTest::newRow("enables masked") << "enables" << 0xFF << 0x00 << 0x09 << 0x3F;
    QTest::newRow("div1 src set") << "div1src" << 1 << 0x08 << 0x0C << 0x88;
    QTest::newRow("div1 src clear") << "div1src" << 0 << 0x88 << 0x0C << 0x08;
    QTest::newRow("div1N keeps bit 7") << "div1N" << 5 << 0xFF << 0x0C << 0x85;
    QTest::newRow("div1N masked") << "div1N" << 0x1FF << 0x00 << 0x0C << 0x7F;
    QTest::newRow("div2 src") << "div2src" << 1 << 0x04 << 0x47 << 0x84;
    QTest::newRow("div2N keeps bit 7") << "div2N" << 0 << 0xFF << 0x47 << 0x80;
    QTest::newRow("xdrv keeps others") << "xdrv" << 1 << 0xFF << 0x12 << 0xEF;
    QTest::newRow("xdrv into zero") << "xdrv" << 3 << 0x00 << 0x12 << 0x18;
    QTest::newRow("capload whole byte") << "capload" << 0x1A5 << 0x00 << 0x13 << 0xA5;
    QTest::newRow("pump keeps 7..5 and 1..0") << "pump" << 0 << 0xFF << 0x40 << 0xE3;
    QTest::newRow("pump 5") << "pump" << 5 << 0xC0 << 0x40 << 0xD4;
    QTest::newRow("po set") << "po" << 1 << 0x05 << 0x42 << 0x85;
    QTest::newRow("q keeps po") << "q" << 0x02 << 0xFF << 0x42 << 0x82;
}

void TestRegisterImage::fieldUpdates() {
    QFETCH(QString, field);
    QFETCH(int, value);
    QFETCH(int, before);
    QFETCH(int, address);
    QFETCH(int, after);
    RegisterImage r;
    r[address] = quint8(before);
    if (field == "enables")
        Field::setOutputEnables(r, value);
    else if (field == "div1src")
        Field::setDiv1FromReference(r, value);
    else if (field == "div1N")
        Field::setDiv1N(r, value);
    else if (field == "div2src")
        Field::setDiv2FromReference(r, value);
    else if (field == "div2N")
        Field::setDiv2N(r, value);
    else if (field == "xdrv")
        Field::setXcoDrive(r, value);
    else if (field == "capload")
        Field::setCapLoad(r, value);
    else if (field == "pump")
        Field::setChargePump(r, value);
    else if (field == "po")
        Field::setPo(r, value);
    else if (field == "q")
        Field::setQCounter(r, value);
    else
        QFAIL("unknown field");
    QCOMPARE(int(r[address]), after);
    for (int a = 0; a < RegisterImage::Size; ++a)
        if (a != address)
            QCOMPARE(int(r[a]), 0);
}

void TestRegisterImage::fieldReads() {
    RegisterImage r;
    r[0x40] = 0xFF;
    Field::setPb(r, 1023);
    QCOMPARE(int(r[0x40]), 0xFF);
    QCOMPARE(int(r[0x41]), 0xFF);
    Field::setPb(r, 256);
    QCOMPARE(int(r[0x40]), 0xFD);  // bits 1..0 = 1, pump and fixed bits kept
    QCOMPARE(int(r[0x41]), 0x00);
    QCOMPARE(Field::pb(r), 256);
    QCOMPARE(Field::chargePump(r), 7);

    r[0x42] = 0xA5;
    QCOMPARE(Field::po(r), true);
    QCOMPARE(Field::qCounter(r), 0x25);
    r[0x12] = 0x10;
    QCOMPARE(Field::xcoDrive(r), 2);
    r[0x0C] = 0x94;
    QCOMPARE(Field::div1FromReference(r), true);
    QCOMPARE(Field::div1N(r), 0x14);
    r[0x09] = 0xE5;
    QCOMPARE(Field::outputEnables(r), 0x25);
}

QTEST_APPLESS_MAIN(TestRegisterImage)
#include "tst_registerimage.moc"
