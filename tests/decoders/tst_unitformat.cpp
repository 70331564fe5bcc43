// View, Units and the computer's time zone: positions, heights and speeds through
// each unit, local time by the computer's zone rules with TZ pinned, and the units
// as the settings file keeps them. Expected texts are worked by hand.
#include "decoders/formatters.h"
#include "decoders/unitformat.h"
#include "link/bcd.h"
#include "link/units.h"
#include "testplatform.h"

#include <QtTest>
#include <ctime>

Q_DECLARE_METATYPE(PositionFormat)

class TestUnitFormat : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase()
    {
        QLocale::setDefault(QLocale::c());
        qunsetenv("TZ");
        tzset();
    }
    void positionInEachFormat_data();
    void positionInEachFormat();
    void heightAndSpeedInEachUnit_data();
    void heightAndSpeedInEachUnit();
    void computerZoneFollowsItsRules_data();
    void computerZoneFollowsItsRules();
    void storedUnitsAndZone_data();
    void storedUnitsAndZone();
};

void TestUnitFormat::positionInEachFormat_data()
{
    QTest::addColumn<double>("scaled");
    QTest::addColumn<bool>("latitude");
    QTest::addColumn<PositionFormat>("format");
    QTest::addColumn<QString>("text");
    const auto dm = PositionFormat::DegMin, deg = PositionFormat::Degrees,
               dms = PositionFormat::DegMinSec;
    QTest::newRow("dm: the design's text") << 4722.3392 << true << dm << " 47°22.3392";
    QTest::newRow("dm: 59.99999' is cut, never 60'") << 4759.99999 << true << dm << " 47°59.9999";
    QTest::newRow("deg: north") << 4722.3392 << true << deg << "47.372320°";
    QTest::newRow("deg: south under one degree") << -22.5 << true << deg << "-0.375000°";
    QTest::newRow("deg: west") << -12230.0 << false << deg << "-122.500000°";
    QTest::newRow("deg: a southern hair of zero has no sign")
        << -0.000001 << true << deg << "0.000000°";
    QTest::newRow("deg: 59.99999' carries") << 4759.99999 << true << deg << "48.000000°";
    QTest::newRow("dms: north") << 4722.3392 << true << dms << "47°22′20.35″ N";
    QTest::newRow("dms: east") << 832.5067 << false << dms << "8°32′30.40″ E";
    QTest::newRow("dms: south") << -3312.5 << true << dms << "33°12′30.00″ S";
    QTest::newRow("dms: west under one degree") << -22.5 << false << dms << "0°22′30.00″ W";
    QTest::newRow("dms: 59.9999' is 59'59.99\"") << 4759.9999 << true << dms << "47°59′59.99″ N";
    // 22' 59.9951" and 22' 59.9949": either side of 59.995".
    QTest::newRow("dms: 59.9951\" carries into the minute")
        << 4722.99991858 << true << dms << "47°23′00.00″ N";
    QTest::newRow("dms: 59.9949\" stays") << 4722.99991582 << true << dms << "47°22′59.99″ N";
    QTest::newRow("dms: carries into the degree, west")
        << -859.99999 << false << dms << "9°00′00.00″ W";
    QTest::newRow("dms: a southern hair of zero is no hemisphere")
        << -0.000001 << true << dms << "0°00′00.00″ N";
}

void TestUnitFormat::positionInEachFormat()
{
    QFETCH(double, scaled);
    QFETCH(bool, latitude);
    QFETCH(PositionFormat, format);
    QFETCH(QString, text);
    QCOMPARE(positionText(scaled, latitude, format), text);
    // Position Scatter gives decimal degrees; the minutes-and-seconds forms agree.
    if (format != PositionFormat::DegMin)
        QCOMPARE(degreesPositionText((std::floor(std::fabs(scaled) / 100) +
                                      std::fmod(std::fabs(scaled), 100) / 60) *
                                         (scaled < 0 ? -1 : 1),
                                     latitude, format),
                 text);
}

void TestUnitFormat::heightAndSpeedInEachUnit_data()
{
    QTest::addColumn<bool>("isHeight");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("label");
    QTest::newRow("metres as the design") << true << 420.5 << 0 << "420.5"
                                          << "m";
    QTest::newRow("feet") << true << 420.0 << 1 << "1378.0 ft"
                          << "ft";
    QTest::newRow("feet below sea level") << true << -0.5 << 1 << "-1.6 ft"
                                          << "ft";
    QTest::newRow("km/h as the design") << false << 30.75 << 0 << "30.75"
                                        << "km/h";
    QTest::newRow("knots") << false << 36.0 << 1 << "19.4 kn"
                           << "kn";
    QTest::newRow("mph") << false << 36.0 << 2 << "22.4 mph"
                         << "mph";
    QTest::newRow("m/s") << false << 30.75 << 3 << "8.54 m/s"
                         << "m/s";
    QTest::newRow("m/s, a quarter km/h") << false << 0.25 << 3 << "0.07 m/s"
                                         << "m/s";
}

void TestUnitFormat::heightAndSpeedInEachUnit()
{
    QFETCH(bool, isHeight);
    QFETCH(double, value);
    QFETCH(int, unit);
    QFETCH(QString, text);
    QFETCH(QString, label);
    if (isHeight) {
        QCOMPARE(heightText(value, HeightUnit(unit)), text);
        QCOMPARE(unitLabel(HeightUnit(unit)), label);
    } else {
        QCOMPARE(speedText(value, SpeedUnit(unit)), text);
        QCOMPARE(unitLabel(SpeedUnit(unit)), label);
    }
}

void TestUnitFormat::computerZoneFollowsItsRules_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::addColumn<QDateTime>("utc");
    QTest::addColumn<int>("zoneIndex");
    QTest::addColumn<QString>("local");
    QTest::addColumn<QString>("name");
    const auto utc = [](int y, int mo, int d, int h, int mi, int s) {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
    };
    QTest::newRow("Kolkata, half an hour")
        << QByteArray("Asia/Kolkata") << utc(2026, 12, 7, 4, 57, 50) << kComputerTimeZone
        << "12/7/2026 10:27:50 AM"
        << "Asia/Kolkata, IST";
    QTest::newRow("Kolkata, into the next day")
        << QByteArray("Asia/Kolkata") << utc(2026, 12, 31, 18, 30, 1) << kComputerTimeZone
        << "1/1/2027 12:00:01 AM"
        << "Asia/Kolkata, IST";
    // Daylight saving begins on 8 March 2026 at 2:00 EST, 07:00 UTC.
    QTest::newRow("New York, last second of winter time")
        << QByteArray("America/New_York") << utc(2026, 3, 8, 6, 59, 59) << kComputerTimeZone
        << "3/8/2026 1:59:59 AM"
        << "America/New_York, EST";
    QTest::newRow("New York, first second of summer time")
        << QByteArray("America/New_York") << utc(2026, 3, 8, 7, 0, 0) << kComputerTimeZone
        << "3/8/2026 3:00:00 AM"
        << "America/New_York, EDT";
    QTest::newRow("a whole-hour index ignores TZ")
        << QByteArray("Asia/Kolkata") << utc(2026, 3, 8, 7, 0, 30) << 5 << "3/8/2026 12:00:30 AM"
        << "UTC−7";
    QTest::newRow("index 12 is UTC")
        << QByteArray("America/New_York") << utc(2026, 3, 8, 7, 0, 0) << 12 << "3/8/2026 7:00:00 AM"
        << "UTC";
    QTest::newRow("index 17") << QByteArray("America/New_York") << utc(2026, 3, 8, 7, 0, 0) << 17
                              << "3/8/2026 12:00:00 PM"
                              << "UTC+5";
}

void TestUnitFormat::computerZoneFollowsItsRules()
{
    QFETCH(QByteArray, tz);
    QFETCH(QDateTime, utc);
    QFETCH(int, zoneIndex);
    QFETCH(QString, local);
    QFETCH(QString, name);
    // The zone is read from TZ each time it is asked for, as after the user changed it.
    qputenv("TZ", tz);
    tzset();
    const QDate d = utc.date();
    const QTime t = utc.time();
    const std::array<quint8, 6> bcd = {toBcd(d.year() % 100), toBcd(d.month()),  toBcd(d.day()),
                                       toBcd(t.hour()),       toBcd(t.minute()), toBcd(t.second())};
    QCOMPARE(LocalDateTimeText(bcd, zoneIndex), local);
    QCOMPARE(timeZoneName(zoneIndex, utc), name);
}

void TestUnitFormat::storedUnitsAndZone_data()
{
    // Stored texts by key ("" leaves the key out); the units and zone read back.
    QTest::addColumn<QStringList>("stored"); // Position, Height, Speed, Zone, Computer
    QTest::addColumn<QString>("units");
    QTest::addColumn<int>("zone");
    QTest::addColumn<int>("warnings");
    QTest::newRow("nothing stored") << QStringList{"", "", "", "", ""} << "dm,m,kmh" << 5 << 0;
    QTest::newRow("as the program writes")
        << QStringList{"dms", "ft", "kn", "3", "False"} << "dms,ft,kn" << 3 << 0;
    QTest::newRow("decimal, mph") << QStringList{"deg", "m", "mph", "12", ""} << "deg,m,mph" << 12
                                  << 0;
    QTest::newRow("computer's zone keeps the index apart")
        << QStringList{"dm", "m", "ms", "3", "True"} << "dm,m,ms" << kComputerTimeZone << 0;
    QTest::newRow("bad units give way one by one")
        << QStringList{"DMS", "feet", "kn", "3", "maybe"} << "dm,m,kn" << 3 << 2;
    QTest::newRow("all bad") << QStringList{"1", " ft", "kmh,kn", "99", "0"} << "dm,m,kmh" << 5
                             << 3;
}

void TestUnitFormat::storedUnitsAndZone()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, units);
    QFETCH(int, zone);
    QFETCH(int, warnings);
    TestPlatform tp;
    const char *const keys[][2] = {{"Units", "Position"},
                                   {"Units", "Height"},
                                   {"Units", "Speed"},
                                   {"Time Zone", "Zone"},
                                   {"Time Zone", "Computer"}};
    for (int i = 0; i < 5; ++i)
        if (!stored[i].isEmpty())
            tp.settings->SaveSetting(keys[i][0], keys[i][1], stored[i]);
    for (int i = 0; i < warnings; ++i)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Units/.* none of the program's"));
    const Units read = storedUnits(*tp.settings);
    QCOMPARE(read, *unitsFromNames(units));
    QCOMPARE(storedTimeZone(*tp.settings), zone);

    // What is saved reads back the same from a store of its own.
    TestPlatform fresh;
    saveUnits(*fresh.settings, read);
    QCOMPARE(storedUnits(*fresh.settings), read);
}

QTEST_GUILESS_MAIN(TestUnitFormat)
#include "tst_unitformat.moc"
