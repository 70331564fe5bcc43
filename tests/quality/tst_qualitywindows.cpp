// Signal Levels, History and Position Scatter as the user meets them: opened from the
// View menu, fed by the simulated receiver through the port, and showing what the
// statistics say (read back from the widgets).
#include "decoders/messagevalues.h"
#include "decoders/sattable.h"
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigate.h"
#include "quality/fixstatistics.h"
#include "quality/qualitywatch.h"
#include "quality/ui/historywindow.h"
#include "quality/ui/scatterwindow.h"
#include "quality/ui/signallevelswindow.h"
#include "sim/simulator.h"
#include "testplatform.h"
#include "widgets/textline.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QWheelEvent>

namespace {

QColor packed(int rgb)
{
    return QColor(rgb & 255, (rgb >> 8) & 255, (rgb >> 16) & 255);
}

struct Rig {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    FakeSerialPort *port = new FakeSerialPort;
    Navigate nav{g, quality, std::unique_ptr<SerialPort>(port)};
    SimulatorOptions options;
    std::unique_ptr<Simulator> sim;
    // Every good frame the program took in, as it took it.
    QList<QByteArray> frames;
    QList<qint64> times;
    qint64 openedMs = 0;
    FrameDispatcher::Subscription received;

    Rig()
    {
        nav.Form_Load();
        nav.MSComm1().open();
        openedMs = tp.clock.monotonicMs();
        options.intervalMs = 100; // ten messages a second
        sim = std::make_unique<Simulator>(tp.clock, options);
        received = g.frames().subscribeGood([this](const Frame &f) {
            frames << f.bytes().toByteArray();
            times << tp.clock.monotonicMs();
        });
    }
    QWidget *open(const char *item, DataWindow which)
    {
        nav.menuItem(QLatin1String(item))->trigger();
        return nav.dataWindows().window(which);
    }
    // The simulated receiver's line for `ms` of its clock, fed in 100 ms steps.
    void run(int ms)
    {
        for (int t = 0; t < ms; t += 100) {
            tp.clock.time = tp.clock.time.addMSecs(100);
            sim->poll();
            port->feed(sim->take());
        }
    }
    // The first frame of the type in each second since the port opened, as the
    // History window plots them.
    QList<QByteArray> firstEachSecond(quint8 type) const
    {
        QList<QByteArray> out;
        qint64 last = -1;
        for (qsizetype i = 0; i < frames.size(); ++i) {
            const qint64 second = (times[i] - openedMs) / 1000;
            if (quint8(frames[i][0]) == type && second > last) {
                out << frames[i];
                last = second;
            }
        }
        return out;
    }
    static QWidget *levelsChart(QWidget *w)
    {
        return static_cast<SignalLevelsWindow *>(w)->chart();
    }
    QList<QByteArray> framesOf(quint8 type) const
    {
        QList<QByteArray> out;
        for (const QByteArray &f : frames)
            if (quint8(f[0]) == type)
                out << f;
        return out;
    }
};

QString textOf(QWidget *w, const char *name)
{
    auto *c = w->findChild<QWidget *>(QLatin1String(name));
    return c ? c->property("text").toString() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

} // namespace

class TestQualityWindows : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void openFromViewMenuAndCloseLikeTheOthers();
    void signalLevelsShowAKnownMessage();
    void signalLevelsFollowTheSimulatedStream();
    void scatterShowsTheStatistics();
    void scatterPlotHasEqualMetricAxes();
    void scatterDotsDrawnAgainOnlyWhenMoved_data();
    void scatterDotsDrawnAgainOnlyWhenMoved();
    void historyPlotsTheLastMinutes();
    void historyPauseZoomAndScroll();
    void historyLeavesGapsWhereDataStopped_data();
    void historyLeavesGapsWhereDataStopped();
    void ttffInStatusLineAndHistoryTable();
    void unitsInScatterAndHistory();
    void staleLinkIsTold();
};

void TestQualityWindows::openFromViewMenuAndCloseLikeTheOthers()
{
    Rig r;
    const struct {
        const char *item;
        DataWindow which;
        const char *title;
    } kinds[] = {{"NavLevels", DataWindow::SignalLevels, "Signal Levels"},
                 {"NavHistory", DataWindow::History, "History"},
                 {"NavScatter", DataWindow::Scatter, "Position Scatter"}};
    // An open window takes its frames; a closed one does not.
    const int listening = r.g.frames().subscribers();
    for (const auto &k : kinds) {
        QWidget *w = r.open(k.item, k.which);
        QVERIFY2(w && w->isVisible(), k.item);
        QCOMPARE(w->windowTitle(), QLatin1String(k.title));
        QCOMPARE(r.g.frames().subscribers(), listening + 1);
        // Once: the menu again brings the same window forward.
        QCOMPARE(r.open(k.item, k.which), w);
        QPointer<QWidget> gone = w;
        w->findChild<QPushButton *>(QStringLiteral("Exit"))->click();
        QCOMPARE(r.g.frames().subscribers(), listening);
        QVERIFY(!r.nav.dataWindows().window(k.which));
        QTRY_VERIFY(gone.isNull());
    }
    // All open, then closed with the others.
    for (const auto &k : kinds)
        r.open(k.item, k.which);
    r.run(1000);
    r.nav.dataWindows().CloseDataWindows();
    QCOMPARE(r.g.frames().subscribers(), listening);
    for (const auto &k : kinds) {
        QVERIFY(!r.nav.dataWindows().window(k.which));
    }
}

void TestQualityWindows::signalLevelsShowAKnownMessage()
{
    Rig r;
    auto *w = static_cast<SignalLevelsWindow *>(r.open("NavLevels", DataWindow::SignalLevels));
    // Satellites 3 (fix, used), 17 (decode), 32 (track), 9 (search), 5 (no state) and
    // three empty channels; the navigation message uses 3 and 32.
    QByteArray nav = navFrame({{3, {4}}, {34, {0x04, 0x00, 0x00, 0x80}}});
    QByteArray p;
    const int channels[5][3] = {
        {3, 0x0F, 200}, {17, 0x07, 150}, {32, 0x03, 100}, {9, 0x01, 25}, {5, 0x00, 60}};
    for (int k = 0; k < 5; ++k)
        place(p, 5 * (k + 1) - 1, {channels[k][0], channels[k][1], channels[k][2], 10, 20});
    r.port->feed(nav + buildFrameOfType(0xCB, p));

    QCOMPARE(w->label(1), QStringLiteral("3 \u2713"));
    QVERIFY(w->used(1));
    QCOMPARE(w->level(1), 40.0);
    QCOMPARE(w->color(1), packed(SatColor::kFix));
    QCOMPARE(w->label(2), QStringLiteral("17"));
    QVERIFY(!w->used(2));
    QCOMPARE(w->level(2), 30.0);
    QCOMPARE(w->color(2), packed(SatColor::kDecode));
    QCOMPARE(w->label(3), QStringLiteral("32 \u2713"));
    QCOMPARE(w->color(3), packed(SatColor::kTrack));
    QCOMPARE(w->level(3), 20.0);
    QCOMPARE(w->color(4), packed(SatColor::kSearch));
    QCOMPARE(w->level(4), 5.0);
    QCOMPARE(w->color(5), packed(SatColor::kIdle));
    QCOMPARE(w->level(5), 12.0);
    for (int k = 6; k <= 8; ++k) {
        QCOMPARE(w->level(k), 0.0);
        QVERIFY(w->label(k).startsWith(QStringLiteral("ch%1").arg(k)));
    }
    // A channel changes state: its bar moves to the new colour, its old one goes.
    p.clear();
    place(p, 4, {3, 0x03, 100, 10, 20});
    r.port->feed(buildFrameOfType(0xCB, p));
    QCOMPARE(w->color(1), packed(SatColor::kTrack));
    QCOMPARE(w->level(1), 20.0);
    QCOMPARE(w->level(2), 0.0);
}

void TestQualityWindows::signalLevelsFollowTheSimulatedStream()
{
    Rig r;
    auto *w = static_cast<SignalLevelsWindow *>(r.open("NavLevels", DataWindow::SignalLevels));
    r.run(30000);
    const QList<QByteArray> sats = r.framesOf(0xCB);
    QVERIFY(sats.size() >= 250);
    const SatelliteMessage last = parseSatellites(sats.last());
    const NavigationMessage nav = parseNavigation(r.framesOf(0xCA).last());
    int usedCount = 0;
    for (int k = 1; k <= 8; ++k) {
        const SatelliteChannel &c = last.channels[std::size_t(k - 1)];
        QCOMPARE(w->level(k), c.number ? c.levelDb : 0.0);
        if (c.number)
            QVERIFY(w->label(k).startsWith(QString::number(c.number)));
        usedCount += w->used(k);
    }
    QCOMPARE(usedCount, nav.satellitesUsed);
}

void TestQualityWindows::scatterShowsTheStatistics()
{
    Rig r;
    auto *w = static_cast<ScatterWindow *>(r.open("NavScatter", DataWindow::Scatter));
    QCOMPARE(textOf(w, "Fixes"), QStringLiteral("0"));
    QCOMPARE(textOf(w, "CEP50"), QString());
    r.run(40000);
    // The same figures worked out from the navigation messages the port brought.
    PositionStatistics expected;
    int twoD = 0;
    for (const QByteArray &f : r.framesOf(0xCA)) {
        const NavigationMessage m = parseNavigation(f);
        if (m.fix == 4)
            expected.add(m.latitudeDeg, m.longitudeDeg, m.heightM);
        twoD += m.fix == 3;
    }
    const PositionSummary &s = expected.summary();
    QVERIFY(s.count > 100);
    // The figures follow a moment later, at most a few times a second.
    QTRY_COMPARE(textOf(w, "Fixes"), QString::number(s.count));
    QCOMPARE(textOf(w, "TwoD"), QString::number(twoD));
    QVERIFY(twoD > 0);
    QCOMPARE(qsizetype(w->twoDFixes().size()), qsizetype(twoD));
    QCOMPARE(textOf(w, "CEP50"), QStringLiteral("%1 m").arg(s.cep50M, 0, 'f', 2));
    QCOMPARE(textOf(w, "DRMS2"), QStringLiteral("%1 m").arg(s.drms2M, 0, 'f', 2));
    QCOMPARE(textOf(w, "R95"), QStringLiteral("%1 m").arg(s.r95M, 0, 'f', 2));
    QCOMPARE(textOf(w, "MeanLat"), QStringLiteral("%1\u00b0").arg(s.meanLatitudeDeg, 0, 'f', 7));
    QCOMPARE(textOf(w, "MeanLon"), QStringLiteral("%1\u00b0").arg(s.meanLongitudeDeg, 0, 'f', 7));
    QCOMPARE(textOf(w, "MeanLatDM"), degreesMinutesText(s.meanLatitudeDeg, true));
    QCOMPARE(textOf(w, "HeightMean"), QStringLiteral("%1 m").arg(s.meanHeightM, 0, 'f', 2));
    QCOMPARE(textOf(w, "HeightStd"), QStringLiteral("%1 m").arg(s.heightStdM, 0, 'f', 2));
    // The simulated receiver drives round 47.37 N 8.54 E.
    QVERIFY(textOf(w, "MeanLatDM").startsWith(QStringLiteral("47\u00b0")));
    QVERIFY(textOf(w, "MeanLatDM").endsWith(QStringLiteral("' N")));
    QVERIFY(textOf(w, "MeanLonDM").startsWith(QStringLiteral("8\u00b0")));

    w->findChild<QPushButton *>(QStringLiteral("Clear"))->click();
    QCOMPARE(textOf(w, "Fixes"), QStringLiteral("0"));
    QCOMPARE(textOf(w, "R95"), QString());
    r.run(1000);
    w->refresh();
    QCOMPARE(textOf(w, "Fixes"), QStringLiteral("10"));

    // Another port, another receiver: its fixes start a scatter of their own.
    r.nav.MSComm1().close();
    QVERIFY(r.nav.MSComm1().open());
    r.run(500);
    w->refresh();
    QCOMPARE(textOf(w, "Fixes"), QStringLiteral("5"));
}

void TestQualityWindows::scatterPlotHasEqualMetricAxes()
{
    QCOMPARE(degreesMinutesText(47.5, true), QStringLiteral("47\u00b030.0000' N"));
    QCOMPARE(degreesMinutesText(-8.25, false), QStringLiteral("8\u00b015.0000' W"));
    QCOMPARE(degreesMinutesText(-0.999999999, true), QStringLiteral("1\u00b000.0000' S"));

    Rig r;
    auto *w = static_cast<ScatterWindow *>(r.open("NavScatter", DataWindow::Scatter));
    r.run(30000);
    ScatterPlot *plot = w->plot();
    plot->resize(400, 300);
    const PositionSummary &s = w->statistics().summary();
    // The R95 circle fits the shorter side; one scale for both axes.
    QVERIFY(s.r95M / plot->metresPerPixel() <= 150);
    const double bar = plot->scaleBarMetres();
    QVERIFY(bar > 0);
    const double mantissa = bar / std::pow(10.0, std::floor(std::log10(bar)));
    QVERIFY(qFuzzyCompare(mantissa, 1.0) || qFuzzyCompare(mantissa, 2.0) ||
            qFuzzyCompare(mantissa, 5.0));
    QVERIFY(bar / plot->metresPerPixel() <= 100);
    QImage img(plot->size(), QImage::Format_ARGB32);
    plot->render(&img); // paints without trouble
}

void TestQualityWindows::scatterDotsDrawnAgainOnlyWhenMoved_data()
{
    // A cloud of 4000 fixes within 5 m of a point, its mean right there, on a 400 px plot
    // (about 3 cm a pixel), painted; then `change`, 200 more fixes and another paint.
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("wholeAgain");
    QTest::newRow("more fixes in the same cloud") << "same" << 0;
    QTest::newRow("fixes off to one side move the mean by pixels") << "far" << 1;
    QTest::newRow("a larger plot") << "resize" << 1;
    QTest::newRow("cleared, then a new cloud") << "clear" << 1;
    QTest::newRow("2D fixes only add hollow dots") << "twoD" << 0;
}

void TestQualityWindows::scatterDotsDrawnAgainOnlyWhenMoved()
{
    QFETCH(QString, change);
    QFETCH(int, wholeAgain);
    PositionStatistics stats;
    std::vector<std::array<double, 3>> twoD;
    ScatterPlot plot(stats);
    plot.setTwoD(&twoD);
    plot.resize(400, 400);
    // Metres east and north of 47.37 N 8.54 E as degrees, near enough here; in pairs
    // opposite each other, so the mean stays at the point.
    const auto add = [&](double e, double n) {
        stats.add(47.37 + n / 111200.0, 8.54 + e / 75300.0, 420);
    };
    const auto addPair = [&](int i) {
        const double r = 5 * std::fmod(i * 0.618034, 1.0), a = i * 2.4;
        add(r * std::cos(a), r * std::sin(a));
        add(-r * std::cos(a), -r * std::sin(a));
    };
    for (int i = 0; i < 2000; ++i)
        addPair(i);
    const auto paint = [](ScatterPlot &on) {
        QImage image(on.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        on.render(&image);
        return image;
    };
    paint(plot);
    QCOMPARE(plot.wholeRedraws(), quint64(1));
    if (change == QLatin1String("resize"))
        plot.resize(500, 500);
    else if (change == QLatin1String("clear"))
        stats.clear();
    for (int i = 0; i < 100; ++i) {
        if (change == QLatin1String("far")) {
            add(3, 0);
            add(3, 0.01 * i);
        } else if (change == QLatin1String("twoD")) {
            twoD.push_back({47.37, 8.54 + i / 75300.0, 420});
        } else {
            addPair(2000 + i);
        }
    }
    const QImage kept = paint(plot);
    QCOMPARE(plot.wholeRedraws(), quint64(1 + wholeAgain));
    // The same picture as a plot that draws every dot now, but for a few edge pixels.
    ScatterPlot fresh(stats);
    fresh.setTwoD(&twoD);
    fresh.resize(plot.size());
    const QImage whole = paint(fresh);
    int differ = 0, dark = 0;
    for (int y = 0; y < whole.height(); ++y)
        for (int x = 0; x < whole.width(); ++x) {
            differ += kept.pixel(x, y) != whole.pixel(x, y);
            dark += qGray(whole.pixel(x, y)) < 100;
        }
    QVERIFY(dark > 100);
    QVERIFY2(differ <= dark / 50, qPrintable(QStringLiteral("%1 of %2").arg(differ).arg(dark)));
}

void TestQualityWindows::historyPlotsTheLastMinutes()
{
    Rig r;
    r.run(5000); // before the window opens: the history is kept anyway
    auto *w = static_cast<HistoryWindow *>(r.open("NavHistory", DataWindow::History));
    r.run(30000);
    w->refresh();
    const QList<QByteArray> navs = r.firstEachSecond(0xCA);
    const QList<QByteArray> sats = r.firstEachSecond(0xCB);
    QCOMPARE(navs.size(), qsizetype(36)); // seconds 0 to 35
    QCOMPARE(w->height().size(), navs.size());
    QCOMPARE(w->satellitesUsed().size(), navs.size());
    QCOMPARE(w->level(1).size(), sats.size());
    const NavigationMessage last = parseNavigation(navs.last());
    QCOMPARE(w->height().last().y(), last.heightM);
    QCOMPARE(w->speed().last().y(), last.speedKmh);
    QCOMPARE(w->hdop().last().y(), last.hdop);
    QCOMPARE(w->vdop().last().y(), last.vdop);
    QCOMPARE(w->satellitesUsed().last().y(), double(last.satellitesUsed));
    QCOMPARE(w->fixState().last().y(), double(last.fix));
    const SatelliteMessage lastSat = parseSatellites(sats.last());
    for (int k = 1; k <= 8; ++k)
        QCOMPARE(w->level(k).last().y(), lastSat.channels[std::size_t(k - 1)].levelDb);
    // Seconds since the port opened: the newest sample at the right edge.
    QCOMPARE(w->timeTo(), 35.0);
    QCOMPARE(w->timeFrom(), 35.0 - 600);

    // Eleven minutes on, the first minutes are gone.
    r.run(11 * 60 * 1000);
    w->refresh();
    QVERIFY(w->height().first().x() >= w->timeTo() - 600);
    QVERIFY(w->height().size() <= 601);
}

void TestQualityWindows::historyPauseZoomAndScroll()
{
    Rig r;
    auto *w = static_cast<HistoryWindow *>(r.open("NavHistory", DataWindow::History));
    r.run(20000);
    w->refresh();
    const qsizetype before = w->height().size();
    w->findChild<QPushButton *>(QStringLiteral("Pause"))->click();
    QVERIFY(w->paused());
    r.run(5000);
    w->refresh();
    QCOMPARE(w->height().size(), before);
    w->findChild<QPushButton *>(QStringLiteral("Pause"))->click();
    QVERIFY(!w->paused());
    QCOMPARE(w->height().size(), before + 5);

    // Zoom in about a time: the span shrinks, that time keeps its place.
    const double max = w->timeTo();
    w->zoom(4, max - 10);
    QCOMPARE(w->timeTo() - w->timeFrom(), 150.0);
    // max - 10 sat at 590/600 of the span; it stays there: 150 * 590 / 600 from the left.
    QVERIFY(std::fabs(w->timeFrom() - (max - 10 - 147.5)) < 1e-9);
    w->scroll(-30);
    QCOMPARE(w->timeTo() - w->timeFrom(), 150.0);
    // Not following: new data leaves the view where it is.
    const double held = w->timeTo();
    r.run(2000);
    w->refresh();
    QCOMPARE(w->timeTo(), held);
    w->findChild<QPushButton *>(QStringLiteral("Live"))->click();
    QCOMPARE(w->timeTo() - w->timeFrom(), 600.0);
    QCOMPARE(w->timeTo(), 27.0);

    // The mouse: the wheel over a plot zooms about the time under the pointer, a drag
    // scrolls, a double click follows the newest data again.
    TimePlot *plot = w->plot(2);
    plot->resize(600, 150);
    const QPointF at(300, 75);
    const double t = plot->timeAt(at.x());
    QWheelEvent wheel(at, plot->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(plot, &wheel);
    QVERIFY(std::fabs(w->timeTo() - w->timeFrom() - 480.0) < 1e-9);
    QVERIFY(std::fabs(plot->timeAt(at.x()) - t) < 1e-9);
    const double before2 = w->timeTo();
    QTest::mousePress(plot, Qt::LeftButton, {}, QPoint(300, 75));
    QMouseEvent move(QEvent::MouseMove, QPointF(200, 75), plot->mapToGlobal(QPointF(200, 75)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QVERIFY(w->timeTo() > before2); // dragged left: later times come into view
    QTest::mouseDClick(plot, Qt::LeftButton, {}, QPoint(300, 75));
    QCOMPARE(w->timeTo() - w->timeFrom(), 600.0);
    // The plots paint, with their value axes fitted to the data.
    for (int i = 0; i < 5; ++i) {
        QImage img(w->plot(i)->size().expandedTo(QSize(400, 100)), QImage::Format_ARGB32);
        w->plot(i)->render(&img);
    }
    QVERIFY(w->plot(2)->valueRange().x() <= w->height().last().y());
    QVERIFY(w->plot(2)->valueRange().y() >= w->height().last().y());
}

void TestQualityWindows::historyLeavesGapsWhereDataStopped_data()
{
    // Messages at the given milliseconds after the port opened, "n" navigation and "s"
    // satellite; then the pieces each plot draws: the points in each piece.
    QTest::addColumn<QString>("messages");
    QTest::addColumn<QList<int>>("navPieces");
    QTest::addColumn<QList<int>>("levelPieces");
    QTest::newRow("every second") << "n0 s0 n1000 s1000 n2000 s2000" << QList<int>{3}
                                  << QList<int>{3};
    QTest::newRow("3 s without data is still a line")
        << "n0 s0 n1000 s1000 n4000 s4000" << QList<int>{3} << QList<int>{3};
    QTest::newRow("more than 3 s is a gap")
        << "n0 s0 n1000 s1000 n4001 s4001" << QList<int>{2, 1} << QList<int>{2, 1};
    QTest::newRow("the receiver gone for 20 s")
        << "n0 s0 n1000 s1000 n21000 s21000 n22000 s22000" << QList<int>{2, 2} << QList<int>{2, 2};
    QTest::newRow("a lone message between two gaps")
        << "n0 n1000 n5000 n9000 n10000" << QList<int>{2, 1, 2} << QList<int>{};
    QTest::newRow("each plot by its own data")
        << "n0 s0 s1000 s2000 s3000 s4000 n4500 s5000" << QList<int>{1, 1} << QList<int>{6};
}

void TestQualityWindows::historyLeavesGapsWhereDataStopped()
{
    QFETCH(QString, messages);
    QFETCH(QList<int>, navPieces);
    QFETCH(QList<int>, levelPieces);
    Rig r;
    auto *w = static_cast<HistoryWindow *>(r.open("NavHistory", DataWindow::History));
    for (const QString &m : messages.split(QLatin1Char(' '))) {
        r.tp.clock.time =
            QDateTime::fromMSecsSinceEpoch(r.openedMs + m.mid(1).toLongLong(), QTimeZone::utc());
        r.port->feed(m.startsWith(QLatin1Char('n')) ? navFrame({{3, {4}}, {33, {7}}})
                                                    : buildFrame(0xCB, QByteArray(46, '\0')));
    }
    w->refresh();
    const auto sizes = [](const QList<QList<QPointF>> &pieces) {
        QList<int> out;
        for (const QList<QPointF> &p : pieces)
            out << int(p.size());
        return out;
    };
    // Satellites used, fix state, height, speed and DOPs: one plot each, all alike.
    for (int plot : {0, 2, 3, 4})
        for (int line = 0; line < w->plot(plot)->lineCount(); ++line)
            QCOMPARE(sizes(w->plot(plot)->pieces(line)), navPieces);
    for (int channel = 0; channel < 8; ++channel)
        QCOMPARE(sizes(w->plot(1)->pieces(channel)), levelPieces);
    // The pieces paint, a lone sample too.
    QImage img(QSize(600, 150), QImage::Format_ARGB32);
    w->plot(0)->resize(img.size());
    w->plot(0)->render(&img);
}

void TestQualityWindows::unitsInScatterAndHistory()
{
    Rig r;
    auto *scatter = static_cast<ScatterWindow *>(r.open("NavScatter", DataWindow::Scatter));
    auto *history = static_cast<HistoryWindow *>(r.open("NavHistory", DataWindow::History));
    r.run(30000);
    history->refresh();
    scatter->refresh();
    // Paused, the plots keep their points and change only their unit.
    history->findChild<QPushButton *>(QStringLiteral("Pause"))->click();
    const qsizetype points = history->height().size();
    const NavigationMessage last = parseNavigation(r.firstEachSecond(0xCA).last());
    const QString meanLat = textOf(scatter, "MeanLat");
    for (const char *item : {"UnitsHeight(1)", "UnitsSpeed(1)", "UnitsPos(2)"})
        r.nav.menuItem(QLatin1String(item))->trigger();

    const PositionSummary &s = scatter->statistics().summary();
    // At once, not with the next fix.
    QCOMPARE(textOf(scatter, "HeightMean"),
             QStringLiteral("%1 ft").arg(s.meanHeightM / 0.3048, 0, 'f', 2));
    QCOMPARE(textOf(scatter, "HeightStd"),
             QStringLiteral("%1 ft").arg(s.heightStdM / 0.3048, 0, 'f', 2));
    // The distances stay in metres; the decimal degrees stay, the minutes get seconds.
    QCOMPARE(textOf(scatter, "CEP50"), QStringLiteral("%1 m").arg(s.cep50M, 0, 'f', 2));
    QVERIFY(textOf(scatter, "MeanLat").startsWith(meanLat.left(6)));
    QVERIFY(textOf(scatter, "MeanLatDM").startsWith(QStringLiteral("47°22′")));
    QVERIFY(textOf(scatter, "MeanLatDM").endsWith(QStringLiteral("″ N")));
    QVERIFY(textOf(scatter, "MeanLonDM").endsWith(QStringLiteral("″ E")));

    // An international foot is 0.3048 m, a knot 1.852 km/h.
    QCOMPARE(history->height().size(), points);
    QVERIFY(std::fabs(history->height().last().y() - last.heightM / 0.3048) < 1e-9);
    QVERIFY(std::fabs(history->speed().last().y() - last.speedKmh / 1.852) < 1e-9);
    QCOMPARE(history->plot(2)->unit(), QStringLiteral("ft"));
    QCOMPARE(history->plot(3)->unit(), QStringLiteral("kn"));
    history->findChild<QPushButton *>(QStringLiteral("Pause"))->click();
    r.run(3000);
    history->refresh();
    const NavigationMessage newest = parseNavigation(r.firstEachSecond(0xCA).last());
    QVERIFY(std::fabs(history->height().last().y() - newest.heightM / 0.3048) < 1e-9);
}

void TestQualityWindows::ttffInStatusLineAndHistoryTable()
{
    Rig r;
    auto *w = static_cast<HistoryWindow *>(r.open("NavHistory", DataWindow::History));
    r.run(3000);
    r.nav.updateLinkStatus();
    QVERIFY2(r.nav.linkStatus()->text().contains(
                 QStringLiteral("TTFF: no fix for 3.0 s after port opened")),
             qPrintable(r.nav.linkStatus()->text()));
    r.run(40000);
    const TtffRun *run = r.quality.quality().ttff.current();
    QVERIFY(run && run->to2DMs && run->to3DMs);
    // By hand: the first navigation message with a fix, counted from the opening.
    qint64 first2D = -1, first3D = -1;
    for (qsizetype i = 0; i < r.frames.size(); ++i) {
        if (quint8(r.frames[i][0]) != 0xCA)
            continue;
        const int fix = quint8(r.frames[i][2]) & 15;
        if ((fix == 3 || fix == 4) && first2D < 0)
            first2D = r.times[i] - r.openedMs;
        if (fix == 4 && first3D < 0)
            first3D = r.times[i] - r.openedMs;
    }
    QCOMPARE(*run->to2DMs, first2D);
    QCOMPARE(*run->to3DMs, first3D);
    r.nav.updateLinkStatus();
    const QString want =
        QStringLiteral("TTFF 2D %1 s, 3D %2 s")
            .arg(tenthsOfSecondsText(*run->to2DMs), tenthsOfSecondsText(*run->to3DMs));
    QVERIFY2(r.nav.linkStatus()->text().contains(want), qPrintable(r.nav.linkStatus()->text()));

    // A Cold Start confirmed by the receiver: a new run, newest first in the table.
    QVERIFY(r.g.SendRequest(0xB9));
    r.sim->receive(r.port->written);
    r.port->written.clear();
    r.run(100);
    QCOMPARE(r.quality.quality().ttff.current()->cause, TtffStart::ColdStart);
    w->refresh();
    QTableWidget *table = w->ttffTable();
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(0, 0)->text(), QStringLiteral("Cold Start"));
    QCOMPARE(table->item(0, 3)->text(), QStringLiteral("\u2013"));
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("port opened"));
    QCOMPARE(table->item(1, 1)->text(), QStringLiteral("0.0"));
    QCOMPARE(table->item(1, 2)->text(),
             tenthsOfSecondsText(*r.quality.quality().ttff.runs().front().to2DMs));
    QCOMPARE(table->item(1, 3)->text(),
             tenthsOfSecondsText(*r.quality.quality().ttff.runs().front().to3DMs));
    r.run(40000);
    w->refresh();
    QVERIFY(table->item(0, 3)->text() != QStringLiteral("\u2013"));
}

void TestQualityWindows::staleLinkIsTold()
{
    Rig r;
    QWidget *levels = r.open("NavLevels", DataWindow::SignalLevels);
    QWidget *history = r.open("NavHistory", DataWindow::History);
    QWidget *scatter = r.open("NavScatter", DataWindow::Scatter);
    for (QWidget *w : {levels, history, scatter})
        QCOMPARE(w->findChild<TextLine *>(QStringLiteral("MessageAge"))->text(),
                 QStringLiteral("No message received yet"));
    r.run(2000);
    // The darkest pixel of each picture: black text and lines while live, pale when faded.
    const QList<QWidget *> pictures = {static_cast<SignalLevelsWindow *>(levels)->chart(),
                                       static_cast<HistoryWindow *>(history)->plot(0),
                                       static_cast<ScatterWindow *>(scatter)->plot()};
    const auto darkest = [&] {
        QList<int> out;
        for (QWidget *picture : pictures) {
            const QImage image = picture->grab().toImage();
            int least = 255;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    least = std::min(least, qGray(image.pixel(x, y)));
            out << least;
        }
        return out;
    };
    for (const int least : darkest())
        QVERIFY(least < 100);
    r.tp.clock.time = r.tp.clock.time.addMSecs(3001); // the receiver falls silent
    r.nav.updateLinkStatus();
    for (QWidget *w : {levels, history, scatter})
        QVERIFY(static_cast<DataWindowBase *>(w)->showsStale());
    for (const int least : darkest())
        QVERIFY(least >= 160);
    r.tp.clock.time = r.tp.clock.time.addMSecs(3999);
    for (QWidget *w : {levels, history, scatter}) {
        auto *age = w->findChild<TextLine *>(QStringLiteral("MessageAge"));
        static_cast<DataWindowBase *>(w)->updateMessageAge();
        QCOMPARE(age->text(), QStringLiteral("Message received 7 s ago"));
    }
    // The receiver speaks again: the next frame brings the pictures back.
    r.run(100);
    for (QWidget *w : {levels, history, scatter})
        QVERIFY(!static_cast<DataWindowBase *>(w)->showsStale());
    for (const int least : darkest())
        QVERIFY(least < 100);
}

QTEST_MAIN(TestQualityWindows)
#include "tst_qualitywindows.moc"
