#include "framebuilder.h"
#include "share/nmea.h"

#include <QtTest>

namespace {

// A navigation frame: fix state, position, height, heading, speed, time, DOPs, count.
QByteArray navFrame(int fix, qint32 lat, qint32 lon, int heightHalves, int heading,
                    std::initializer_list<int> speedBcd)
{
    QByteArray p;
    place(p, 3, {fix});
    place(p, 4, {lat >> 24 & 255, lat >> 16 & 255, lat >> 8 & 255, lat & 255});
    place(p, 8, {lon >> 24 & 255, lon >> 16 & 255, lon >> 8 & 255, lon & 255});
    place(p, 12, {heightHalves >> 8 & 255, heightHalves & 255});
    place(p, 16, {heading >> 8 & 255, heading & 255});
    place(p, 19, speedBcd);
    place(p, 25, {0x26, 0x12, 0x07, 0x04, 0x57, 0x50});
    place(p, 31, {6, 9, 5});
    return buildFrameOfType(0xCA, p);
}

QByteArray field(const QByteArray &sentence, int index)
{
    const QByteArray body = sentence.mid(1, sentence.indexOf('*') - 1);
    return body.split(',').value(index);
}

} // namespace

class TestNmea : public QObject {
    Q_OBJECT
private slots:
    void checksumIsXorOfTheBody_data();
    void checksumIsXorOfTheBody();
    void coordinatesMapDirectly_data();
    void coordinatesMapDirectly();
    void fixSentencesCarryTheNavigationMessage();
    void noFixLeavesPositionAndDopsEmpty_data();
    void noFixLeavesPositionAndDopsEmpty();
    void satellitesFillGsaAndGsv();
};

void TestNmea::checksumIsXorOfTheBody_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("sentence");
    // Published example sentences with their checksums.
    QTest::newRow("GGA") << QByteArray("GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,"
                                       "M,55.2,M,,")
                         << QByteArray("$GPGGA,092750.000,5321.6802,N,00630.3372,W,1,8,1.03,61.7,"
                                       "M,55.2,M,,*76\r\n");
    QTest::newRow("RMC") << QByteArray("GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,"
                                       "280511,,,A")
                         << QByteArray("$GPRMC,092750.000,A,5321.6802,N,00630.3372,W,0.02,31.66,"
                                       "280511,,,A*43\r\n");
    QTest::newRow("single digit checksum has a leading zero")
        << QByteArray("AB") << QByteArray("$AB*03\r\n");
}

void TestNmea::checksumIsXorOfTheBody()
{
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, sentence);
    QCOMPARE(nmeaSentence(body), sentence);
}

void TestNmea::coordinatesMapDirectly_data()
{
    QTest::addColumn<qint32>("raw");
    QTest::addColumn<QByteArray>("latitude");
    QTest::addColumn<QByteArray>("longitude");
    // 3312.3456 x 9216 rounded: the receiver's DDMM.mmmm is NMEA's ddmm.mmmm.
    QTest::newRow("north east") << qint32(30526577) << QByteArray("3312.3456,N")
                                << QByteArray("03312.3456,E");
    QTest::newRow("south west") << qint32(-30526577) << QByteArray("3312.3456,S")
                                << QByteArray("03312.3456,W");
    QTest::newRow("three-digit degrees")
        << qint32(107923968) << QByteArray("11710.5000,N") << QByteArray("11710.5000,E");
    QTest::newRow("zero") << qint32(0) << QByteArray("0000.0000,N") << QByteArray("00000.0000,E");
    QTest::newRow("below a minute")
        << qint32(-4608) << QByteArray("0000.5000,S") << QByteArray("00000.5000,W");
}

void TestNmea::coordinatesMapDirectly()
{
    QFETCH(qint32, raw);
    QFETCH(QByteArray, latitude);
    QFETCH(QByteArray, longitude);
    QCOMPARE(nmeaLatitude(raw), latitude);
    QCOMPARE(nmeaLongitude(raw), longitude);
}

void TestNmea::fixSentencesCarryTheNavigationMessage()
{
    // 3D fix, height 420.5 m, heading 0x0100 (90 degrees), speed BCD 0x0144 = 144/4 = 36 km/h.
    const NmeaFix fix =
        nmeaFixFromFrame(navFrame(0x14, 30526577, -107923968, 841, 0x100, {0x01, 0x44}));
    QVERIFY(fix.hasFix());
    QCOMPARE(fix.speedKmh, 36.0);
    const QList<QByteArray> s = nmeaSentences(fix, {}, false);
    QCOMPARE(s.size(), 4); // no satellite message yet: no GSV
    QVERIFY(s[0].startsWith("$GPGGA,045750.00,3312.3456,N,11710.5000,W,1,05,1.2,420.5,M,"));
    QCOMPARE(field(s[1], 2), QByteArray("3"));
    QCOMPARE(field(s[1], 15), QByteArray("2.2")); // PDOP from 1.2 and 1.8
    QCOMPARE(s[2],
             nmeaSentence("GPRMC,045750.00,A,3312.3456,N,11710.5000,W,19.44,90.0,071226,,,A"));
    QCOMPARE(s[3], nmeaSentence("GPVTG,90.0,T,,M,19.44,N,36.00,K,A"));

    // A negative heading is the same direction, a turn on.
    QCOMPARE(nmeaFixFromFrame(navFrame(4, 0, 0, 0, -256, {0, 0})).courseDeg, 270.0);
    // 2D fix: GSA mode 2.
    QCOMPARE(
        field(nmeaSentences(nmeaFixFromFrame(navFrame(3, 0, 0, 0, 0, {0, 0})), {}, false)[1], 2),
        QByteArray("2"));
}

void TestNmea::noFixLeavesPositionAndDopsEmpty_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<qint32>("latitude");
    QTest::addColumn<qint32>("longitude");
    QTest::newRow("0 satellites") << 0 << 30526577 << 0;
    QTest::newRow("2 satellites") << 2 << 30526577 << 0;
    QTest::newRow("invalid 5") << 5 << 30526577 << 0;
    QTest::newRow("invalid 15") << 15 << 30526577 << 0;
    // A 3D fix at no place on the earth: 2330 degrees north, 181 degrees west.
    QTest::newRow("latitude beyond 90") << 4 << 2147483647 << 0;
    QTest::newRow("longitude beyond 180") << 4 << 30526577 << -(18100 * 9216 + 1);
}

void TestNmea::noFixLeavesPositionAndDopsEmpty()
{
    QFETCH(int, state);
    QFETCH(qint32, latitude);
    QFETCH(qint32, longitude);
    // The frame carries HDOP 1.2 and VDOP 1.8 even so; without a fix they mean nothing.
    const QList<QByteArray> s = nmeaSentences(
        nmeaFixFromFrame(navFrame(state, latitude, longitude, 100, 0, {0x01, 0x00})), {}, false);
    QCOMPARE(s[0], nmeaSentence("GPGGA,045750.00,,,,,0,05,,,,,,,"));
    QCOMPARE(s[1], nmeaSentence("GPGSA,A,1,,,,,,,,,,,,,,,"));
    QCOMPARE(s[2], nmeaSentence("GPRMC,045750.00,V,,,,,,,071226,,,N"));
    QCOMPARE(s[3], nmeaSentence("GPVTG,,T,,M,,N,,K,N"));
}

void TestNmea::satellitesFillGsaAndGsv()
{
    QByteArray p;
    // Slots 1, 2, 3, 5, 6: fix, track, search only, decode, fix at the highest byte values.
    place(p, 4, {2, 0x1F, 100, 64, 64});
    place(p, 9, {5, 0x03, 43, 0, 128});
    place(p, 14, {9, 0x01, 0, 255, 0});
    place(p, 24, {12, 0x07, 50, 1, 10});
    place(p, 29, {32, 0x0F, 255, 255, 255});
    const QList<NmeaSatellite> sats = nmeaSatellitesFromFrame(buildFrameOfType(0xCB, p));
    QCOMPARE(sats.size(), 5);
    QCOMPARE(sats[0].elevationDeg, 45);
    QCOMPARE(sats[0].azimuthDeg, 90);
    QCOMPARE(sats[1].elevationDeg, 90);
    QCOMPARE(sats[4].elevationDeg, 90); // 179 degrees of the byte: no more than the zenith
    QCOMPARE(sats[4].azimuthDeg, 359);

    const QList<QByteArray> s =
        nmeaSentences(nmeaFixFromFrame(navFrame(4, 0, 0, 0, 0, {0, 0})), sats, true);
    QCOMPARE(s.size(), 6);
    QVERIFY2(s[1].startsWith("$GPGSA,A,3,02,32,,,,,,,,,,,"), s[1].constData());
    QCOMPARE(s[2], nmeaSentence("GPGSV,2,1,05,02,45,090,20,05,90,000,09,09,00,359,,12,07,001,10"));
    QCOMPARE(s[3], nmeaSentence("GPGSV,2,2,05,32,90,359,51"));

    // A satellite message with every slot empty still says so.
    const QList<QByteArray> none =
        nmeaSentences(nmeaFixFromFrame(navFrame(0, 0, 0, 0, 0, {0, 0})),
                      nmeaSatellitesFromFrame(buildFrameOfType(0xCB)), true);
    QCOMPARE(none[2], nmeaSentence("GPGSV,1,1,00"));
}

QTEST_GUILESS_MAIN(TestNmea)
#include "tst_nmea.moc"
