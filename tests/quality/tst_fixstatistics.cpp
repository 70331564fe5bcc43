// The accuracy figures, the time to first fix and the history on clouds and streams whose
// answers are known by hand.
#include "decoders/framedecode.h"
#include "decoders/messagevalues.h"
#include "framebuilder.h"
#include "quality/fixstatistics.h"
#include "quality/reference.h"
#include "recording/recording.h"

#include <GeographicLib/LocalCartesian.hpp>

#include <QFile>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTolM = 1e-6;

// Positions at east/north metres about a centre, made with the same LocalCartesian
// the statistics use, on the tangent plane (up 0).
void addAround(PositionStatistics &s, double lat0, double lon0, double h0,
               const QList<QPointF> &eastNorth)
{
    const GeographicLib::LocalCartesian lc(lat0, lon0, h0);
    for (const QPointF &p : eastNorth) {
        double lat = 0, lon = 0, h = 0;
        lc.Reverse(p.x(), p.y(), 0, lat, lon, h);
        s.add(lat, lon, h);
    }
}

QList<QPointF> ring(double radius, int n)
{
    QList<QPointF> points;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * i / n;
        points.append({radius * std::cos(a), radius * std::sin(a)});
    }
    return points;
}

// Longitude difference folded into -180..180.
double lonDiff(double a, double b)
{
    return std::remainder(a - b, 360.0);
}

using Positions = std::vector<std::array<double, 3>>; // latitude, longitude, height

Positions around(double lat0, double lon0, double h0, const QList<QPointF> &eastNorth)
{
    const GeographicLib::LocalCartesian lc(lat0, lon0, h0);
    Positions out;
    for (const QPointF &p : eastNorth) {
        double lat = 0, lon = 0, h = 0;
        lc.Reverse(p.x(), p.y(), 0, lat, lon, h);
        out.push_back({lat, lon, h});
    }
    return out;
}

// A walk of `n` steps of up to a metre each way from a start, drifting east: the mean
// wanders kilometres from the first position, far from where the first frame is level.
Positions randomWalk(int n, quint32 seed)
{
    QRandomGenerator rng(seed);
    const GeographicLib::LocalCartesian lc(47.37, 8.54, 420);
    Positions out;
    double e = 0, no = 0, up = 0;
    for (int i = 0; i < n; ++i) {
        e += rng.bounded(2.0) - 0.9;
        no += rng.bounded(2.0) - 1.0;
        up += rng.bounded(0.2) - 0.1;
        double lat = 0, lon = 0, h = 0;
        lc.Reverse(e, no, up, lat, lon, h);
        out.push_back({lat, lon, h});
    }
    return out;
}

// The figures in one pass over all positions, as a reader with the whole list works
// them out: mean vector, the frame there, every distance, percentiles from a full sort.
PositionSummary onePass(const Positions &positions)
{
    PositionSummary s;
    s.count = qint64(positions.size());
    if (positions.empty())
        return s;
    const GeographicLib::LocalCartesian lc(positions[0][0], positions[0][1], positions[0][2]);
    std::vector<std::array<double, 3>> v;
    double mx = 0, my = 0, mz = 0, hs = 0;
    for (const auto &p : positions) {
        std::array<double, 3> c{};
        lc.Forward(p[0], p[1], p[2], c[0], c[1], c[2]);
        v.push_back(c);
        mx += c[0];
        my += c[1];
        mz += c[2];
        hs += p[2];
    }
    const double n = double(positions.size());
    mx /= n, my /= n, mz /= n;
    std::vector<double> M(9);
    double h = 0;
    lc.Reverse(mx, my, mz, s.meanLatitudeDeg, s.meanLongitudeDeg, h, M);
    s.meanHeightM = hs / n;
    double hv = 0;
    for (const auto &p : positions)
        hv += (p[2] - s.meanHeightM) * (p[2] - s.meanHeightM);
    s.heightStdM = std::sqrt(hv / n);
    std::vector<double> d;
    double squares = 0;
    for (const auto &c : v) {
        const double dx = c[0] - mx, dy = c[1] - my, dz = c[2] - mz;
        const double e = M[0] * dx + M[3] * dy + M[6] * dz;
        const double no = M[1] * dx + M[4] * dy + M[7] * dz;
        squares += e * e + no * no;
        d.push_back(std::hypot(e, no));
        s.farthestM = std::max({s.farthestM, std::fabs(e), std::fabs(no)});
    }
    s.drms2M = 2 * std::sqrt(squares / n);
    std::sort(d.begin(), d.end());
    const auto rank = [&](double p) {
        const double at = (n - 1) * p;
        const auto k = std::size_t(at);
        return k + 1 < d.size() ? d[k] + (at - double(k)) * (d[k + 1] - d[k]) : d[k];
    };
    s.cep50M = rank(0.5);
    s.r95M = rank(0.95);
    return s;
}

bool near(double a, double b)
{
    return std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b)) ||
           std::fabs(a - b) < 1e-12; // both nought but for rounding
}

} // namespace

Q_DECLARE_METATYPE(Positions)

class TestFixStatistics : public QObject {
    Q_OBJECT
private slots:
    void percentileIsLinearBetweenRanks();
    void ringOfKnownRadius();
    void singlePoint();
    void lineOfPoints();
    void acrossTheAntimeridian();
    void nearThePole();
    void heightMeanAndStdDev();
    void clearStartsAgain();
    void hundredThousandFixesAreQuick();
    void incrementalFiguresEqualOnePass_data();
    void incrementalFiguresEqualOnePass();
    void fixCountsByKind();
    void ttffRunsAndText();
    void ttffRunTexts_data();
    void ttffRunTexts();
    void ttffFromRecordedStart();
    void coldStartAcknowledgementStartsRun();
    void historyKeepsTenMinutes();
    void positionsOffTheEarthAreLeftOut_data();
    void positionsOffTheEarthAreLeftOut();
};

void TestFixStatistics::percentileIsLinearBetweenRanks()
{
    std::vector<double> v{5, 1, 4, 2, 3};
    QCOMPARE(percentile(v, 0.5), 3.0);
    v = {4, 1, 3, 2};
    QCOMPARE(percentile(v, 0.5), 2.5); // between 2 and 3
    v = {10, 0};
    QCOMPARE(percentile(v, 0.95), 9.5);
    v = {7};
    QCOMPARE(percentile(v, 0.95), 7.0);
    v.clear();
    QCOMPARE(percentile(v, 0.5), 0.0);
    // 1..20: h = 19 * 0.95 = 18.05, between 19 and 20.
    v.clear();
    for (int i = 20; i >= 1; --i)
        v.push_back(i);
    QVERIFY(std::fabs(percentile(v, 0.95) - 19.05) < 1e-12);
}

void TestFixStatistics::ringOfKnownRadius()
{
    PositionStatistics s;
    addAround(s, 47.37, 8.54, 420, ring(10.0, 36));
    const PositionSummary &r = s.summary();
    QCOMPARE(r.count, qint64(36));
    // Every point 10 m from the centre, which is the mean.
    QVERIFY2(std::fabs(r.cep50M - 10.0) < kTolM, qPrintable(QString::number(r.cep50M, 'g', 17)));
    QVERIFY(std::fabs(r.drms2M - 20.0) < kTolM);
    QVERIFY(std::fabs(r.r95M - 10.0) < kTolM);
    QVERIFY(std::fabs(r.meanLatitudeDeg - 47.37) < 1e-10);
    QVERIFY(std::fabs(r.meanLongitudeDeg - 8.54) < 1e-10);
    // The points in metres about the mean are the ring again.
    const auto &en = s.eastNorth();
    QCOMPARE(en.size(), std::size_t(36));
    QVERIFY(std::fabs(en[0].east - 10.0) < kTolM && std::fabs(en[0].north) < kTolM);
    QVERIFY(std::fabs(en[9].east) < kTolM && std::fabs(en[9].north - 10.0) < kTolM);
    // Another position (a 2D fix) in the same metres: 30 m west, 40 m south of the centre.
    const GeographicLib::LocalCartesian lc(47.37, 8.54, 420);
    double lat = 0, lon = 0, h = 0;
    lc.Reverse(-30, -40, 0, lat, lon, h);
    const EastNorth other = s.eastNorthOf(lat, lon, h);
    QVERIFY(std::fabs(other.east + 30) < kTolM && std::fabs(other.north + 40) < kTolM);
    PositionStatistics empty;
    QCOMPARE(empty.eastNorthOf(lat, lon, h).east, 0.0);
}

void TestFixStatistics::singlePoint()
{
    PositionStatistics s;
    s.add(-33.9, 151.2, 12.5);
    const PositionSummary &r = s.summary();
    QCOMPARE(r.count, qint64(1));
    QCOMPARE(r.cep50M, 0.0);
    QCOMPARE(r.drms2M, 0.0);
    QCOMPARE(r.r95M, 0.0);
    QCOMPARE(r.heightStdM, 0.0);
    QCOMPARE(r.meanHeightM, 12.5);
    QVERIFY(std::fabs(r.meanLatitudeDeg + 33.9) < 1e-12);
    QVERIFY(std::fabs(r.meanLongitudeDeg - 151.2) < 1e-12);
}

void TestFixStatistics::lineOfPoints()
{
    // East -2, -1, 0, 1, 2 m: distances 2 1 0 1 2 from the mean, sorted 0 1 1 2 2.
    PositionStatistics s;
    addAround(s, 10, 20, 0, {{-2, 0}, {-1, 0}, {0, 0}, {1, 0}, {2, 0}});
    const PositionSummary &r = s.summary();
    QVERIFY(std::fabs(r.cep50M - 1.0) < kTolM);
    // 2 * sqrt((4 + 1 + 0 + 1 + 4) / 5) = 2 sqrt 2
    QVERIFY(std::fabs(r.drms2M - 2.0 * std::sqrt(2.0)) < kTolM);
    // h = 4 * 0.95 = 3.8 between 2 and 2.
    QVERIFY(std::fabs(r.r95M - 2.0) < kTolM);
    // A north line of four: distances 1.5 0.5 0.5 1.5; median 1, R95 at h = 2.85: 1.5.
    PositionStatistics t;
    addAround(t, 10, 20, 0, {{0, -1.5}, {0, -0.5}, {0, 0.5}, {0, 1.5}});
    QVERIFY(std::fabs(t.summary().cep50M - 1.0) < kTolM);
    QVERIFY(std::fabs(t.summary().r95M - 1.5) < kTolM);
    QVERIFY(std::fabs(t.summary().drms2M - 2.0 * std::sqrt(1.25)) < kTolM);
}

void TestFixStatistics::acrossTheAntimeridian()
{
    // A ring about 180°: half its points have longitudes near +180, half near -180.
    // An average of longitudes would put the mean near 0°, half the world away.
    PositionStatistics s;
    addAround(s, -16.5, 180.0, 5, ring(25.0, 40));
    const PositionSummary &r = s.summary();
    QVERIFY2(std::fabs(lonDiff(r.meanLongitudeDeg, 180.0)) < 1e-9,
             qPrintable(QString::number(r.meanLongitudeDeg, 'g', 17)));
    QVERIFY(std::fabs(r.meanLatitudeDeg + 16.5) < 1e-9);
    QVERIFY(std::fabs(r.cep50M - 25.0) < kTolM);
    QVERIFY(std::fabs(r.drms2M - 50.0) < kTolM);
    QVERIFY(std::fabs(r.r95M - 25.0) < kTolM);
    // And off centre: a line of points on both sides of the meridian, mean on it.
    PositionStatistics t;
    addAround(t, 0, 179.9999, 0, {{0, 0}, {22.26, 0}}); // about 0.0002° apart at the equator
    QVERIFY(std::fabs(t.summary().cep50M - 11.13) < kTolM);
    QVERIFY(std::fabs(lonDiff(t.summary().meanLongitudeDeg, 180.0)) < 1e-5);
}

void TestFixStatistics::nearThePole()
{
    // 20 m about a point 10 m from the north pole: the ring crosses the pole, its
    // longitudes cover every direction.
    PositionStatistics s;
    addAround(s, 89.99991, 45, 0, ring(20.0, 24));
    const PositionSummary &r = s.summary();
    QVERIFY(std::fabs(r.cep50M - 20.0) < kTolM);
    QVERIFY(std::fabs(r.drms2M - 40.0) < kTolM);
    QVERIFY(std::fabs(r.meanLatitudeDeg - 89.99991) < 1e-9);
    QVERIFY(std::fabs(lonDiff(r.meanLongitudeDeg, 45)) < 1e-4);
    // A cloud about the pole itself.
    PositionStatistics p;
    addAround(p, 90, 0, 0, ring(3.0, 8));
    QVERIFY(std::fabs(p.summary().cep50M - 3.0) < kTolM);
    QVERIFY(std::fabs(p.summary().meanLatitudeDeg - 90) < 1e-9);
}

void TestFixStatistics::heightMeanAndStdDev()
{
    PositionStatistics s;
    for (double h : {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0})
        s.add(1, 2, h);
    QCOMPARE(s.summary().meanHeightM, 5.0);
    QVERIFY(std::fabs(s.summary().heightStdM - 2.0) < 1e-12); // population std dev
}

void TestFixStatistics::clearStartsAgain()
{
    PositionStatistics s;
    addAround(s, 47, 8, 0, ring(5, 10));
    QCOMPARE(s.count(), qint64(10));
    s.clear();
    QCOMPARE(s.count(), qint64(0));
    QCOMPARE(s.summary().count, qint64(0));
    QVERIFY(s.eastNorth().empty());
    s.add(-10, -20, 3);
    QVERIFY(std::fabs(s.summary().meanLatitudeDeg + 10) < 1e-12);
    QCOMPARE(s.summary().cep50M, 0.0);
}

void TestFixStatistics::hundredThousandFixesAreQuick()
{
    // How quick is bench_fixstatistics' question; here, that a summary after one more fix
    // counts them all.
    PositionStatistics s;
    for (int i = 0; i < 100000; ++i)
        s.add(47.37 + 1e-5 * std::sin(i), 8.54 + 1e-5 * std::cos(i * 1.3), 420 + (i % 7));
    s.summary();
    s.add(47.37, 8.54, 420);
    const PositionSummary &r = s.summary();
    QVERIFY(r.count == 100001);
}

void TestFixStatistics::incrementalFiguresEqualOnePass_data()
{
    QTest::addColumn<Positions>("positions");
    QTest::addColumn<int>("every");    // compared after every so many positions and at the end
    QTest::addColumn<int>("capacity"); // positions kept, the newest; 0 keeps all
    QTest::newRow("ring") << around(47.37, 8.54, 420, ring(10.0, 36)) << 1 << 0;
    QTest::newRow("single point") << Positions{{-33.9, 151.2, 12.5}} << 1 << 0;
    QTest::newRow("east line") << around(10, 20, 0, {{-2, 0}, {-1, 0}, {0, 0}, {1, 0}, {2, 0}}) << 1
                               << 0;
    QTest::newRow("north line") << around(10, 20, 0, {{0, -1.5}, {0, -0.5}, {0, 0.5}, {0, 1.5}})
                                << 1 << 0;
    QTest::newRow("across the antimeridian") << around(-16.5, 180.0, 5, ring(25.0, 40)) << 1 << 0;
    QTest::newRow("pair across the antimeridian")
        << around(0, 179.9999, 0, {{0, 0}, {22.26, 0}}) << 1 << 0;
    QTest::newRow("near the pole") << around(89.99991, 45, 0, ring(20.0, 24)) << 1 << 0;
    QTest::newRow("about the pole") << around(90, 0, 0, ring(3.0, 8)) << 1 << 0;
    Positions heights;
    for (double h : {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0})
        heights.push_back({1, 2, h});
    QTest::newRow("heights") << heights << 1 << 0;
    QTest::newRow("outlier first, then a tight cloud")
        << around(47.37, 8.54, 420, QList<QPointF>{{1000, -800}} + ring(0.5, 50)) << 1 << 0;
    QTest::newRow("long random walk") << randomWalk(100000, 29) << 19997 << 0;
    // Kept positions only: the oldest taken out of the running sums as it goes.
    QTest::newRow("ring, ten kept") << around(47.37, 8.54, 420, ring(10.0, 36)) << 1 << 10;
    QTest::newRow("one kept") << around(10, 20, 0, {{-2, 0}, {-1, 3}, {5, 0}}) << 1 << 1;
    QTest::newRow("heights, three kept") << heights << 1 << 3;
    QTest::newRow("outlier dropped from a tight cloud")
        << around(47.37, 8.54, 420, QList<QPointF>{{1000, -800}} + ring(0.5, 50)) << 1 << 50;
    QTest::newRow("across the antimeridian, twelve kept")
        << around(-16.5, 180.0, 5, ring(25.0, 40)) << 1 << 12;
    QTest::newRow("long random walk, 1000 kept") << randomWalk(100000, 29) << 19997 << 1000;
}

void TestFixStatistics::incrementalFiguresEqualOnePass()
{
    QFETCH(Positions, positions);
    QFETCH(int, every);
    QFETCH(int, capacity);
    PositionStatistics s{std::size_t(capacity)};
    for (std::size_t i = 0; i < positions.size(); ++i) {
        s.add(positions[i][0], positions[i][1], positions[i][2]);
        if ((i + 1) % std::size_t(every) != 0 && i + 1 != positions.size())
            continue;
        const std::size_t from =
            capacity > 0 && i + 1 > std::size_t(capacity) ? i + 1 - std::size_t(capacity) : 0;
        const Positions so_far(positions.begin() + std::ptrdiff_t(from),
                               positions.begin() + std::ptrdiff_t(i + 1));
        const PositionSummary want = onePass(so_far);
        const PositionSummary &got = s.summary();
        const QString at = QStringLiteral("after %1").arg(i + 1);
        QCOMPARE(got.count, want.count);
        QCOMPARE(s.dropped(), quint64(from));
        const struct {
            const char *name;
            double got, want;
        } figures[] = {{"CEP50", got.cep50M, want.cep50M},
                       {"2DRMS", got.drms2M, want.drms2M},
                       {"R95", got.r95M, want.r95M},
                       {"farthest", got.farthestM, want.farthestM},
                       {"mean latitude", got.meanLatitudeDeg, want.meanLatitudeDeg},
                       {"mean longitude", lonDiff(got.meanLongitudeDeg, want.meanLongitudeDeg), 0},
                       {"mean height", got.meanHeightM, want.meanHeightM},
                       {"height std", got.heightStdM, want.heightStdM}};
        for (const auto &f : figures)
            // Below 10 nm (or 1e-8°) is the rounding of the positions themselves.
            QVERIFY2(near(f.got, f.want) || std::fabs(f.got - f.want) < 1e-8,
                     qPrintable(QStringLiteral("%1 %2: %3, one pass %4")
                                    .arg(at, QLatin1String(f.name))
                                    .arg(f.got, 0, 'g', 17)
                                    .arg(f.want, 0, 'g', 17)));
    }
}

void TestFixStatistics::fixCountsByKind()
{
    FixCounts c;
    for (int fix : {0, 1, 2, 3, 3, 4, 4, 4, 7})
        c.add(fix);
    QCOMPARE(c.navigation, qint64(9));
    QCOMPARE(c.none, qint64(3));
    QCOMPARE(c.twoD, qint64(2));
    QCOMPARE(c.threeD, qint64(3));
    QCOMPARE(c.invalid, qint64(1));
}

void TestFixStatistics::ttffRunsAndText()
{
    TtffTracker t;
    QCOMPARE(t.text(0), QString());
    t.start(1000, TtffStart::PortOpened);
    t.navigation(2000, 0);
    QCOMPARE(t.text(9000), QStringLiteral("TTFF: no fix for 8.0 s after port opened"));
    t.navigation(13000, 3);
    QCOMPARE(t.text(14000), QStringLiteral("TTFF 2D 12.0 s, no 3D fix yet"));
    t.navigation(16000, 4);
    t.navigation(17000, 3); // later fixes change nothing
    QCOMPARE(t.text(18000), QStringLiteral("TTFF 2D 12.0 s, 3D 15.0 s"));
    // A first fix that is 3D at once is the first 2D one too.
    t.start(20000, TtffStart::ColdStart);
    t.navigation(25500, 4);
    QCOMPARE(*t.current()->to2DMs, qint64(5500));
    QCOMPARE(*t.current()->to3DMs, qint64(5500));
    QCOMPARE(t.runs().size(), std::size_t(2));
    for (int i = 0; i < 20; ++i)
        t.start(30000 + i, TtffStart::SystemReset);
    QCOMPARE(t.runs().size(), std::size_t(TtffTracker::kKeptRuns));
}

void TestFixStatistics::ttffRunTexts_data()
{
    // Events, ";" apart: "open MS", "cold MS", "nav MS FIX", "back MS" (the data's time
    // went back, as a replay moved back). Then the status line at `nowMs`, the History
    // table's 2D and 3D cells of the current run, and how many runs are kept.
    QTest::addColumn<QString>("events");
    QTest::addColumn<qint64>("nowMs");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("cell2D");
    QTest::addColumn<QString>("cell3D");
    QTest::addColumn<int>("runs");
    const QString none = QStringLiteral("\u2013");
    const QString atStart = QStringLiteral("fix at start");
    QTest::newRow("acquiring") << "open 1000; nav 2000 0; nav 13000 3; nav 16000 4" << qint64(20000)
                               << "TTFF 2D 12.0 s, 3D 15.0 s"
                               << "12.0"
                               << "15.0" << 1;
    QTest::newRow("3D in the first message") << "open 0; nav 52 4; nav 1052 4" << qint64(2000)
                                             << "TTFF: fix at start" << atStart << atStart << 1;
    QTest::newRow("2D in the first message, 3D later")
        << "open 0; nav 52 3; nav 5000 4" << qint64(6000) << "TTFF: fix at start, 3D 5.0 s"
        << atStart << "5.0" << 1;
    QTest::newRow("2D in the first message, no 3D yet")
        << "open 0; nav 52 3" << qint64(6000) << "TTFF: fix at start, no 3D fix yet" << atStart
        << none << 1;
    QTest::newRow("a fix in the second message of the same moment is acquired")
        << "open 0; nav 1000 0; nav 1000 4" << qint64(2000) << "TTFF 2D 1.0 s, 3D 1.0 s"
        << "1.0"
        << "1.0" << 1;
    QTest::newRow("each run judged on its own first message")
        << "open 0; nav 52 4; cold 3000; nav 4000 1; nav 9000 4" << qint64(10000)
        << "TTFF 2D 6.0 s, 3D 6.0 s"
        << "6.0"
        << "6.0" << 2;
    QTest::newRow("back before the fix forgets it")
        << "open 0; nav 1000 0; nav 5000 4; back 3000; nav 3000 0" << qint64(4000)
        << "TTFF: no fix for 4.0 s after port opened" << none << none << 1;
    QTest::newRow("back before the first message judges it again")
        << "open 0; nav 1000 1; nav 5000 4; back 500; nav 1000 4" << qint64(1500)
        << "TTFF: fix at start" << atStart << atStart << 1;
    QTest::newRow("back before a cold start drops its run")
        << "open 0; nav 1000 4; cold 5000; nav 9000 4; back 4000; nav 4000 4" << qint64(4500)
        << "TTFF: fix at start" << atStart << atStart << 1;
    QTest::newRow("back to the very opening keeps its run")
        << "open 0; nav 500 4; open 1000; nav 2000 4; back 1000; nav 1000 0" << qint64(3000)
        << "TTFF: no fix for 2.0 s after port opened" << none << none << 2;
    QTest::newRow("an opening without a fix gives way to the next")
        << "open 0; nav 300 0; open 500; nav 1500 4" << qint64(2000) << "TTFF: fix at start"
        << atStart << atStart << 1;
}

void TestFixStatistics::ttffRunTexts()
{
    QFETCH(QString, events);
    QFETCH(qint64, nowMs);
    QFETCH(QString, text);
    QFETCH(QString, cell2D);
    QFETCH(QString, cell3D);
    QFETCH(int, runs);
    ReceiverQuality q;
    for (const QString &e : events.split(QLatin1Char(';'))) {
        const QStringList w = e.simplified().split(QLatin1Char(' '));
        const qint64 ms = w.value(1).toLongLong();
        if (w[0] == QLatin1String("open"))
            q.start(ms, TtffStart::PortOpened);
        else if (w[0] == QLatin1String("cold"))
            q.frame(buildFrame(0xB9, {}), ms);
        else if (w[0] == QLatin1String("nav"))
            q.frame(navFrame({{3, {quint8(w.value(2).toInt())}}}), ms);
        else if (w[0] == QLatin1String("back"))
            q.frame(buildFrame(0xCB, QByteArray(46, '\0')), ms); // any frame of that time
        else
            QFAIL(qPrintable(e));
    }
    QCOMPARE(q.ttff.text(nowMs), text);
    QCOMPARE(ttff2DText(*q.ttff.current()), cell2D);
    QCOMPARE(ttff3DText(*q.ttff.current()), cell3D);
    QCOMPARE(int(q.ttff.runs().size()), runs);
}

void TestFixStatistics::ttffFromRecordedStart()
{
    // The simulated receiver from its start to a 3D fix. By hand: frames are CA CA
    // ... of 44 bytes; the fix state is the low nibble of the third byte; a frame
    // counts at the time of the line that brings its last byte.
    QFile f(QStringLiteral(KESTREL_TEST_DATA "/sim-acquisition.krec"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const RecordingContents rec = readRecording(f.readAll());
    QVERIFY(rec.ok());
    QByteArray all;
    QList<qint64> timeOf;
    for (const RecordedChunk &c : rec.chunks) {
        all += c.bytes;
        for (int i = 0; i < c.bytes.size(); ++i)
            timeOf.append(c.timeMs);
    }
    qint64 first2D = -1, first3D = -1;
    for (int i = 0; i + 44 <= all.size(); ++i) {
        if (quint8(all[i]) != 0xCA || quint8(all[i + 1]) != 0xCA || all[i + 43] != '\r')
            continue;
        const int fix = quint8(all[i + 2]) & 15;
        const qint64 t = timeOf[i + 43] - rec.chunks.first().timeMs;
        if ((fix == 3 || fix == 4) && first2D < 0)
            first2D = t;
        if (fix == 4 && first3D < 0)
            first3D = t;
    }
    QVERIFY(first2D > 0 && first3D >= first2D);

    FrameDecoder decoder(12);
    ReceiverQuality q;
    q.start(rec.chunks.first().timeMs, TtffStart::RecordingStart);
    for (const RecordedChunk &c : rec.chunks)
        for (const DecodedFrame &d : decoder.feed(c.bytes, c.timeMs))
            if (d.good)
                q.frame(d.bytes, c.timeMs);
    QCOMPARE(q.ttff.runs().size(), std::size_t(1));
    QCOMPARE(*q.ttff.current()->to2DMs, first2D);
    QCOMPARE(*q.ttff.current()->to3DMs, first3D);
    QCOMPARE(q.counts.navigation, qint64(24));
}

void TestFixStatistics::coldStartAcknowledgementStartsRun()
{
    ReceiverQuality q;
    q.start(0, TtffStart::PortOpened);
    q.frame(navFrame({{3, {4}}}), 5000);
    QCOMPARE(*q.ttff.current()->to3DMs, qint64(5000));
    q.frame(buildFrame(0xB9, {}), 8000); // the receiver's four-byte echo
    QCOMPARE(q.ttff.current()->cause, TtffStart::ColdStart);
    QCOMPARE(q.ttff.current()->startMs, qint64(8000));
    q.frame(navFrame({{3, {1}}}), 9000);
    q.frame(navFrame({{3, {3}}}), 20000);
    QCOMPARE(*q.ttff.current()->to2DMs, qint64(12000));
    QVERIFY(!q.ttff.current()->to3DMs);
    q.frame(buildFrame(0xB6, {}), 21000);
    QCOMPARE(q.ttff.current()->cause, TtffStart::SystemReset);
    QCOMPARE(q.ttff.runs().size(), std::size_t(3));
    // The history and counts go on through a cold start.
    QCOMPARE(q.counts.navigation, qint64(3));
    QCOMPARE(q.history.navigation().size(), std::size_t(3));
}

void TestFixStatistics::historyKeepsTenMinutes()
{
    History h;
    for (qint64 t = 0; t <= 700000; t += 100)
        h.addNavigation({t, 4, 7, 1, 2, 1, 1});
    QCOMPARE(h.navigation().front().timeMs, qint64(100000));
    QCOMPARE(h.navigation().back().timeMs, qint64(700000));
    LevelSample s;
    s.timeMs = 0;
    h.addLevels(s);
    s.timeMs = History::kSpanMs + 1;
    h.addLevels(s);
    QCOMPARE(h.levels().size(), std::size_t(1));
    // A burst far faster than any receiver keeps only the newest samples.
    h.clear();
    const qint64 burst = qint64(History::kMaxSamples) + 1000;
    for (qint64 t = 0; t < burst; ++t)
        h.addNavigation({t, 4, 7, 1, 2, 1, 1});
    QCOMPARE(h.navigation().size(), History::kMaxSamples);
    QCOMPARE(h.navigation().front().timeMs, qint64(1000));
    h.clear();
    QVERIFY(h.navigation().empty() && h.levels().empty());
}

void TestFixStatistics::positionsOffTheEarthAreLeftOut_data()
{
    // A navigation message's fields reach some 2330 degrees; the checksum can hold over
    // such a message. Each row is a tight cloud with these positions mixed in; what is
    // off the earth is left out and counted, the edges of the earth are kept.
    QTest::addColumn<Positions>("mixedIn");
    QTest::addColumn<int>("leftOut");
    const double nan = std::nan("");
    QTest::newRow("latitude beyond 90, first and after")
        << Positions{{2330.0, 8.5, 400}, {-90.0001, 8.5, 400}} << 2;
    QTest::newRow("longitude beyond 180") << Positions{{47.4, 180.5, 400}, {47.4, -999, 0}} << 2;
    QTest::newRow("not numbers") << Positions{{nan, 8.5, 400}, {47.4, nan, 400}, {47.4, 8.5, nan}}
                                 << 3;
    QTest::newRow("the poles and the antimeridian are on it")
        << Positions{{90, 0, 0}, {-90, 180, 0}, {0, -180, 0}} << 0;
}

void TestFixStatistics::positionsOffTheEarthAreLeftOut()
{
    QFETCH(Positions, mixedIn);
    QFETCH(int, leftOut);
    PositionStatistics s;
    ReferenceStatistics r;
    r.setReference(ReferencePoint{47.4, 8.5, 400.0});
    const Positions cloud = around(47.4, 8.5, 400, ring(3.0, 8));
    Positions all = mixedIn;
    all.insert(all.end(), cloud.begin(), cloud.end());
    all.insert(all.end(), mixedIn.begin(), mixedIn.end());
    qint64 added = 0;
    for (const auto &[lat, lon, h] : all) {
        const bool kept = s.add(lat, lon, h);
        QCOMPARE(r.add(0, lat, lon, h), kept);
        added += kept;
    }
    QCOMPARE(s.offTheEarth(), quint64(2 * leftOut));
    QCOMPARE(s.count(), added);
    QCOMPARE(r.count(), added);
    const PositionSummary &p = s.summary();
    const ReferenceSummary q = r.summary();
    for (const double v :
         {p.meanLatitudeDeg, p.meanLongitudeDeg, p.meanHeightM, p.heightStdM, p.cep50M, p.drms2M,
          p.r95M, p.farthestM, q.biasEastM, q.biasNorthM, q.horizontalRmsM, q.r95M})
        QVERIFY(std::isfinite(v));
    if (leftOut > 0)
        QCOMPARE_LT(std::fabs(p.cep50M - 3.0), 1e-6);
    s.clear();
    QCOMPARE(s.offTheEarth(), quint64(0));
}

QTEST_GUILESS_MAIN(TestFixStatistics)
#include "tst_fixstatistics.moc"
