#include "decoders/navstatus.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "testplatform.h"

#include <QtTest>

class TestNavStatus : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void boxesShowDecodedFields_data();
    void boxesShowDecodedFields();
    void fieldsComeInWindowOrder();
    void headingFractionIsTurnFraction_data();
    void headingFractionIsTurnFraction();
    void timeFollowsTimeZoneIndex();
    void shortFrameDecodesWithoutReadingPastIt();
};

void TestNavStatus::boxesShowDecodedFields_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("expected");

    QTest::newRow("fix high bits ignored") << navFrame({{3, {0x13}}}) << "Vality"
                                           << "2D Fix";
    QTest::newRow("fix 0") << navFrame({{3, {0x00}}}) << "Vality"
                           << "0 Sats";
    QTest::newRow("fix 1") << navFrame({{3, {0x01}}}) << "Vality"
                           << "1 Sat";
    QTest::newRow("fix 2") << navFrame({{3, {0x02}}}) << "Vality"
                           << "2 Sats";
    QTest::newRow("fix 4") << navFrame({{3, {0x04}}}) << "Vality"
                           << "3D Fix";
    QTest::newRow("fix 5 invalid") << navFrame({{3, {0x05}}}) << "Vality"
                                   << "InValid 5";
    QTest::newRow("fix 15 invalid") << navFrame({{3, {0x0F}}}) << "Vality"
                                    << "InValid 15";
    QTest::newRow("latitude north") << navFrame({{4, {0x00, 0xA0, 0x00, 0x00}}}) << "CurLat"
                                    << " 11°37.7777";
    QTest::newRow("latitude south") << navFrame({{4, {0xFF, 0x60, 0x00, 0x00}}}) << "CurLat"
                                    << "-11°37.7777";
    QTest::newRow("longitude west") << navFrame({{8, {0xFF, 0x60, 0x00, 0x00}}}) << "CurLon"
                                    << "-11°37.7777";
    QTest::newRow("latitude zero") << navFrame({}) << "CurLat"
                                   << " 0°00";
    QTest::newRow("longitude zero") << navFrame({}) << "CurLon"
                                    << " 0°00";
    QTest::newRow("latitude half a degree south")
        << navFrame({{4, {0xFF, 0xFB, 0xC8, 0x00}}}) << "CurLat"
        << "-0°30";
    QTest::newRow("longitude 0.375 degrees east")
        << navFrame({{8, {0x00, 0x03, 0x2A, 0x00}}}) << "CurLon"
        << " 0°22.5";
    QTest::newRow("latitude within a minute")
        << navFrame({{4, {0xFF, 0xFF, 0xFF, 0xFF}}}) << "CurLat"
        << "-0°00.0001";
    QTest::newRow("height 200") << navFrame({{12, {0x01, 0x90}}}) << "CurHeight"
                                << "200";
    QTest::newRow("height -0.5") << navFrame({{12, {0xFF, 0xFF}}}) << "CurHeight"
                                 << "-0.5";
    QTest::newRow("height zero") << navFrame({}) << "CurHeight"
                                 << "0";
    QTest::newRow("heading 90") << navFrame({{16, {0x01, 0x00}}}) << "CurHead"
                                << "90";
    QTest::newRow("heading 1023") << navFrame({{16, {0x03, 0xFF}}}) << "CurHead"
                                  << "359.6484375";
    QTest::newRow("heading zero") << navFrame({}) << "CurHead"
                                  << "0";
    QTest::newRow("heading negative") << navFrame({{16, {0xFF, 0x00}}}) << "CurHead"
                                      << "-90";
    QTest::newRow("speed 0123") << navFrame({{19, {0x01, 0x23}}}) << "CurSpeed"
                                << "30.75";
    QTest::newRow("speed 0004") << navFrame({{19, {0x00, 0x04}}}) << "CurSpeed"
                                << "1";
    QTest::newRow("speed 9999") << navFrame({{19, {0x99, 0x99}}}) << "CurSpeed"
                                << "2499.75";
    QTest::newRow("speed bad digit stops the number")
        << navFrame({{19, {0x12, 0xA4}}}) << "CurSpeed"
        << "3";
    QTest::newRow("time at -7 hours")
        << navFrame({{25, {0x99, 0x12, 0x31, 0x23, 0x59, 0x59}}}) << "TimeDate"
        << "12/31/1999 4:59:59 PM";
    QTest::newRow("sats zero") << navFrame({}) << "Sats"
                               << "0";
    QTest::newRow("sats 12") << navFrame({{33, {12}}}) << "Sats"
                             << "12";
    QTest::newRow("sats 255") << navFrame({{33, {255}}}) << "Sats"
                              << "255";
}

void TestNavStatus::boxesShowDecodedFields()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, box);
    QFETCH(QString, expected);
    QCOMPARE(fieldText(decodeNavStatus(frame, 5).fields, box), expected);
}

void TestNavStatus::fieldsComeInWindowOrder()
{
    const NavStatus s = decodeNavStatus(navFrame({}), 5);
    QStringList names;
    for (const Field &f : s.fields)
        names << f.name;
    QCOMPARE(names, (QStringList{"Vality", "CurLat", "CurLon", "CurHeight", "CurHead", "CurSpeed",
                                 "TimeDate", "Sats"}));
}

void TestNavStatus::headingFractionIsTurnFraction_data()
{
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("low");
    QTest::addColumn<double>("fraction");
    QTest::newRow("north") << 0x00 << 0x00 << 0.0;
    QTest::newRow("east") << 0x01 << 0x00 << 0.25;
    QTest::newRow("south") << 0x02 << 0x00 << 0.5;
    QTest::newRow("one unit short of a turn") << 0x03 << 0xFF << 1023 / 1024.0;
    QTest::newRow("negative is signed") << 0xFF << 0x00 << -0.25;
}

void TestNavStatus::headingFractionIsTurnFraction()
{
    QFETCH(int, high);
    QFETCH(int, low);
    QFETCH(double, fraction);
    QCOMPARE(decodeNavStatus(navFrame({{16, {high, low}}}), 5).headingFraction, fraction);
}

void TestNavStatus::timeFollowsTimeZoneIndex()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray loaded = navFrame({{25, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00}}});
    g.TimeZoneIndex = 12;
    QCOMPARE(fieldText(decodeNavStatus(loaded, g.TimeZoneIndex).fields, "TimeDate"), "11/30/1999");
    g.TimeZoneIndex = 5;
    QCOMPARE(fieldText(decodeNavStatus(loaded, g.TimeZoneIndex).fields, "TimeDate"),
             "11/29/1999 5:00:00 PM");
}

void TestNavStatus::shortFrameDecodesWithoutReadingPastIt()
{
    const QByteArray cut = navFrame({{33, {9}}, {3, {4}}}).left(10);
    const NavStatus s = decodeNavStatus(cut, 12);
    QCOMPARE(fieldText(s.fields, "Vality"), "3D Fix");
    QCOMPARE(fieldText(s.fields, "Sats"), "0");
    QCOMPARE(s.fields.size(), 8);
}

QTEST_GUILESS_MAIN(TestNavStatus)
#include "tst_navstatus.moc"
