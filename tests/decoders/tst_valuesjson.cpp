#include "decoders/valuesjson.h"
#include "framebuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// The numbers scripts read, each computed by hand from the frame's bytes.
class TestValuesJson : public QObject {
    Q_OBJECT
private slots:
    void navigationValues_data();
    void navigationValues();
    void satelliteChannels();
    void otherTypesHaveNoValues();
    void fixLineHasFixedColumns();
};

namespace {

QJsonObject values(const QByteArray &frame)
{
    QJsonParseError error;
    const QJsonDocument d = QJsonDocument::fromJson(messageValuesJson(frame), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning() << "not JSON:" << messageValuesJson(frame) << error.errorString();
    return d.object();
}

} // namespace

void TestValuesJson::navigationValues_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("time"); // empty: null
    QTest::addColumn<QString>("fix");
    QTest::addColumn<int>("sats");
    QTest::addColumn<double>("lat");
    QTest::addColumn<double>("lon");
    QTest::addColumn<double>("altM");
    QTest::addColumn<double>("speedKmh");
    QTest::addColumn<double>("headingDeg");

    // 4722.5 and 832.5 scaled by 9216: 47 + 22.5/60 and 8 + 32.5/60 degrees; 300 half
    // metres; 256/1024 of a turn; BCD 0123 quarter km/h.
    QTest::newRow("north and east, 3D, 1999")
        << navFrame({{3, {0x04}},
                     {4, {0x02, 0x98, 0x1A, 0x00, 0x00, 0x75, 0x12, 0x00}},
                     {12, {0x01, 0x2C}},
                     {16, {0x01, 0x00}},
                     {19, {0x01, 0x23}},
                     {25, {0x99, 0x12, 0x31, 0x23, 0x59, 0x58}},
                     {33, {7}}})
        << "1999-12-31T23:59:58Z" << "3d" << 7 << 47.375 << 8.5416666666667 << 150.0 << 30.75
        << 90.0;
    // A heading of -256/1024 turn is shown as -90 in the windows; a course is 270.
    QTest::newRow("south and west, 2D")
        << navFrame({{3, {0x03}},
                     {4, {0xFD, 0x67, 0xE6, 0x00, 0xFF, 0x8A, 0xEE, 0x00}},
                     {12, {0xFF, 0x38}},
                     {16, {0xFF, 0x00}},
                     {25, {0x26, 0x12, 0x07, 0x20, 0x15, 0x03}}})
        << "2026-12-07T20:15:03Z" << "2d" << 0 << -47.375 << -8.5416666666667 << -100.0 << 0.0
        << 270.0;
    // -30 minutes: half a degree south; 0.75 minutes: 0.0125 degrees east.
    QTest::newRow("under one degree, leap day")
        << navFrame({{3, {0x02}},
                     {4, {0xFF, 0xFB, 0xC8, 0x00, 0x00, 0x00, 0x1B, 0x00}},
                     {25, {0x24, 0x02, 0x29, 0x00, 0x00, 0x00}}})
        << "2024-02-29T00:00:00Z" << "none" << 0 << -0.5 << 0.0125 << 0.0 << 0.0 << 0.0;
    // 0x7FFFFFFF / 9216 = 233016.2812..: 2330 degrees and 16.28 minutes, as received.
    QTest::newRow("largest of each field, no such date")
        << navFrame({{3, {0x0F}},
                     {4, {0x7F, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}},
                     {12, {0x7F, 0xFF}},
                     {16, {0x7F, 0xFF}},
                     {19, {0x99, 0x99}},
                     {25, {0x99, 0x99, 0x99, 0x99, 0x99, 0x99}},
                     {33, {0xFF}}})
        << QString() << "none" << 255 << 2330.281479673032 << -2330.2814814814815 << 16383.5
        << 2499.75 << 359.6484375;
    QTest::newRow("smallest of each field, 29 February of no leap year")
        << navFrame({{3, {0x14}},
                     {12, {0x80, 0x00}},
                     {16, {0x80, 0x00}},
                     {25, {0x25, 0x02, 0x29, 0x12, 0x00, 0x00}}})
        << QString() << "3d" << 0 << 0.0 << 0.0 << -16384.0 << 0.0 << 0.0;
    QTest::newRow("zero date, hour 24")
        << navFrame({{25, {0x00, 0x00, 0x00, 0x24, 0x00, 0x00}}}) << QString() << "none" << 0
        << 0.0 << 0.0 << 0.0 << 0.0 << 0.0;
}

void TestValuesJson::navigationValues()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, time);
    QFETCH(QString, fix);
    QFETCH(int, sats);
    const QJsonObject o = values(frame);
    QCOMPARE(o.value("time").isNull(), time.isEmpty());
    QCOMPARE(o.value("time").toString(), time);
    QCOMPARE(o.value("fix").toString(), fix);
    QCOMPARE(o.value("sats").toInt(-1), sats);
    QFETCH(double, lat);
    QFETCH(double, lon);
    QFETCH(double, altM);
    QFETCH(double, speedKmh);
    QFETCH(double, headingDeg);
    const std::pair<const char *, double> numbers[] = {{"lat", lat},
                                                        {"lon", lon},
                                                        {"alt_m", altM},
                                                        {"speed_kmh", speedKmh},
                                                        {"heading_deg", headingDeg}};
    for (const auto &[key, expected] : numbers) {
        QVERIFY2(o.value(key).isDouble(), key);
        QVERIFY2(qAbs(o.value(key).toDouble() - expected) < 1e-9,
                 qPrintable(QStringLiteral("%1: %2, not %3")
                                .arg(QLatin1String(key))
                                .arg(o.value(key).toDouble(), 0, 'g', 17)
                                .arg(expected, 0, 'g', 17)));
    }
}

void TestValuesJson::satelliteChannels()
{
    QByteArray p;
    // number, state, level (fifths of a dB), azimuth (256 a turn), elevation (256 half a turn)
    place(p, 4, {5, 0x29, 200, 64, 64});   // channel 1: fix (and search), accuracy 2
    place(p, 14, {31, 0x02, 255, 255, 128}); // channel 3: track, straight up
    place(p, 39, {1, 0x00, 0, 0, 0});      // channel 8: idle
    place(p, 44, {12});
    const QJsonObject o = values(buildFrameOfType(0xCB, p));
    QCOMPARE(o.value("elapsed_days").toInt(), 12);
    const QJsonArray channels = o.value("channels").toArray();
    QCOMPARE(channels.size(), 3); // empty channels are left out
    struct Expected {
        int channel, prn;
        double az, el, level;
        const char *state;
        bool used;
        int accuracy;
    };
    const Expected expected[] = {{1, 5, 90.0, 45.0, 40.0, "fix", true, 2},
                                 {3, 31, 358.59375, 90.0, 51.0, "track", false, 0},
                                 {8, 1, 0.0, 0.0, 0.0, "idle", false, 0}};
    for (int i = 0; i < 3; ++i) {
        const QJsonObject c = channels[i].toObject();
        const Expected &e = expected[i];
        QCOMPARE(c.value("channel").toInt(), e.channel);
        QCOMPARE(c.value("prn").toInt(), e.prn);
        QCOMPARE(c.value("az_deg").toDouble(), e.az);
        QCOMPARE(c.value("el_deg").toDouble(), e.el);
        QCOMPARE(c.value("level").toDouble(), e.level);
        QCOMPARE(c.value("state").toString(), QString::fromLatin1(e.state));
        QCOMPARE(c.value("used").toBool(), e.used);
        QCOMPARE(c.value("accuracy").toInt(), e.accuracy);
    }
}

void TestValuesJson::otherTypesHaveNoValues()
{
    QVERIFY(messageValuesJson(buildFrameOfType(0xB9)).isEmpty());
    QVERIFY(messageValuesJson(QByteArray()).isEmpty());
}

void TestValuesJson::fixLineHasFixedColumns()
{
    const NavigationMessage north = parseNavigation(
        navFrame({{3, {0x04}},
                  {4, {0x02, 0x98, 0x1A, 0x00, 0x00, 0x75, 0x12, 0x00}},
                  {12, {0x01, 0x2C}},
                  {16, {0x01, 0x00}},
                  {19, {0x01, 0x23}},
                  {25, {0x26, 0x12, 0x07, 0x20, 0x15, 0x03}},
                  {33, {7}}}));
    const NavigationMessage empty = parseNavigation(navFrame({}));
    QCOMPARE(fixLine(north), QStringLiteral("2026-12-07T20:15:03Z    3d    7   47.3750000"
                                            "     8.5416667     150.0     30.75       90.00"));
    QCOMPARE(fixLine(empty), QStringLiteral("-                     none    0    0.0000000"
                                            "     0.0000000       0.0      0.00        0.00"));
    QCOMPARE(fixHeader().size(), fixLine(north).size());
}

QTEST_GUILESS_MAIN(TestValuesJson)
#include "tst_valuesjson.moc"
