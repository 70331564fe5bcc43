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
#include "quality/messagelog.h"
#include "quality/qualitywatch.h"
#include "quality/reference.h"
#include "quality/satellitelevels.h"
#include "quality/ui/historywindow.h"
#include "quality/ui/levelelevationwindow.h"
#include "quality/ui/messageswindow.h"
#include "quality/ui/scatterwindow.h"
#include "quality/ui/signallevelswindow.h"
#include "sim/simulator.h"
#include "testplatform.h"
#include "widgets/textline.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QWheelEvent>

#include <deque>

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
    void scatterMeasuresAgainstTheReference();
    void historyFollowsASatelliteAcrossChannels();
    void messagesWindowByKeyboard();
    void searchWaitsForTheLastKey_data();
    void searchWaitsForTheLastKey();
    void messageCellsDrawTheirText_data();
    void messageCellsDrawTheirText();
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
                 {"NavScatter", DataWindow::Scatter, "Position Scatter"},
                 {"NavMessages", DataWindow::Messages, "Messages"}};
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

    // A 3D fix whose latitude field says 2330 degrees stays out of the figures.
    r.tp.clock.time = r.tp.clock.time.addMSecs(100);
    r.port->feed(navFrame({{3, {4}}, {4, {0x7f, 0xff, 0xff, 0xff}}}));
    w->refresh();
    QCOMPARE(textOf(w, "Fixes"), QStringLiteral("5 (1 off the earth)"));
    QVERIFY(textOf(w, "MeanLatDM").startsWith(QStringLiteral("47\u00b0")));
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
    QTest::addColumn<int>("capacity"); // fixes kept; 0 keeps all
    QTest::newRow("more fixes in the same cloud") << "same" << 0 << 0;
    QTest::newRow("fixes off to one side move the mean by pixels") << "far" << 1 << 0;
    QTest::newRow("a larger plot") << "resize" << 1 << 0;
    QTest::newRow("cleared, then a new cloud") << "clear" << 1 << 0;
    QTest::newRow("2D fixes only add hollow dots") << "twoD" << 0 << 0;
    // A full store drops a fix per fix: the dropped dots go at the next whole redraw,
    // which comes once a tenth of the store has been dropped since the last.
    QTest::newRow("full store, under a tenth dropped") << "same" << 0 << 3000;
    QTest::newRow("full store, a tenth dropped") << "same" << 1 << 2000;
}

void TestQualityWindows::scatterDotsDrawnAgainOnlyWhenMoved()
{
    QFETCH(QString, change);
    QFETCH(int, wholeAgain);
    QFETCH(int, capacity);
    PositionStatistics stats{std::size_t(capacity)};
    std::deque<std::array<double, 3>> twoD;
    quint64 twoDDropped = 0;
    ScatterPlot plot(stats);
    plot.setTwoD(&twoD, &twoDDropped);
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
    fresh.setTwoD(&twoD, &twoDDropped);
    fresh.resize(plot.size());
    const QImage whole = paint(fresh);
    // Dropped dots may linger until the next whole redraw; every kept one is drawn.
    const bool lingering = capacity > 0 && wholeAgain == 0;
    int differ = 0, dark = 0;
    for (int y = 0; y < whole.height(); ++y)
        for (int x = 0; x < whole.width(); ++x) {
            differ += lingering ? qGray(whole.pixel(x, y)) < 100 && qGray(kept.pixel(x, y)) >= 100
                                : kept.pixel(x, y) != whole.pixel(x, y);
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
    // The clock offset: the time the message names less the (fake) clock when it came.
    QCOMPARE(w->clockOffset().size(), navs.size());
    const QDateTime named(QDate(2000 + last.utc.year, last.utc.month, last.utc.day),
                          QTime(last.utc.hour, last.utc.minute, last.utc.second), Qt::UTC);
    QCOMPARE(qRound64(w->clockOffset().last().y() * 1000),
             named.toMSecsSinceEpoch() - r.times[r.frames.lastIndexOf(navs.last())]);
    QVERIFY2(r.nav.linkStatus()->toolTip().startsWith(
                 QStringLiteral("Receiver clock \u2212 computer clock: last ")),
             qPrintable(r.nav.linkStatus()->toolTip()));

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

namespace {

// Types into the reference dialog once it is up, presses OK (or "Clear reference"), and
// tells what it said.
void answerReferenceDialog(const QString &lat, const QString &lon, const QString &height,
                           bool clear, QString *error)
{
    QTimer::singleShot(0, [=] {
        auto *d = qobject_cast<ReferenceDialog *>(QApplication::activeModalWidget());
        QVERIFY(d);
        d->findChild<QLineEdit *>(QStringLiteral("RefLat"))->setText(lat);
        d->findChild<QLineEdit *>(QStringLiteral("RefLon"))->setText(lon);
        d->findChild<QLineEdit *>(QStringLiteral("RefHeight"))->setText(height);
        if (clear) {
            d->clearReference();
            return;
        }
        d->accept();
        *error = d->errorLine()->text();
        if (d->isVisible())
            d->reject();
    });
}

} // namespace

void TestQualityWindows::scatterMeasuresAgainstTheReference()
{
    Rig r;
    r.options.stationary = StaticPosition{47.37, 8.54, 420};
    r.sim = std::make_unique<Simulator>(r.tp.clock, r.options);
    auto *w = static_cast<ScatterWindow *>(r.open("NavScatter", DataWindow::Scatter));
    QVERIFY(!w->errorPlot()->isVisibleTo(w));
    QCOMPARE(textOf(w, "Reference"), QStringLiteral("none"));

    // A latitude out of range is named and nothing is kept.
    QString error;
    answerReferenceDialog(QStringLiteral("95"), QStringLiteral("8.54"), QString(), false, &error);
    w->Reference_Click();
    QVERIFY2(error.contains(QStringLiteral("latitude «95» is outside")), qPrintable(error));
    QVERIFY(!w->reference().reference());
    QVERIFY(!loadReferencePoint(r.tp.platform.settings));

    // 10 m south of where the receiver stands (10 m over the meridian's radius of
    // curvature at 47.37 N, 6,367,000 m), typed in degrees and minutes.
    const double south = 47.37 - 10.0 / (6367000.0 + 420) * 180 / 3.14159265358979;
    const double minutes = (south - 47) * 60;
    answerReferenceDialog(QStringLiteral("47 %1 N").arg(minutes, 0, 'f', 6), QStringLiteral("8.54"),
                          QStringLiteral("420"), false, &error);
    w->Reference_Click();
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(w->reference().reference());
    QCOMPARE(loadReferencePoint(r.tp.platform.settings), w->reference().reference());
    QVERIFY(w->errorPlot()->isVisibleTo(w));

    r.run(60000);
    w->refresh();
    // The window's figures are the core's over the same fixes.
    ReferenceStatistics expected;
    expected.setReference(w->reference().reference());
    for (const QByteArray &f : r.framesOf(0xCA)) {
        const NavigationMessage m = parseNavigation(f);
        if (m.fix == 4)
            expected.add(0, m.latitudeDeg, m.longitudeDeg, m.heightM);
    }
    const ReferenceSummary s = expected.summary();
    QVERIFY(s.count > 300);
    const auto metres = [](double m) { return QStringLiteral("%1 m").arg(m, 0, 'f', 2); };
    QCOMPARE(textOf(w, "BiasNorth"), metres(s.biasNorthM));
    QCOMPARE(textOf(w, "BiasEast"), metres(s.biasEastM));
    QCOMPARE(textOf(w, "BiasUp"), metres(s.biasUpM));
    QCOMPARE(textOf(w, "RefHRms"), metres(s.horizontalRmsM));
    QCOMPARE(textOf(w, "RefVRms"), metres(s.verticalRmsM));
    QCOMPARE(textOf(w, "RefCEP50"), metres(s.cep50M));
    QCOMPARE(textOf(w, "RefR95"), metres(s.r95M));
    // About 10 m north, give or take the receiver's few metres of wander.
    QVERIFY2(std::fabs(s.biasNorthM - 10) < 4, qPrintable(QString::number(s.biasNorthM)));
    QCOMPARE(w->errorPlot()->line(1).points.size(), qsizetype(s.count));
    QCOMPARE(w->errorPlot()->line(1).points.last().y(), expected.errors().back().north);

    // Kept for the next window, until cleared.
    w->findChild<QPushButton *>(QStringLiteral("Exit"))->click();
    QTRY_VERIFY(!r.nav.dataWindows().window(DataWindow::Scatter));
    w = static_cast<ScatterWindow *>(r.open("NavScatter", DataWindow::Scatter));
    QCOMPARE(w->reference().reference(), loadReferencePoint(r.tp.platform.settings));
    QVERIFY(textOf(w, "Reference").startsWith(QStringLiteral("47\u00b022.19")));
    answerReferenceDialog(QString(), QString(), QString(), true, &error);
    w->Reference_Click();
    QVERIFY(!w->reference().reference());
    QVERIFY(!loadReferencePoint(r.tp.platform.settings));
    QCOMPARE(textOf(w, "Reference"), QStringLiteral("none"));
    QVERIFY(!w->errorPlot()->isVisibleTo(w));
}

void TestQualityWindows::historyFollowsASatelliteAcrossChannels()
{
    Rig r;
    auto *w = static_cast<HistoryWindow *>(r.open("NavHistory", DataWindow::History));
    // Satellite 5 tracked on channel 1 for three seconds, then on channel 4 (the
    // receiver reshuffled), gone for five seconds, back on channel 2; its level rises by
    // 1 dB (five fifths) a second.
    const struct {
        int second, channel;
    } steps[] = {{0, 1}, {1, 1}, {2, 1}, {3, 4}, {4, 4}, {10, 2}, {11, 2}};
    for (const auto &st : steps) {
        r.tp.clock.time =
            QDateTime::fromMSecsSinceEpoch(r.openedMs + st.second * 1000, QTimeZone::utc());
        QByteArray payload(46, '\0');
        const int p = 5 * st.channel - 1 - 3; // frame position to payload index
        payload[p] = 5;
        payload[p + 1] = char(0x0F);
        payload[p + 2] = char(100 + 5 * st.second);
        payload[p + 4] = char(64); // 45 degrees
        r.port->feed(buildFrame(0xCB, payload));
    }
    w->refresh();
    QVERIFY(!w->satellitePlot()->isVisibleTo(w));
    w->findChild<QCheckBox *>(QStringLiteral("BySatellite"))->click();
    QVERIFY(w->levelsBySatellite());
    QVERIFY(w->satellitePlot()->isVisibleTo(w));
    QVERIFY(!w->plot(1)->isVisibleTo(w));
    const QList<QPointF> five = w->satelliteLevel(5);
    QCOMPARE(five.size(), qsizetype(7));
    for (qsizetype i = 0; i < five.size(); ++i) {
        QCOMPARE(five[i].x(), double(steps[i].second));
        QCOMPARE(five[i].y(), 20.0 + steps[i].second);
    }
    // One line across the channel change; a gap where it was not tracked.
    QCOMPARE(w->satellitePlot()->lineCount(), 1);
    const QList<QList<QPointF>> pieces = w->satellitePlot()->pieces(0);
    QCOMPARE(pieces.size(), qsizetype(2));
    QCOMPARE(pieces[0].size(), qsizetype(5));

    // The same dots against elevation, in their own window.
    w->findChild<QPushButton *>(QStringLiteral("LevelElevation"))->click();
    QVERIFY(w->levelElevationWindow() && w->levelElevationWindow()->isVisible());
    const auto &dots = w->levelElevationWindow()->plot()->points();
    QCOMPARE(dots.size(), std::size_t(1));
    QCOMPARE(dots.at(5).size(), std::size_t(7));
    QCOMPARE(dots.at(5).front().elevationDeg, 45.0);
    QImage img(QSize(500, 320), QImage::Format_ARGB32);
    w->levelElevationWindow()->plot()->resize(img.size());
    w->levelElevationWindow()->plot()->render(&img);
}

void TestQualityWindows::messagesWindowByKeyboard()
{
    Rig r;
    auto *w = static_cast<MessagesWindow *>(r.open("NavMessages", DataWindow::Messages));
    QApplication::setActiveWindow(w);
    r.run(1000);
    QTRY_VERIFY(w->log()->rowCount() >= 2);
    // Tab reaches every control in reading order, the table left by one Tab.
    const QStringList order = {"Direction", "MessageType", "Search",  "MessageTable", "Pause",
                               "Clear",     "Copy",        "SaveCsv", "Exit"};
    w->findChild<QWidget *>(QStringLiteral("Direction"))->setFocus();
    QStringList reached;
    for (int i = 0; i < order.size(); ++i) {
        QTRY_VERIFY(QApplication::focusWidget());
        reached << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(reached, order);
    QCOMPARE(w->findChild<QComboBox *>(QStringLiteral("Direction"))->accessibleName(),
             QStringLiteral("Direction filter"));
    QCOMPARE(w->findChild<QComboBox *>(QStringLiteral("MessageType"))->accessibleName(),
             QStringLiteral("Type filter"));
    QCOMPARE(w->findChild<QLineEdit *>(QStringLiteral("Search"))->accessibleName(),
             QStringLiteral("Search"));
    // Ctrl+C on the table copies the selected rows, tab-separated.
    w->table()->selectRow(1);
    w->table()->setFocus();
    QTest::keyClick(w->table(), Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    QCOMPARE(copied.count(QLatin1Char('\t')), MessageLog::kColumns - 1);
    QCOMPARE(copied, w->log()->rowsText({1}, QLatin1Char('\t')));
    // Typed into the search box and Return, the view narrows to the satellite messages.
    QTest::keyClicks(w->findChild<QLineEdit *>(QStringLiteral("Search")), QStringLiteral("cb cb"));
    QTest::keyClick(w->findChild<QLineEdit *>(QStringLiteral("Search")), Qt::Key_Return);
    QVERIFY(w->log()->rowCount() >= 1);
    for (int row = 0; row < w->log()->rowCount(); ++row)
        QCOMPARE(w->log()->index(row, MessageLog::Name).data().toString(),
                 QStringLiteral("satellites"));
}

void TestQualityWindows::searchWaitsForTheLastKey_data()
{
    // Steps in the search box: «type:TEXT» (\b a Backspace), «wait:MS» (the event loop
    // turning), «return», «settle» (until the delay is over); then, before the event loop
    // turns again, whether the view is narrowed to the search and how long the filter
    // still waits (-1: it does not).
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("narrowed");
    QTest::addColumn<int>("waitingMs");
    QTest::newRow("typed: the filter waits a quarter second")
        << QStringList{"type:cb cb"} << false << 250;
    QTest::newRow("a key 100 ms later waits anew")
        << QStringList{"type:cb c", "wait:100", "type:b"} << false << 250;
    QTest::newRow("Return filters at once") << QStringList{"type:cb cb", "return"} << true << -1;
    QTest::newRow("after the wait, filtered") << QStringList{"type:cb cb", "settle"} << true << -1;
    QTest::newRow("emptied by Backspace, all rows back after the wait")
        << QStringList{"type:cb cb", "return", "type:\b\b\b\b\b", "settle"} << false << -1;
}

void TestQualityWindows::searchWaitsForTheLastKey()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, narrowed);
    QFETCH(int, waitingMs);
    Rig r;
    auto *w = static_cast<MessagesWindow *>(r.open("NavMessages", DataWindow::Messages));
    r.run(2000);
    QTRY_VERIFY(w->log()->rowCount() >= 4);
    auto *search = w->findChild<QLineEdit *>(QStringLiteral("Search"));
    auto *delay = w->findChild<QTimer *>(QStringLiteral("SearchDelay"));
    QVERIFY(search && delay);
    for (const QString &step : steps) {
        const QString arg = step.section(QLatin1Char(':'), 1);
        if (step.startsWith(QLatin1String("type:"))) {
            for (QChar c : arg) {
                if (c == QLatin1Char('\b'))
                    QTest::keyClick(search, Qt::Key_Backspace);
                else
                    QTest::keyClicks(search, QString(c));
            }
        } else if (step.startsWith(QLatin1String("wait:"))) {
            QTest::qWait(arg.toInt());
        } else if (step == QLatin1String("return")) {
            QTest::keyClick(search, Qt::Key_Return);
        } else {
            QTRY_VERIFY(!delay->isActive());
        }
    }
    // A satellite message a second: the search keeps those alone.
    int satellites = 0;
    for (int row = 0; row < w->log()->rowCount(); ++row)
        satellites += w->log()->index(row, MessageLog::Name).data() == QStringLiteral("satellites");
    QVERIFY(satellites >= 2);
    QCOMPARE(w->log()->rowCount() == satellites, narrowed);
    QCOMPARE(delay->isActive(), waitingMs >= 0);
    // Started by the last key: nothing can have taken more than a few ms off the wait.
    if (waitingMs >= 0) {
        QCOMPARE(delay->interval(), waitingMs);
        QVERIFY2(delay->remainingTime() > waitingMs - 50,
                 qPrintable(QString::number(delay->remainingTime())));
    }
}

void TestQualityWindows::messageCellsDrawTheirText_data()
{
    // A cell of the first of two rows, that row selected or not, drawn once in the view's
    // font and then, when a scale is given, in that font made larger: its background is
    // the view's (or the selection's) and its text is drawn in the matching colour.
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<double>("scale");
    QTest::newRow("bytes") << int(MessageLog::Bytes) << false << 1.0;
    QTest::newRow("bytes, selected") << int(MessageLog::Bytes) << true << 1.0;
    QTest::newRow("time") << int(MessageLog::Time) << false << 1.0;
    QTest::newRow("time, selected") << int(MessageLog::Time) << true << 1.0;
    QTest::newRow("length, on the right") << int(MessageLog::Length) << false << 1.0;
    QTest::newRow("length, on the right in a larger font")
        << int(MessageLog::Length) << false << 1.5;
}

void TestQualityWindows::messageCellsDrawTheirText()
{
    QFETCH(int, column);
    QFETCH(bool, selected);
    QFETCH(double, scale);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    MessagesWindow w(g);
    w.resize(1000, 400);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    for (int i = 0; i < 2; ++i)
        w.log()->addSent(navFrame({{3, {0x04}}}), 0);
    w.log()->flush();
    if (selected)
        w.table()->selectRow(0);
    if (scale != 1.0) {
        // The texts were laid out in the first font; the larger one must not reuse that.
        w.table()->viewport()->grab();
        QFont larger = w.table()->font();
        larger.setPointSizeF(larger.pointSizeF() * scale);
        w.table()->setFont(larger);
        w.table()->verticalHeader()->setDefaultSectionSize(QFontMetrics(larger).height() + 4);
    }
    const QRect cell = w.table()->visualRect(w.log()->index(0, column));
    const QImage img = w.table()->viewport()->grab(cell).toImage();
    const QPalette::ColorGroup group = w.isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    const QPalette &pal = w.table()->palette();
    const QColor back = pal.color(group, selected ? QPalette::Highlight : QPalette::Base);
    const QColor text = pal.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    const auto distance = [](QColor a, QColor b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue());
    };
    int inText = 0;
    int leftmost = img.width();
    int rightmost = -1;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (distance(img.pixelColor(x, y), text) < 60) {
                ++inText;
                leftmost = std::min(leftmost, x);
                rightmost = std::max(rightmost, x);
            }
    QCOMPARE(img.pixelColor(img.width() / 2, 0), back);
    QVERIFY2(inText >= 10, qPrintable(QString::number(inText)));
    // Left-aligned text starts at the cell's margin; the length is set to the right.
    if (column == MessageLog::Length) {
        QVERIFY2(leftmost > img.width() / 2, qPrintable(QString::number(leftmost)));
        QVERIFY2(rightmost >= img.width() - 8 && rightmost < img.width() - 2,
                 qPrintable(QStringLiteral("%1 of %2").arg(rightmost).arg(img.width())));
    } else
        QVERIFY2(leftmost < 10, qPrintable(QString::number(leftmost)));
}
