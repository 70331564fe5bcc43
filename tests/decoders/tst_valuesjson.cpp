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
    void otherMessagesValues_data();
    void otherMessagesValues();
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
        << "1999-12-31T23:59:58Z"
        << "3d" << 7 << 47.375 << 8.5416666666667 << 150.0 << 30.75 << 90.0;
    // A heading of -256/1024 turn is shown as -90 in the windows; a course is 270.
    QTest::newRow("south and west, 2D")
        << navFrame({{3, {0x03}},
                     {4, {0xFD, 0x67, 0xE6, 0x00, 0xFF, 0x8A, 0xEE, 0x00}},
                     {12, {0xFF, 0x38}},
                     {16, {0xFF, 0x00}},
                     {25, {0x26, 0x12, 0x07, 0x20, 0x15, 0x03}}})
        << "2026-12-07T20:15:03Z"
        << "2d" << 0 << -47.375 << -8.5416666666667 << -100.0 << 0.0 << 270.0;
    // -30 minutes: half a degree south; 0.75 minutes: 0.0125 degrees east.
    QTest::newRow("under one degree, leap day")
        << navFrame({{3, {0x02}},
                     {4, {0xFF, 0xFB, 0xC8, 0x00, 0x00, 0x00, 0x1B, 0x00}},
                     {25, {0x24, 0x02, 0x29, 0x00, 0x00, 0x00}}})
        << "2024-02-29T00:00:00Z"
        << "none" << 0 << -0.5 << 0.0125 << 0.0 << 0.0 << 0.0;
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
        << navFrame({{25, {0x00, 0x00, 0x00, 0x24, 0x00, 0x00}}}) << QString() << "none" << 0 << 0.0
        << 0.0 << 0.0 << 0.0 << 0.0;
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
    place(p, 4, {5, 0x29, 200, 64, 64});     // channel 1: fix (and search), accuracy 2
    place(p, 14, {31, 0x02, 255, 255, 128}); // channel 3: track, straight up
    place(p, 39, {1, 0x00, 0, 0, 0});        // channel 8: idle
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

void TestValuesJson::otherMessagesValues_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QByteArray>("expected"); // these keys, these values

    QByteArray c;
    place(c, 3, {0x04, 0x07, 0x09, 0xAA, 0x04, 0x20}); // 3D, 7 healthy, 9 visible, +420 m
    place(c, 9, {0xA0, 0x08, 0x32, 0x15});             // east 8 32' 15"
    place(c, 15, {0xA0, 0x47, 0x22, 0x30});            // north 47 22' 30"
    place(c, 21, {0x26, 0x12, 0x07, 0x20, 0x15, 0x03});
    place(c, 27, {0x05, 0x28, 0x12, 0x20}); // BCD: satellite 5 at 28 dB, 12 at 20
    QTest::newRow("condition, north and east")
        << buildFrameOfType(0xC6, c)
        << QByteArray(R"({"state":4,"state_text":"3D position fix","time":"2026-12-07T20:15:03Z",
                          "lat":47.375,"lon":8.5375,"alt_m":420,"healthy_sats":7,"visible_sats":9,
                          "satellites":[{"prn":5,"level":28},{"prn":12,"level":20}]})");
    QByteArray w;
    place(w, 6, {0x00, 0x00, 0x15});        // -15 m
    place(w, 9, {0x01, 0x22, 0x30, 0x00});  // west 122 30'
    place(w, 15, {0x00, 0x33, 0x51, 0x36}); // south 33 51' 36"
    QTest::newRow("condition, south and west, no date")
        << buildFrameOfType(0xC6, w)
        << QByteArray(R"({"lat":-33.86,"lon":-122.5,"alt_m":-15,"time":null,"satellites":[]})");
    QTest::newRow("mode") << buildFrameOfType(0xC3, bytes({1, 10, 30, 1, 0x41, 0x08, 0x40}))
                          << QByteArray(
                                 R"({"fix_mode":"3d","min_el_deg":10,"min_level":6,"pdop_limit":10,
                          "smoothing_s":5,"searching":true,"search_finished":false,"alt_m":420})");
    QTest::newRow("mode, automatic")
        << buildFrameOfType(0xC3, bytes({7, 0, 0, 2, 0xC3}))
        << QByteArray(R"({"fix_mode":"auto","pdop_limit":20,"smoothing_s":0,"searching":false,
                          "search_finished":false})");
    QTest::newRow("diagnosis") << buildFrameOfType(0xC4,
                                                   bytes({0x01, 0x23, 0x10, 0, 0x11, 0, 0x53}))
                               << QByteArray(R"({"version":"01.23A","errors":[17,0,83]})");
    // Item 20: 65535 ten-minute steps after 1999-01-01 are 455 days and 150 minutes.
    QByteArray t;
    place(t, 5, {0, 145});
    place(t, 43, {0xFF, 0xFF});
    const QJsonArray stamps = QJsonDocument::fromJson(messageValuesJson(buildFrameOfType(0xC5, t)))
                                  .object()
                                  .value("stamps")
                                  .toArray();
    QCOMPARE(stamps.size(), 21);
    QTest::newRow("time stamps")
        << QJsonDocument(QJsonObject{{"f", stamps[0]}, {"s", stamps[1]}, {"t", stamps[20]}})
               .toJson()
        << QByteArray(R"({"f":{"item":0,"event":"Reserved","time":"1999-01-01T00:00:00Z"},
                          "s":{"item":1,"event":"Antenna Open","time":"1999-01-02T00:10:00Z"},
                          "t":{"item":20,"event":"Reserved","time":"2000-03-31T02:30:00Z"}})");
}

void TestValuesJson::otherMessagesValues()
{
    QFETCH(QByteArray, frame);
    QFETCH(QByteArray, expected);
    // A frame of the receiver, or (the last row) JSON already taken from one.
    const QJsonObject o =
        frame.startsWith('{') ? QJsonDocument::fromJson(frame).object() : values(frame);
    const QJsonObject want = QJsonDocument::fromJson(expected).object();
    QVERIFY2(!want.isEmpty(), expected.constData());
    for (auto it = want.begin(); it != want.end(); ++it)
        QVERIFY2(o.value(it.key()) == it.value(),
                 qPrintable(it.key() + QStringLiteral(": ") +
                            QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact))));
}

void TestValuesJson::otherTypesHaveNoValues()
{
    QVERIFY(messageValuesJson(buildFrameOfType(0xB9)).isEmpty());
    QVERIFY(messageValuesJson(buildFrameOfType(0xB2, bytes({1, 2, 3, 4, 5, 6}))).isEmpty());
    QVERIFY(messageValuesJson(QByteArray()).isEmpty());
}

void TestValuesJson::fixLineHasFixedColumns()
{
    const NavigationMessage north =
        parseNavigation(navFrame({{3, {0x04}},
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
