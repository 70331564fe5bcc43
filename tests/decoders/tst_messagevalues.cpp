#include "decoders/messagevalues.h"
#include "framebuilder.h"

#include <QtTest>

class TestMessageValues : public QObject {
    Q_OBJECT
private slots:
    void navigationValuesInUnits_data();
    void navigationValuesInUnits();
    void conditionCoordinatesAndHeight_data();
    void conditionCoordinatesAndHeight();
    void modeSettings_data();
    void modeSettings();
};

void TestMessageValues::navigationValuesInUnits_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<double>("latitudeDeg");
    QTest::addColumn<double>("longitudeDeg");
    QTest::addColumn<double>("heightM");
    QTest::addColumn<double>("headingDeg");
    QTest::addColumn<double>("speedKmh");
    QTest::addColumn<double>("hdop");
    QTest::addColumn<int>("satellitesUsed");
    QTest::addColumn<QList<int>>("utc"); // year, month, day, hour, minute, second

    // 4722.5 and 832.5 scaled by 9216: 47°22.5' and 8°32.5'.
    QTest::newRow("north and east")
        << navFrame({{4, {0x02, 0x98, 0x1A, 0x00, 0x00, 0x75, 0x12, 0x00}},
                     {12, {0x01, 0x2C}},
                     {16, {0x01, 0x00}},
                     {19, {0x01, 0x23}},
                     {25, {0x99, 0x12, 0x31, 0x23, 0x59, 0x58}},
                     {31, {5}},
                     {33, {7}}})
        << 47.375 << 8.541666666666666 << 150.0 << 90.0 << 30.75 << 1.0 << 7
        << QList<int>{99, 12, 31, 23, 59, 58};
    QTest::newRow("south and west")
        << navFrame({{4, {0xFD, 0x67, 0xE6, 0x00, 0xFF, 0x8A, 0xEE, 0x00}},
                     {12, {0xFF, 0x38}},
                     {16, {0xFF, 0x00}}})
        << -47.375 << -8.541666666666666 << -100.0 << -90.0 << 0.0 << 0.0 << 0
        << QList<int>{0, 0, 0, 0, 0, 0};
    // Thirty minutes south of the equator, three quarters of a minute east of Greenwich.
    QTest::newRow("under one degree")
        << navFrame({{4, {0xFF, 0xFB, 0xC8, 0x00, 0x00, 0x00, 0x1B, 0x00}}}) << -0.5 << 0.0125
        << 0.0 << 0.0 << 0.0 << 0.0 << 0 << QList<int>{0, 0, 0, 0, 0, 0};
    QTest::newRow("largest of each field")
        << navFrame({{4, {0x7F, 0xFF, 0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}},
                     {12, {0x7F, 0xFF}},
                     {16, {0x7F, 0xFF}},
                     {19, {0x99, 0x99}},
                     {25, {0x99, 0x99, 0x99, 0x99, 0x99, 0x99}},
                     {31, {0xFF}},
                     {33, {0xFF}}})
        << 2330.281479673032 << -2330.2814814814815 << 16383.5 << 11519.6484375 << 2499.75 << 51.0
        << 255 << QList<int>{99, 99, 99, 99, 99, 99};
    // A nibble above 9 is a flag, not a digit: the number ends before it.
    QTest::newRow("smallest of each field, flag nibbles")
        << navFrame({{12, {0x80, 0x00}},
                     {16, {0x80, 0x00}},
                     {19, {0x1A, 0x99}},
                     {25, {0x5A, 0xA5, 0x00, 0x00, 0x00, 0x00}}})
        << 0.0 << 0.0 << -16384.0 << -11520.0 << 0.25 << 0.0 << 0 << QList<int>{5, 0, 0, 0, 0, 0};
    QTest::newRow("frame cut inside the longitude")
        << navFrame({{4, {0x02, 0x98, 0x1A, 0x00, 0x00, 0x75, 0x12, 0x00}}, {33, {7}}}).left(9)
        << 47.375 << 8.533333333333333 << 0.0 << 0.0 << 0.0 << 0.0 << 0
        << QList<int>{0, 0, 0, 0, 0, 0};
}

void TestMessageValues::navigationValuesInUnits()
{
    QFETCH(QByteArray, frame);
    const NavigationMessage m = parseNavigation(frame);
    QTEST(m.latitudeDeg, "latitudeDeg");
    QTEST(m.longitudeDeg, "longitudeDeg");
    QTEST(m.heightM, "heightM");
    QTEST(m.headingDeg, "headingDeg");
    QTEST(m.speedKmh, "speedKmh");
    QTEST(m.hdop, "hdop");
    QTEST(m.satellitesUsed, "satellitesUsed");
    QTEST((QList<int>{m.utc.year, m.utc.month, m.utc.day, m.utc.hour, m.utc.minute, m.utc.second}),
          "utc");
}

namespace {
// A frame of `length` bytes, zero but for the given bytes at their 1-based positions.
QByteArray frameWith(int length, std::initializer_list<std::pair<int, quint8>> bytes)
{
    QByteArray f(length, '\0');
    for (const auto &[position, value] : bytes)
        f[position - 1] = char(value);
    return f;
}
} // namespace

void TestMessageValues::conditionCoordinatesAndHeight_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<double>("lonDeg");
    QTest::addColumn<double>("latDeg");
    QTest::addColumn<int>("heightM");
    // Longitude bytes 9-12, latitude 15-18 (flag byte, then degrees), height 6-8.
    QTest::newRow("east north, hundreds digit") << frameWith(46, {{9, 0xA1},
                                                                  {10, 0x39},
                                                                  {11, 0x45},
                                                                  {12, 0x36},
                                                                  {15, 0xA0},
                                                                  {16, 0x35},
                                                                  {17, 0x30},
                                                                  {6, 0xAA},
                                                                  {7, 0x01},
                                                                  {8, 0x23}})
                                                << 139 + 45 / 60.0 + 36 / 3600.0 << 35.5 << 123;
    QTest::newRow("west south, under one degree, minus height") << frameWith(46, {{9, 0x00},
                                                                                  {10, 0x00},
                                                                                  {11, 0x30},
                                                                                  {12, 0x00},
                                                                                  {15, 0x00},
                                                                                  {16, 0x00},
                                                                                  {17, 0x00},
                                                                                  {18, 0x36},
                                                                                  {6, 0x00},
                                                                                  {7, 0x99},
                                                                                  {8, 0x99}})
                                                                << -0.5 << -0.01 << -9999;
    // A nibble that is no digit ends the number there, as everywhere in the program.
    QTest::newRow("no digit in the hundreds")
        << frameWith(46, {{9, 0xAF}, {10, 0x12}, {15, 0xA9}, {16, 0x9A}, {6, 0xAB}, {7, 0x1F}})
        << 0.0 << 9.0 << -1;
}

void TestMessageValues::conditionCoordinatesAndHeight()
{
    QFETCH(QByteArray, frame);
    const ConditionMessage m = parseCondition(frame);
    QTEST(m.longitude.degreesDecimal, "lonDeg");
    QTEST(m.latitude.degreesDecimal, "latDeg");
    QTEST(m.heightM, "heightM");
}

void TestMessageValues::modeSettings_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QList<double>>(
        "values");                           // fix mode, elevation, signal, PDOP, smoothing, height
    QTest::addColumn<QList<bool>>("search"); // search mode, finished
    QTest::newRow("all zero") << frameWith(12, {}) << QList<double>{0, 0, 0, 5, 2, 0}
                              << QList<bool>{true, true};
    QTest::newRow("extremes")
        << frameWith(12, {{3, 0xFF}, {4, 90}, {5, 255}, {6, 7}, {7, 0xC3}, {8, 0x99}, {9, 0x99}})
        << QList<double>{255, 90, 51, 20, 0, 4999.5} << QList<bool>{false, false};
}

void TestMessageValues::modeSettings()
{
    QFETCH(QByteArray, frame);
    const ModeMessage m = parseMode(frame);
    QTEST((QList<double>{double(m.fixModeRaw), double(m.minElevationDeg), m.minSignalDb,
                         double(m.pdopLimit), double(m.smoothingS), m.heightM}),
          "values");
    QTEST((QList<bool>{m.searchMode, m.searchFinished}), "search");
}

QTEST_GUILESS_MAIN(TestMessageValues)
#include "tst_messagevalues.moc"
