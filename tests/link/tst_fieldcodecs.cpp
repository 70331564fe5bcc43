#include "link/bcd.h"
#include "link/coordinate.h"

#include <QtTest>
#include <cmath>
#include <limits>
#include <optional>

// The receiver's packed BCD digits and its 32-bit coordinate field, both ways.
class TestFieldCodecs : public QObject {
    Q_OBJECT
private slots:
    void bcdRoundTripsEveryTwoDigitNumber();
    void bcdReadsUpToFlagNibble_data();
    void bcdReadsUpToFlagNibble();
    void bcdWritesTwoDigits_data();
    void bcdWritesTwoDigits();
    void coordinateField_data();
    void coordinateField();
    void coordinateDegrees_data();
    void coordinateDegrees();
};

void TestFieldCodecs::bcdRoundTripsEveryTwoDigitNumber()
{
    for (int v = 0; v <= 99; ++v) {
        const quint8 b = toBcd(v);
        // The byte's hexadecimal digits are the number's decimal digits: 59 is 0x59.
        QCOMPARE(QString::number(b, 16).rightJustified(2, u'0'),
                 QString::number(v).rightJustified(2, u'0'));
        QVERIFY(isBcd(b));
        QCOMPARE(bcdValue(b), v);
    }
}

void TestFieldCodecs::bcdReadsUpToFlagNibble_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("digits"); // every nibble a decimal digit
    QTest::newRow("59") << QByteArray("\x59") << 59 << true;
    QTest::newRow("flag after the tens: 5A") << QByteArray("\x5A") << 5 << false;
    QTest::newRow("flag before the tens: A5") << QByteArray("\xA5") << 0 << false;
    QTest::newRow("9F") << QByteArray("\x9F") << 9 << false;
    QTest::newRow("FF") << QByteArray("\xFF") << 0 << false;
    QTest::newRow("four digits 12 34") << QByteArray("\x12\x34") << 1234 << true;
    QTest::newRow("flag in the last nibble: 12 3A") << QByteArray("\x12\x3A") << 123 << false;
    QTest::newRow("flag in the second byte: 12 B3") << QByteArray("\x12\xB3") << 12 << false;
    QTest::newRow("flag first: A1 23") << QByteArray("\xA1\x23") << 0 << false;
}

void TestFieldCodecs::bcdReadsUpToFlagNibble()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, value);
    QFETCH(bool, digits);
    const auto at = [&](int i) { return quint8(bytes[i]); };
    if (bytes.size() == 1) {
        QCOMPARE(bcdValue(at(0)), value);
        QCOMPARE(isBcd(at(0)), digits);
    } else {
        QCOMPARE(bcdValue({at(0), at(1)}), value);
        QCOMPARE(isBcd(at(0)) && isBcd(at(1)), digits);
    }
}

void TestFieldCodecs::bcdWritesTwoDigits_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("byte");
    QTest::newRow("below zero is 00") << -1 << 0x00;
    QTest::newRow("100 is 99") << 100 << 0x99;
    QTest::newRow("far beyond is 99") << 255 << 0x99;
}

void TestFieldCodecs::bcdWritesTwoDigits()
{
    QFETCH(int, value);
    QFETCH(int, byte);
    QCOMPARE(int(toBcd(value)), byte);
}

void TestFieldCodecs::coordinateField_data()
{
    QTest::addColumn<double>("scaled"); // DDDMM.mmmm
    QTest::addColumn<std::optional<qint32>>("field");
    QTest::addColumn<bool>("exact"); // the field reads back as the same DDDMM.mmmm
    using F = std::optional<qint32>;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("zero") << 0.0 << F(0) << true;
    // 30 minutes x 9216 = 276480.
    QTest::newRow("half a degree north") << 30.0 << F(276480) << true;
    QTest::newRow("half a degree south") << -30.0 << F(-276480) << true;
    QTest::newRow("north pole") << 9000.0 << F(82944000) << true;
    QTest::newRow("south pole") << -9000.0 << F(-82944000) << true;
    QTest::newRow("date line east") << 18000.0 << F(165888000) << true;
    QTest::newRow("date line west") << -18000.0 << F(-165888000) << true;
    // 1/2048 x 9216 = 4.5 and 3/2048 x 9216 = 13.5 exactly: halves go to the even side.
    QTest::newRow("half rounds down to even") << 1.0 / 2048 << F(4) << false;
    QTest::newRow("half rounds up to even") << 3.0 / 2048 << F(14) << false;
    QTest::newRow("negative half to even") << -1.0 / 2048 << F(-4) << false;
    // 2^31 - 1 = 233016.888... x 9216; one step more is 2^31.
    QTest::newRow("largest field") << 2147483647 / 9216.0 << F(2147483647) << false;
    QTest::newRow("smallest field") << -2147483648 / 9216.0 << F(-2147483648) << false;
    QTest::newRow("one step beyond the largest") << 2147483648 / 9216.0 << F() << false;
    QTest::newRow("one step below the smallest") << -2147483649 / 9216.0 << F() << false;
    QTest::newRow("far beyond") << 1e12 << F() << false;
    QTest::newRow("NaN") << nan << F() << false;
    QTest::newRow("infinity") << inf << F() << false;
    QTest::newRow("minus infinity") << -inf << F() << false;
}

void TestFieldCodecs::coordinateField()
{
    QFETCH(double, scaled);
    QFETCH(std::optional<qint32>, field);
    QFETCH(bool, exact);
    QCOMPARE(fieldFromScaled(scaled), field);
    if (field) {
        // Reading a field and writing it again gives the same field.
        QCOMPARE(fieldFromScaled(scaledFromField(*field)), field);
        if (exact)
            QCOMPARE(scaledFromField(*field), scaled);
    }
}

void TestFieldCodecs::coordinateDegrees_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<double>("scaled");
    QTest::newRow("zero") << 0.0 << 0.0;
    QTest::newRow("half a degree north") << 0.5 << 30.0;
    QTest::newRow("half a degree south") << -0.5 << -30.0;
    QTest::newRow("north pole") << 90.0 << 9000.0;
    QTest::newRow("south pole") << -90.0 << -9000.0;
    QTest::newRow("date line east") << 180.0 << 18000.0;
    QTest::newRow("date line west") << -180.0 << -18000.0;
    QTest::newRow("33°12.3456' S") << -(33 + 12.3456 / 60) << -3312.3456;
    QTest::newRow("117°59.999' E") << 117 + 59.999 / 60 << 11759.999;
}

void TestFieldCodecs::coordinateDegrees()
{
    QFETCH(double, degrees);
    QFETCH(double, scaled);
    QVERIFY2(std::fabs(scaledFromDegrees(degrees) - scaled) < 1e-9,
             qPrintable(QString::number(scaledFromDegrees(degrees), 'g', 17)));
    QVERIFY2(std::fabs(degreesFromScaled(scaled) - degrees) < 1e-12,
             qPrintable(QString::number(degreesFromScaled(scaled), 'g', 17)));
}

QTEST_GUILESS_MAIN(TestFieldCodecs)
#include "tst_fieldcodecs.moc"
