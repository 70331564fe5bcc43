#include "decoders/formatters.h"
#include "decoders/timestamp.h"
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "testplatform.h"

namespace {

quint8 bcd(int v)
{
    return quint8((v / 10) << 4 | v % 10);
}

// The navigation time's text of a UTC date and time, with no zone shift.
QString navigationText(int year, int month, int day, int hour, int minute, int second)
{
    return LocalDateTimeText(
        {bcd(year % 100), bcd(month), bcd(day), bcd(hour), bcd(minute), bcd(second)}, 12);
}

} // namespace

class TestTimeStampDecoder : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void stampValuesAsDates_data();
    void stampValuesAsDates();
    void stampTextsUnderUnitedStatesLocale();
    void everyStampOfAFrame();
    void descriptionsOfTheItems();
};

void TestTimeStampDecoder::stampValuesAsDates_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0 is 1 January 1999, date alone") << 0 << navigationText(1999, 1, 1, 0, 0, 0);
    QTest::newRow("6 is one o'clock") << 6 << navigationText(1999, 1, 1, 1, 0, 0);
    QTest::newRow("143 is the last step of the day")
        << 143 << navigationText(1999, 1, 1, 23, 50, 0);
    QTest::newRow("144 is the next day") << 144 << navigationText(1999, 1, 2, 0, 0, 0);
    QTest::newRow("145 is ten past midnight") << 145 << navigationText(1999, 1, 2, 0, 10, 0);
    QTest::newRow("last day of 1999") << 364 * 144 + 141 << navigationText(1999, 12, 31, 23, 30, 0);
    QTest::newRow("into 2000") << 365 * 144 << navigationText(2000, 1, 1, 0, 0, 0);
    QTest::newRow("29 February 2000")
        << (365 + 59) * 144 + 72 << navigationText(2000, 2, 29, 12, 0, 0);
    QTest::newRow("65535 is 31 March 2000 02:30") << 65535 << navigationText(2000, 3, 31, 2, 30, 0);
}

void TestTimeStampDecoder::stampValuesAsDates()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QVERIFY(!text.isEmpty());
    QCOMPARE(StampDateText(quint16(value)), text);
}

void TestTimeStampDecoder::stampTextsUnderUnitedStatesLocale()
{
    QCOMPARE(StampDateText(0), QStringLiteral("1/1/1999"));
    QCOMPARE(StampDateText(6), QStringLiteral("1/1/1999 1:00:00 AM"));
    QCOMPARE(StampDateText(145), QStringLiteral("1/2/1999 12:10:00 AM"));
    QCOMPARE(StampDateText(65535), QStringLiteral("3/31/2000 2:30:00 AM"));
}

void TestTimeStampDecoder::everyStampOfAFrame()
{
    QByteArray p;
    place(p, 3, {0x00, 0x06});  // item 1
    place(p, 5, {0x00, 0x91});  // item 2: 145
    place(p, 43, {0xFF, 0xFF}); // item 21
    const QByteArray frame = buildFrameOfType(0xC5, p);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.TimeZoneIndex = 0; // the stamps are shown as the receiver keeps them, unshifted
    QByteArray loaded = frame;

    FieldPairs expected;
    for (int k = 0; k < 21; ++k) {
        QString text = navigationText(1999, 1, 1, 0, 0, 0);
        if (k == 0)
            text = navigationText(1999, 1, 1, 1, 0, 0);
        else if (k == 1)
            text = navigationText(1999, 1, 2, 0, 10, 0);
        else if (k == 20)
            text = navigationText(2000, 3, 31, 2, 30, 0);
        expected.append({QStringLiteral("TimeStamp(%1)").arg(k), text});
    }
    expected.append({"RawHex", dumpOf(frame)});
    verifyAllFields(timeStampFields(loaded), expected);
}

void TestTimeStampDecoder::descriptionsOfTheItems()
{
    const QStringList descriptions = {
        "Antenna Open", "Reserved",      "Antenna Short", "Reserved", "TCXO Over", "TCXO Under",
        "ROM Check NG", "RAM Check NG2", "RTC Error 2",   "Reserved", "Reserved",  "Reserved",
        "Reserved",     "RAM Check NG1", "RTC Error 1",   "Reserved", "Reserved",  "Reserved",
        "Reserved",     "Reserved",      "Reserved"};
    for (int item = 1; item <= 21; ++item)
        QCOMPARE(stampDescription(item), descriptions[item - 1]);
}

QTEST_GUILESS_MAIN(TestTimeStampDecoder)
#include "tst_timestampdecoder.moc"
