#include "decoders/formatters.h"
#include "framebuilder.h"
#include "link/frame.h"
#include "link/gpsmain.h"
#include "testplatform.h"

#include <QtTest>

using Bcd = std::array<quint8, 6>;
Q_DECLARE_METATYPE(Bcd)

class TestFormatters : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void hexByteIsTwoUpperCaseDigits_data();
    void hexByteIsTwoUpperCaseDigits();
    void numberTextHasFifteenDigitsAndNoTrailingZeros_data();
    void numberTextHasFifteenDigitsAndNoTrailingZeros();
    void numberTextUsesLocaleDecimalSeparator();
    void signedNumberTextKeepsSignPositionAndPoint_data();
    void signedNumberTextKeepsSignPositionAndPoint();
    void levelAndConditionTextsMaskTwoBits_data();
    void levelAndConditionTextsMaskTwoBits();
    void degMinTextSplitsDegreesAndCutsMinutes_data();
    void degMinTextSplitsDegreesAndCutsMinutes();
    void rawHexTextCoversWholeFrame_data();
    void rawHexTextCoversWholeFrame();
    void rawHexTextOfBufferStaysInsideBuffer();
    void localDateTimeTextRollsOverCalendar_data();
    void localDateTimeTextRollsOverCalendar();
    void localDateTimeTextFollowsLocale_data();
    void localDateTimeTextFollowsLocale();
    void localDateTimeTextOfInvalidBcdStillGivesText();
};

void TestFormatters::hexByteIsTwoUpperCaseDigits_data()
{
    QTest::addColumn<int>("byte");
    QTest::addColumn<QString>("expected");
    QTest::newRow("CA") << 0xCA << "CA";
    QTest::newRow("leading zero") << 5 << "05";
    QTest::newRow("zero") << 0 << "00";
    QTest::newRow("FF") << 255 << "FF";
    QTest::newRow("only the low byte") << 0x1AB << "AB";
}

void TestFormatters::hexByteIsTwoUpperCaseDigits()
{
    QFETCH(int, byte);
    QFETCH(QString, expected);
    QCOMPARE(HexByte(byte), expected);
}

void TestFormatters::numberTextHasFifteenDigitsAndNoTrailingZeros_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");
    QTest::newRow("7 x 0.2 is not a 17-digit expansion") << 7 * 0.2 << "1.4";
    QTest::newRow("3 x 0.2") << 3 * 0.2 << "0.6";
    QTest::newRow("heading 1023") << 1023 * 360.0 / 1024 << "359.6484375";
    QTest::newRow("whole number has no separator") << 12.0 << "12";
    QTest::newRow("zero before the separator") << 0.75 << "0.75";
    QTest::newRow("negative fraction") << -0.25 << "-0.25";
    QTest::newRow("negative whole") << -16384.0 << "-16384";
    QTest::newRow("half negative") << -0.5 << "-0.5";
    QTest::newRow("zero") << 0.0 << "0";
    QTest::newRow("negative zero is plain zero") << -0.0 << "0";
    QTest::newRow("rounded at the 15th digit") << 1.0 / 3 << "0.333333333333333";
    QTest::newRow("rounded up at the 15th digit") << 2.0 / 3 << "0.666666666666667";
    QTest::newRow("large whole count") << 255.0 << "255";
    QTest::newRow("no group separator") << 1234567.0 << "1234567";
}

void TestFormatters::numberTextHasFifteenDigitsAndNoTrailingZeros()
{
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(NumberText(x), expected);
}

void TestFormatters::numberTextUsesLocaleDecimalSeparator()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(NumberText(7 * 0.2), QStringLiteral("1,4"));
    QCOMPARE(NumberText(-1234.5), QStringLiteral("-1234,5"));
    // The signed text keeps "." whatever the locale.
    QCOMPARE(SignedNumberText(0.5), QStringLiteral(" .5"));
    QCOMPARE(DegMinText(4530.5), QStringLiteral(" 45°30.5"));
}

void TestFormatters::signedNumberTextKeepsSignPositionAndPoint_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");
    QTest::newRow("half") << 0.5 << " .5";
    QTest::newRow("negative quarter") << -0.25 << "-.25";
    QTest::newRow("whole") << 12.0 << " 12";
    QTest::newRow("negative whole") << -7512.0 << "-7512";
    QTest::newRow("zero") << 0.0 << " 0";
    QTest::newRow("fifteen digits") << 7 * 0.2 << " 1.4";
}

void TestFormatters::signedNumberTextKeepsSignPositionAndPoint()
{
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(SignedNumberText(x), expected);
}

void TestFormatters::levelAndConditionTextsMaskTwoBits_data()
{
    QTest::addColumn<int>("v");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("condition");
    QTest::newRow("0") << 0 << "  0"
                       << "Searching";
    QTest::newRow("1") << 1 << "<10"
                       << "Tracking";
    QTest::newRow("2") << 2 << "<20"
                       << "Decode";
    QTest::newRow("3") << 3 << ">20"
                       << "Decode Fix";
    QTest::newRow("7 counts as 3") << 7 << ">20"
                                   << "Decode Fix";
    QTest::newRow("0xFC counts as 0") << 0xFC << "  0"
                                      << "Searching";
}

void TestFormatters::levelAndConditionTextsMaskTwoBits()
{
    QFETCH(int, v);
    QFETCH(QString, level);
    QFETCH(QString, condition);
    QCOMPARE(LevelText(v), level);
    QCOMPARE(ConditionText(v), condition);
}

void TestFormatters::degMinTextSplitsDegreesAndCutsMinutes_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");
    QTest::newRow("four decimals kept") << 4530.123456 << " 45°30.1234";
    QTest::newRow("cut, not rounded") << 4530.12345678 << " 45°30.1234";
    QTest::newRow("three-digit degrees negative") << -12207.5 << "-122°07.5";
    QTest::newRow("two-digit degrees negative") << -7512.5 << "-75°12.5";
    QTest::newRow("whole minutes") << 4530.0 << " 45°30";
    QTest::newRow("under a degree") << 5.25 << " 0°05.25";
    QTest::newRow("0.375 degrees") << 22.5 << " 0°22.5";
    QTest::newRow("-0.5 degrees, whole minutes") << -30.0 << "-0°30";
    QTest::newRow("-0.124495 degrees") << -7.4697 << "-0°07.4697";
    QTest::newRow("under a degree, minutes cut") << 59.99999 << " 0°59.9999";
    QTest::newRow("one degree") << 100.0 << " 1°00";
    QTest::newRow("zero") << 0.0 << " 0°00";
    QTest::newRow("navigation latitude 10485760") << 10485760 / 9216.0 << " 11°37.7777";
    QTest::newRow("navigation latitude -10485760") << -10485760 / 9216.0 << "-11°37.7777";
    QTest::newRow("under a minute") << 0.5 << " 0°00.5";
    QTest::newRow("under a minute negative") << -0.25 << "-0°00.25";
    QTest::newRow("under a minute cut") << 0.123456 << " 0°00.1234";
    QTest::newRow("smallest coordinate step") << 1 / 9216.0 << " 0°00.0001";
    QTest::newRow("smallest negative step") << -1 / 9216.0 << "-0°00.0001";
    QTest::newRow("exponent form below a minute") << 0.00001 << " 0°00.0000";
    QTest::newRow("largest coordinate") << 2147483647 / 9216.0 << " 2330°16.8887";
}

void TestFormatters::degMinTextSplitsDegreesAndCutsMinutes()
{
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(DegMinText(x), expected);
}

void TestFormatters::rawHexTextCoversWholeFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("expected");
    QTest::newRow("four bytes") << bytes({0xB0, 0xB0, 0xA0, 0x0D}) << "B0 B0 A0 0D ";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestFormatters::rawHexTextCoversWholeFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, expected);
    QCOMPARE(RawHexText(reinterpret_cast<const quint8 *>(frame.constData()), int(frame.size())),
             expected);
}

void TestFormatters::rawHexTextOfBufferStaysInsideBuffer()
{
    const Frame f = Frame::fromBytes(buildFrameOfType(0xCA));
    const QString nav = RawHexText(f.bytes());
    QCOMPARE(nav.size(), 132);
    QVERIFY(nav.startsWith(QStringLiteral("CA CA ")));
    QVERIFY(nav.endsWith(QStringLiteral("0D ")));

    // More bytes than a frame holds keep the frame's room and no more.
    QCOMPARE(RawHexText(Frame::fromBytes(QByteArray(32000, 'x')).bytes()).size(),
             3 * Frame::kMaxLength);
    QCOMPARE(RawHexText(Frame::fromBytes(QByteArrayView()).bytes()), QString());
}

void TestFormatters::localDateTimeTextRollsOverCalendar_data()
{
    QTest::addColumn<Bcd>("bcd");
    QTest::addColumn<int>("zone");
    QTest::addColumn<QString>("expected");
    QTest::newRow("new year by the zone")
        << Bcd{0x99, 0x12, 0x31, 0x23, 0x59, 0x59} << 13 << "1/1/2000 12:59:59 AM";
    QTest::newRow("UTC keeps the old year")
        << Bcd{0x99, 0x12, 0x31, 0x23, 0x59, 0x59} << 12 << "12/31/1999 11:59:59 PM";
    QTest::newRow("all zero at UTC is date alone") << Bcd{0, 0, 0, 0, 0, 0} << 12 << "11/30/1999";
    QTest::newRow("all zero at -7 hours") << Bcd{0, 0, 0, 0, 0, 0} << 5 << "11/29/1999 5:00:00 PM";
    QTest::newRow("year 0x97 is 2097")
        << Bcd{0x97, 0x06, 0x15, 0x12, 0x00, 0x00} << 12 << "6/15/2097 12:00:00 PM";
    QTest::newRow("year 0x98 is 1998")
        << Bcd{0x98, 0x06, 0x15, 0x12, 0x00, 0x00} << 12 << "6/15/1998 12:00:00 PM";
    QTest::newRow("month 13 is January next year")
        << Bcd{0x05, 0x13, 0x01, 0x08, 0x00, 0x00} << 12 << "1/1/2006 8:00:00 AM";
    QTest::newRow("day past end of February")
        << Bcd{0x05, 0x02, 0x30, 0x10, 0x00, 0x00} << 12 << "3/2/2005 10:00:00 AM";
    QTest::newRow("leap day exists in 2004")
        << Bcd{0x04, 0x02, 0x29, 0x10, 0x00, 0x00} << 12 << "2/29/2004 10:00:00 AM";
    QTest::newRow("back across a month end")
        << Bcd{0x07, 0x03, 0x01, 0x02, 0x30, 0x00} << 5 << "2/28/2007 7:30:00 PM";
    QTest::newRow("forward across a month end")
        << Bcd{0x07, 0x04, 0x30, 0x20, 0x00, 0x00} << 24 << "5/1/2007 8:00:00 AM";
    QTest::newRow("back across a year end")
        << Bcd{0x10, 0x01, 0x01, 0x03, 0x00, 0x00} << 0 << "12/31/2009 3:00:00 PM";
    QTest::newRow("landing on midnight shows date only")
        << Bcd{0x10, 0x01, 0x01, 0x07, 0x00, 0x00} << 5 << "1/1/2010";
    QTest::newRow("hour 24 rolls into next day")
        << Bcd{0x10, 0x05, 0x05, 0x24, 0x00, 0x01} << 12 << "5/6/2010 12:00:01 AM";
    QTest::newRow("minute 60 rolls into next hour")
        << Bcd{0x10, 0x05, 0x05, 0x10, 0x60, 0x00} << 12 << "5/5/2010 11:00:00 AM";
    // A nibble above 9 is no digit: 0x1A is hour 1, 0x5A minute 5, 0xA5 second 0.
    QTest::newRow("a nibble above 9 ends the digits")
        << Bcd{0x10, 0x05, 0x05, 0x1A, 0x5A, 0xA5} << 12 << "5/5/2010 1:05:00 AM";
}

void TestFormatters::localDateTimeTextRollsOverCalendar()
{
    QFETCH(Bcd, bcd);
    QFETCH(int, zone);
    QFETCH(QString, expected);
    QCOMPARE(LocalDateTimeText(bcd, zone), expected);
}

void TestFormatters::localDateTimeTextFollowsLocale_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");
    // Six zero bytes seen from -7 hours.
    QTest::newRow("United States")
        << QLocale(QLocale::English, QLocale::UnitedStates) << "11/29/1999 5:00:00 PM";
    QTest::newRow("German widens the year, drops the zone")
        << QLocale(QLocale::German, QLocale::Germany) << "29.11.1999 17:00:00";
    QTest::newRow("British") << QLocale(QLocale::English, QLocale::UnitedKingdom)
                             << "29/11/1999 17:00:00";
    QTest::newRow("Persian drops the bracketed zone")
        << QLocale(QLocale::Persian, QLocale::Iran)
        << QLocale(QLocale::Persian, QLocale::Iran).toString(QDate(1999, 11, 29), "yyyy/M/d") +
               " " + QLocale(QLocale::Persian, QLocale::Iran).toString(QTime(17, 0), "H:mm:ss");
}

void TestFormatters::localDateTimeTextFollowsLocale()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);
    QLocale::setDefault(locale);
    QCOMPARE(LocalDateTimeText(Bcd{0, 0, 0, 0, 0, 0}, 5), expected);
}

void TestFormatters::localDateTimeTextOfInvalidBcdStillGivesText()
{
    // Nibbles above 9 end the number early: 0xAB reads 0, 0x1F reads 1.
    QCOMPARE(LocalDateTimeText(Bcd{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 12), "11/30/1899");
    QCOMPARE(LocalDateTimeText(Bcd{0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F}, 12), "1/1/2001 1:01:01 AM");
    for (int zone : {0, 24, -100, 100}) {
        QVERIFY(!LocalDateTimeText(Bcd{0x99, 0x99, 0x99, 0x99, 0x99, 0x99}, zone).isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestFormatters)
#include "tst_formatters.moc"
