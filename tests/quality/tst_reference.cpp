// Accuracy against a surveyed point and levels per satellite, on fixes and satellite
// messages whose answers are worked out by hand.
#include "quality/reference.h"
#include "quality/satellitelevels.h"

#include <QtTest>

#include <cmath>
#include <numbers>

namespace {

// A point `east`, `north` and `up` metres from (lat0, lon0, h0), by the ellipsoid's
// radii of curvature (WGS84): good to well under a millimetre over tens of metres, and
// independent of the ECEF conversion under test.
std::array<double, 3> offset(double lat0, double lon0, double h0, double east, double north,
                             double up)
{
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    const double phi = lat0 * std::numbers::pi / 180;
    const double w = 1 - e2 * std::sin(phi) * std::sin(phi);
    const double meridian = a * (1 - e2) / std::pow(w, 1.5);
    const double normal = a / std::sqrt(w);
    double lon = lon0 + east / ((normal + h0) * std::cos(phi)) * 180 / std::numbers::pi;
    if (lon >= 180)
        lon -= 360;
    return {lat0 + north / (meridian + h0) * 180 / std::numbers::pi, lon, h0 + up};
}

using Offsets = QList<std::array<double, 3>>;

// Four points 5 m east, north, west and south of a point 3 m east and 4 m north.
Offsets ringAboutOffsetPoint()
{
    return {{8, 4, 0}, {3, 9, 0}, {-2, 4, 0}, {3, -1, 0}};
}

LevelSample sample(qint64 ms, std::initializer_list<std::array<int, 3>> channels)
{
    // Each channel: satellite, state, level in dB; the elevation is the level plus 10.
    LevelSample s;
    s.timeMs = ms;
    std::size_t k = 0;
    for (const auto &c : channels) {
        s.number[k] = c[0];
        s.state[k] = quint8(c[1]);
        s.levelDb[k] = c[2];
        s.elevationDeg[k] = c[2] + 10;
        ++k;
    }
    return s;
}

} // namespace

class TestReference : public QObject {
    Q_OBJECT
private slots:
    void figuresAboutTheReference_data();
    void figuresAboutTheReference();
    void newReferenceMeasuresTheFixesAgain();
    void typedCoordinates_data();
    void typedCoordinates();
    void referenceOption_data();
    void referenceOption();
    void satelliteFollowedAcrossChannels();
};

void TestReference::figuresAboutTheReference_data()
{
    QTest::addColumn<double>("lat0");
    QTest::addColumn<double>("lon0");
    QTest::addColumn<bool>("withHeight");
    QTest::addColumn<Offsets>("fixes");
    // bias east, north, up; horizontal and vertical RMS; CEP50, R95.
    QTest::addColumn<QList<double>>("expected");

    QTest::newRow("10 m due north, equator")
        << 0.0 << 0.0 << true << Offsets{{0, 10, 0}} << QList<double>{0, 10, 0, 10, 0, 10, 10};
    QTest::newRow("10 m due north, 47 N")
        << 47.37 << 8.54 << true << Offsets{{0, 10, 0}} << QList<double>{0, 10, 0, 10, 0, 10, 10};
    QTest::newRow("10 m due east across the antimeridian")
        << 10.0 << 179.99995 << true << Offsets{{10, 0, 0}}
        << QList<double>{10, 0, 0, 10, 0, 10, 10};
    // Distances sqrt(80), sqrt(90), sqrt(20), sqrt(10); the RMS is sqrt(5^2 + 5^2) as the
    // ring's cross terms cancel; median (sqrt 20 + sqrt 80) / 2, R95 at rank 2.85.
    QTest::newRow("ring of 5 m about a point 3 E 4 N")
        << -33.9 << 151.2 << true << ringAboutOffsetPoint()
        << QList<double>{3,
                         4,
                         0,
                         std::sqrt(50.0),
                         0,
                         (std::sqrt(20.0) + std::sqrt(80.0)) / 2,
                         std::sqrt(80.0) + 0.85 * (std::sqrt(90.0) - std::sqrt(80.0))};
    QTest::newRow("heights 2 above and 4 below")
        << 47.37 << 8.54 << true << Offsets{{0, 0, 2}, {0, 0, -4}}
        << QList<double>{0, 0, -1, 0, std::sqrt(10.0), 0, 0};
    QTest::newRow("no reference height: horizontal alone")
        << 47.37 << 8.54 << false << Offsets{{0, 10, 30}} << QList<double>{0, 10, 0, 10, 0, 10, 10};
    QTest::newRow("near the pole") << 89.9999 << 45.0 << true << Offsets{{0, -6, 0}, {0, -8, 0}}
                                   << QList<double>{0, -7, 0, std::sqrt(50.0), 0, 7, 6 + 0.95 * 2};
}

void TestReference::figuresAboutTheReference()
{
    QFETCH(double, lat0);
    QFETCH(double, lon0);
    QFETCH(bool, withHeight);
    QFETCH(Offsets, fixes);
    QFETCH(QList<double>, expected);
    const double h0 = 420;
    ReferenceStatistics s;
    ReferencePoint point{lat0, lon0, {}};
    if (withHeight)
        point.heightM = h0;
    s.setReference(point);
    qint64 t = 0;
    for (const auto &o : fixes) {
        const auto p = offset(lat0, lon0, h0, o[0], o[1], o[2]);
        s.add(t += 1000, p[0], p[1], p[2]);
    }
    const ReferenceSummary r = s.summary();
    QCOMPARE(r.count, qint64(fixes.size()));
    QCOMPARE(r.hasVertical, withHeight);
    const double got[] = {r.biasEastM,    r.biasNorthM, r.biasUpM, r.horizontalRmsM,
                          r.verticalRmsM, r.cep50M,     r.r95M};
    const char *names[] = {"bias east",    "bias north", "bias up", "horizontal RMS",
                           "vertical RMS", "CEP50",      "R95"};
    for (int i = 0; i < 7; ++i)
        QVERIFY2(std::fabs(got[i] - expected[i]) < 0.002,
                 qPrintable(QStringLiteral("%1: %2, expected %3")
                                .arg(QLatin1String(names[i]))
                                .arg(got[i], 0, 'f', 4)
                                .arg(expected[i], 0, 'f', 4)));
}

void TestReference::newReferenceMeasuresTheFixesAgain()
{
    ReferenceStatistics s;
    const auto p = offset(47.37, 8.54, 420, 0, 10, 0);
    s.add(0, p[0], p[1], p[2]);
    QCOMPARE(s.summary().count, qint64(0)); // no reference, no figures
    s.setReference(ReferencePoint{47.37, 8.54, 420.0});
    QVERIFY(std::fabs(s.summary().biasNorthM - 10) < 0.002);
    // The reference moved 10 m north onto the fix.
    const auto moved = offset(47.37, 8.54, 420, 0, 10, 0);
    s.setReference(ReferencePoint{moved[0], moved[1], 420.0});
    QVERIFY(std::fabs(s.summary().biasNorthM) < 0.002);
    s.clear();
    QCOMPARE(s.summary().count, qint64(0));
}

void TestReference::typedCoordinates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("latitude");
    QTest::addColumn<double>("expected"); // NaN: refused
    QTest::addColumn<QString>("error");   // part of the message when refused
    const double no = std::nan("");
    QTest::newRow("decimal") << "47.3702" << true << 47.3702 << "";
    QTest::newRow("decimal negative") << "-8.5" << false << -8.5 << "";
    QTest::newRow("degrees and minutes") << "47 22.212" << true << 47 + 22.212 / 60 << "";
    QTest::newRow("marks and hemisphere")
        << "47\u00b022.212' S" << true << -(47 + 22.212 / 60) << "";
    QTest::newRow("west letter") << "8 30 W" << false << -8.5 << "";
    QTest::newRow("minus zero degrees") << "-0 30" << true << -0.5 << "";
    QTest::newRow("edge 90") << "90" << true << 90.0 << "";
    QTest::newRow("edge 180 W") << "180 W" << false << -180.0 << "";
    QTest::newRow("latitude 90.1") << "90.1" << true << no << "outside -90 to 90";
    QTest::newRow("longitude 180 0.6") << "180 0.6" << false << no << "outside -180 to 180";
    QTest::newRow("minutes 60") << "47 60" << true << no << "below 60";
    QTest::newRow("fractional degrees with minutes") << "47.5 3" << true << no << "whole degrees";
    QTest::newRow("E on a latitude") << "47 E" << true << no << "is not decimal degrees";
    QTest::newRow("words") << "north" << true << no << "is not decimal degrees";
    QTest::newRow("minus and S") << "-47 S" << true << no << "both a minus sign";
    QTest::newRow("empty") << "  " << false << no << "longitude is empty";
    QTest::newRow("three numbers") << "47 22 10" << true << no << "is not decimal degrees";
}

void TestReference::typedCoordinates()
{
    QFETCH(QString, text);
    QFETCH(bool, latitude);
    QFETCH(double, expected);
    QFETCH(QString, error);
    QString why;
    const std::optional<double> v = parseCoordinate(text, latitude, why);
    if (std::isnan(expected)) {
        QVERIFY(!v);
        QVERIFY2(why.contains(error), qPrintable(why));
    } else {
        QVERIFY2(v, qPrintable(why));
        QVERIFY(std::fabs(*v - expected) < 1e-12);
    }
}

void TestReference::referenceOption_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("withHeight");
    QTest::newRow("with height") << "47.37,8.54,420" << true << true;
    QTest::newRow("without height") << "47.37,8.54" << true << false;
    QTest::newRow("ten metres south, to the nanodegree")
        << "47.37011006,8.5417,420" << true << true;
    QTest::newRow("south and west, below the ellipsoid")
        << "-33.8688,-151.2093,-12.5" << true << true;
    QTest::newRow("one number") << "47.37" << false << false;
    QTest::newRow("four numbers") << "47.37,8.54,420,1" << false << false;
    QTest::newRow("latitude out of range") << "-90.5,8.54" << false << false;
    QTest::newRow("longitude not a number") << "47.37,east" << false << false;
    QTest::newRow("height too high") << "47.37,8.54,9001" << false << false;
    QTest::newRow("height inf") << "47.37,8.54,inf" << false << false;
}

void TestReference::referenceOption()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(bool, withHeight);
    QString error;
    const std::optional<ReferencePoint> p = parseReferenceOption(text, error);
    QCOMPARE(p.has_value(), ok);
    QCOMPARE(error.isEmpty(), ok);
    if (ok) {
        QCOMPARE(p->heightM.has_value(), withHeight);
        // What the settings keep and the tools print reads back as the same point, in
        // the digits it was given.
        QCOMPARE(parseReferenceOption(referencePointText(*p), error), p);
        QCOMPARE(referencePointText(*p), text);
    }
}

void TestReference::satelliteFollowedAcrossChannels()
{
    // Satellite 5 on channel 1, then moved to channel 4, gone for six seconds, back on
    // channel 2; satellite 9 only searched for (state 1); 12 tracked throughout.
    std::deque<LevelSample> samples = {
        sample(0, {{5, 0x0F, 20}, {12, 0x07, 10}, {}, {9, 0x01, 0}}),
        sample(1000, {{5, 0x0F, 22}, {12, 0x07, 10}, {}, {9, 0x01, 0}}),
        sample(2000, {{7, 0x03, 15}, {12, 0x07, 10}, {}, {5, 0x03, 24}}),
        sample(3000, {{7, 0x03, 15}, {12, 0x07, 10}, {}, {5, 0x0F, 26}}),
        sample(9000, {{7, 0x03, 15}, {5, 0x0F, 28}, {12, 0x07, 10}}),
        sample(10000, {{7, 0x03, 15}, {5, 0x0F, 30}, {12, 0x07, 10}}),
    };
    const auto bySat = levelsBySatellite(samples);
    QCOMPARE(bySat.count(9), std::size_t(0));
    const std::vector<SatellitePoint> &five = bySat.at(5);
    QCOMPARE(five.size(), std::size_t(6));
    const qint64 times[] = {0, 1000, 2000, 3000, 9000, 10000};
    for (std::size_t i = 0; i < 6; ++i) {
        QCOMPARE(five[i].timeMs, times[i]);
        QCOMPARE(five[i].levelDb, 20.0 + 2 * double(i));
        QCOMPARE(five[i].elevationDeg, 30.0 + 2 * double(i));
    }
    QCOMPARE(levelsBySatellite(samples, 2500).at(5).size(), std::size_t(3));

    SatelliteTracking tracking;
    for (const LevelSample &s : samples)
        tracking.add(s);
    const std::vector<SatelliteSummary> sums = tracking.summaries();
    QCOMPARE(sums.size(), std::size_t(3)); // 5, 7, 12; never 9
    // 0 to 3 s across the channel change, and 9 to 10 s; the six-second silence is no
    // tracking.
    QCOMPARE(sums[0].number, 5);
    QCOMPARE(sums[0].trackedMs, qint64(4000));
    QCOMPARE(sums[0].samples, qint64(6));
    QCOMPARE(sums[0].meanLevelDb, 25.0);
    QCOMPARE(sums[1].number, 7);
    QCOMPARE(sums[1].trackedMs, qint64(2000)); // 2 to 3 s and 9 to 10 s
    QCOMPARE(sums[2].number, 12);
    QCOMPARE(sums[2].trackedMs, qint64(4000)); // as 5: the silence counts for no one
    QCOMPARE(sums[2].meanLevelDb, 10.0);
}

QTEST_GUILESS_MAIN(TestReference)
#include "tst_reference.moc"
