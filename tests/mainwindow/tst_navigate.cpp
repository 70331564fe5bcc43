#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "mainwindow/navigate.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "quality/qualitywatch.h"
#include "setup/ui/setupwindows.h"
#include "testplatform.h"
#include "widgets/picturebox.h"
#include "widgets/textline.h"
#include "widgets/twips.h"
#include "widgets/valuetext.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStatusBar>
#include <QtTest>
#include <ctime>

namespace {

// A fix as the receiver reports it: 3D fix, 11°37.7777 N, 11°37.7777 W, 200 m,
// heading 90, 30.75, 31 Dec 1999 23:59:59 UTC, 7 satellites.
QByteArray sampleFix()
{
    return navFrame({{3, {0x04}},
                     {4, {0x00, 0xA0, 0x00, 0x00}},
                     {8, {0xFF, 0x60, 0x00, 0x00}},
                     {12, {0x01, 0x90}},
                     {16, {0x01, 0x00}},
                     {19, {0x01, 0x23}},
                     {25, {0x99, 0x12, 0x31, 0x23, 0x59, 0x59}},
                     {33, {7}}});
}

struct Fixture {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    std::unique_ptr<Navigate> w;

    Fixture() { restart(); }
    // A new main window over the same settings store, as at the next program start.
    void restart()
    {
        w.reset();
        auto port = std::make_unique<FakeSerialPort>();
        w = std::make_unique<Navigate>(g, quality, std::move(port));
        w->Form_Load();
    }
    QString box(const char *name) const
    {
        return w->control(QString::fromLatin1(name))->property("text").toString();
    }
    QStringList checked(const QString &array, int count) const
    {
        QStringList out;
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("%1(%2)").arg(array).arg(i);
            if (w->menuItem(name)->isChecked())
                out << name;
        }
        return out;
    }
    bool statusShown() const { return !w->findChild<QPlainTextEdit *>("ErrorDis")->isHidden(); }
    QString stored(const char *section, const char *key) const
    {
        return tp.settings->GetSetting(section, key, "absent");
    }
};

// The main window on a real serial port: a pseudo-terminal whose far end plays the receiver.
struct OnPty {
    Pty pty;
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    Navigate w{g, quality, portOn(pty)};

    OnPty() { w.Form_Load(); }
    static std::unique_ptr<SerialPort> portOn(const Pty &pty)
    {
        auto port = std::make_unique<QtSerialPort>();
        port->setDevice(pty.slavePath());
        return port;
    }
};

} // namespace

class TestNavigate : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void emptyStoreStartsWithDefaultChecks();
    void unitsMenuShowsTheFixInItsUnits_data();
    void unitsMenuShowsTheFixInItsUnits();
    void computerTimeZoneAloneCheckedAndNamed();
    void storedSettingsSelectMenuItems_data();
    void storedSettingsSelectMenuItems();
    void menusPersistAcrossRestart();
    void submenusKeepExactlyOneCheck();
    void navigationFrameFillsEveryBox();
    void noFixLooksStale_data();
    void noFixLooksStale();
    void dateFitsItsBox_data();
    void dateFitsItsBox();
    void navigationFrameTurnsHeadingLine();
    void plotRedrawnAfterSpeedBeforeTime();
    void everyNavigationFrameRedrawsPlot();
    void labelModeShowsAtNextRedraw();
    void timeZoneAppliesFromNextMessage();
    void resizeKeepsWindowShape_data();
    void resizeKeepsWindowShape();
    void maximisedKeepsSystemHeight();
    void windowStateRoundTrips_data();
    void windowStateRoundTrips();
    void panelSitsAtDesignPlaces();
    void framesFromPseudoTerminalReachWindow();
    void statusLineTellsTheTruthAboutTheLink();
};

void TestNavigate::emptyStoreStartsWithDefaultChecks()
{
    Fixture f;
    QCOMPARE(f.checked("TZ", 25), QStringList{"TZ(5)"});
    QCOMPARE(f.checked("ShowSatPos", 4), QStringList{"ShowSatPos(0)"});
    QVERIFY(!f.w->menuItem("ShoStatWin")->isChecked());
    QVERIFY(!f.statusShown());
    QCOMPARE(f.g.TimeZoneIndex, 5);
    QCOMPARE(f.g.SatLabelMode, 0);
    QCOMPARE(f.g.HeadingLineLength, 1.5f);
    QCOMPARE(f.box("CurHead"), "0");
    // The empty plot is drawn at load: the centre mark sits in the middle.
    const QImage plot = f.w->Picture1().image();
    QCOMPARE(qGray(plot.pixel(plot.width() / 2, plot.height() / 2)), 0);
    QCOMPARE(f.w->control("Picture1")->pos(), QPoint(0, 0));
    // Loading reads; nothing is written until the user changes something.
    QCOMPARE(f.stored("Time Zone", "Zone"), "absent");
}

void TestNavigate::storedSettingsSelectMenuItems_data()
{
    QTest::addColumn<QString>("zone");
    QTest::addColumn<QString>("sats");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("zoneIndex");
    QTest::addColumn<int>("labelMode");
    QTest::addColumn<bool>("shown");

    QTest::newRow("UTC, levels, shown") << "12"
                                        << "2"
                                        << "True" << 12 << 2 << true;
    QTest::newRow("last items, hidden") << "24"
                                        << "3"
                                        << "False" << 24 << 3 << false;
    QTest::newRow("first items") << "0"
                                 << "0"
                                 << "False" << 0 << 0 << false;
    QTest::newRow("leading blank") << " 7"
                                   << "\t1"
                                   << "true" << 7 << 1 << true;
    QTest::newRow("zone past the menu") << "25"
                                        << "4"
                                        << "False" << 5 << 0 << false;
    QTest::newRow("negative") << "-1"
                              << "-1"
                              << "0" << 5 << 0 << false;
    QTest::newRow("not a number") << "abc"
                                  << "x"
                                  << "maybe" << 5 << 0 << false;
    QTest::newRow("empty text") << ""
                                << ""
                                << "" << 5 << 0 << false;
    QTest::newRow("fraction") << "7.5"
                              << "1.5"
                              << "1" << 5 << 0 << true;
    QTest::newRow("huge") << "99999999999"
                          << "1e300"
                          << "False" << 5 << 0 << false;
    QTest::newRow("number then junk") << "13h"
                                      << "2x"
                                      << "False" << 13 << 2 << false;
}

void TestNavigate::storedSettingsSelectMenuItems()
{
    QFETCH(QString, zone);
    QFETCH(QString, sats);
    QFETCH(QString, status);
    QFETCH(int, zoneIndex);
    QFETCH(int, labelMode);
    QFETCH(bool, shown);

    Fixture f;
    f.tp.settings->SaveSetting("Time Zone", "Zone", zone);
    f.tp.settings->SaveSetting("Show", "Sats", sats);
    f.tp.settings->SaveSetting("Show", "Status", status);
    f.restart();
    QCOMPARE(f.g.TimeZoneIndex, zoneIndex);
    QCOMPARE(f.g.SatLabelMode, labelMode);
    QCOMPARE(f.checked("TZ", 25), QStringList{QStringLiteral("TZ(%1)").arg(zoneIndex)});
    QCOMPARE(f.checked("ShowSatPos", 4),
             QStringList{QStringLiteral("ShowSatPos(%1)").arg(labelMode)});
    QCOMPARE(f.statusShown(), shown);
    QCOMPARE(f.w->menuItem("ShoStatWin")->isChecked(), shown);
}

void TestNavigate::menusPersistAcrossRestart()
{
    Fixture f;
    f.w->menuItem("TZ(12)")->trigger();
    f.w->menuItem("ShowSatPos(2)")->trigger();
    f.w->menuItem("ShoStatWin")->trigger();
    QCOMPARE(f.stored("Time Zone", "Zone"), "12");
    QCOMPARE(f.stored("Show", "Sats"), "2");
    QCOMPARE(f.stored("Show", "Status"), "True");
    QVERIFY(f.statusShown());

    f.restart();
    QCOMPARE(f.checked("TZ", 25), QStringList{"TZ(12)"});
    QCOMPARE(f.checked("ShowSatPos", 4), QStringList{"ShowSatPos(2)"});
    QVERIFY(f.w->menuItem("ShoStatWin")->isChecked());
    QVERIFY(f.statusShown());

    f.w->menuItem("ShoStatWin")->trigger();
    QCOMPARE(f.stored("Show", "Status"), "False");
    QVERIFY(!f.statusShown());
    QVERIFY(!f.w->menuItem("ShoStatWin")->isChecked());
    f.restart();
    QVERIFY(!f.statusShown());
}

void TestNavigate::submenusKeepExactlyOneCheck()
{
    Fixture f;
    for (int i : {3, 3, 0, 24, 12, 12, 5}) {
        f.w->menuItem(QStringLiteral("TZ(%1)").arg(i))->trigger();
        QCOMPARE(f.checked("TZ", 25), QStringList{QStringLiteral("TZ(%1)").arg(i)});
        QCOMPARE(f.g.TimeZoneIndex, i);
    }
    for (int i : {1, 1, 3, 0, 0, 2}) {
        f.w->menuItem(QStringLiteral("ShowSatPos(%1)").arg(i))->trigger();
        QCOMPARE(f.checked("ShowSatPos", 4), QStringList{QStringLiteral("ShowSatPos(%1)").arg(i)});
        QCOMPARE(f.g.SatLabelMode, i);
    }
}

void TestNavigate::navigationFrameFillsEveryBox()
{
    Fixture f;
    f.g.OnReceive(sampleFix());
    QCOMPARE(f.box("Vality"), "3D Fix");
    QCOMPARE(f.box("CurLat"), " 11°37.7777");
    QCOMPARE(f.box("CurLon"), "-11°37.7777");
    QCOMPARE(f.box("CurHeight"), "200");
    QCOMPARE(f.box("CurHead"), "90");
    QCOMPARE(f.box("CurSpeed"), "30.75");
    QCOMPARE(f.box("TimeDate"), "12/31/1999 4:59:59 PM");
    QCOMPARE(f.box("Sats"), "7");
    QCOMPARE(f.g.HeadingFraction, 0.25);
    QVERIFY(f.g.ErrorDis().startsWith("CMD: CA"));

    // A corrupted frame changes nothing.
    QByteArray bad = navFrame({{3, {0x01}}, {33, {3}}});
    bad[10] = char(bad[10] ^ 0x40);
    f.g.OnReceive(bad);
    QCOMPARE(f.box("Vality"), "3D Fix");
    QCOMPARE(f.box("Sats"), "7");

    // All-zero position shows zero degrees.
    f.g.OnReceive(navFrame({}));
    QCOMPARE(f.box("CurLat"), " 0°00");
    QCOMPARE(f.box("CurLon"), " 0°00");
    QCOMPARE(f.box("CurHeight"), "0");
    QCOMPARE(f.box("CurHead"), "0");
    QCOMPARE(f.box("Vality"), "0 Sats");
    QCOMPARE(f.g.HeadingFraction, 0.0);
}

void TestNavigate::noFixLooksStale_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("noFix");
    QTest::newRow("cold start, 0 satellites") << 0x00 << true;
    QTest::newRow("2 satellites") << 0x02 << true;
    QTest::newRow("2D fix") << 0x03 << false;
    QTest::newRow("3D fix") << 0x04 << false;
    QTest::newRow("InValid 5") << 0x05 << true;
    QTest::newRow("InValid 15") << 0x0F << true;
    QTest::newRow("2D fix with the high bits set") << 0x13 << false;
}

// The position of a message without a fix is the receiver's old guess: it must not look
// measured. The line says so; a fix brings the normal look back with its message.
void TestNavigate::noFixLooksStale()
{
    QFETCH(int, status);
    QFETCH(bool, noFix);
    Fixture f;
    const auto colour = [&](const char *name) {
        return f.w->control(name)->palette().color(QPalette::Text);
    };
    const auto saysNoFix = [&] {
        return f.w->linkStatus()->text().split("  \u00b7  ").contains("no fix");
    };
    const QColor live = colour("CurLat");
    const QColor grey = f.w->palette().color(QPalette::Disabled, QPalette::Text);
    QVERIFY(live != grey);
    const char *const measured[] = {"CurLat", "CurLon", "CurHeight", "CurHead", "CurSpeed"};

    f.g.OnReceive(sampleFix());
    f.g.OnReceive(navFrame({{3, {status}}, {4, {0x00, 0xA0, 0x00, 0x00}}, {12, {0x01, 0x90}}}));
    for (const char *name : measured)
        QVERIFY2(colour(name) == (noFix ? grey : live), name);
    for (const char *name : {"Vality", "Sats", "TimeDate"})
        QVERIFY2(colour(name) == live, name);
    QVERIFY(!f.w->Picture1().dimmed());
    QCOMPARE(saysNoFix(), noFix);

    f.g.OnReceive(sampleFix());
    for (const char *name : measured)
        QVERIFY2(colour(name) == live, name);
    QVERIFY(!saysNoFix());
}

void TestNavigate::dateFitsItsBox_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("shown");
    QTest::newRow("United States")
        << QLocale(QLocale::English, QLocale::UnitedStates) << "11/29/1999 5:00:00 PM";
    QTest::newRow("Germany") << QLocale(QLocale::German, QLocale::Germany) << "29.11.1999 17:00:00";
}

void TestNavigate::dateFitsItsBox()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, shown);
    QLocale::setDefault(locale);
    Fixture f;
    f.w->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.w.get()));
    f.g.OnReceive(navFrame({{25, {0x99, 0x11, 0x30, 0x00, 0x00, 0x00}}}));
    auto *box = static_cast<ValueText *>(f.w->control("TimeDate"));
    QCOMPARE(box->text(), shown);
    // The room inside the box's frame and its margins.
    const int room = box->textRect().width();
    QVERIFY2(
        box->fontMetrics().horizontalAdvance(shown) <= room,
        qPrintable(
            QStringLiteral("%1 > %2").arg(box->fontMetrics().horizontalAdvance(shown)).arg(room)));
    // A shorter text gets the panel's size back.
    const QFont fitted = box->font();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    f.g.OnReceive(navFrame({{25, {0x99, 0x01, 0x01, 0x12, 0x00, 0x00}}}));
    QVERIFY(box->font().pointSizeF() >= fitted.pointSizeF());
}

void TestNavigate::navigationFrameTurnsHeadingLine()
{
    Fixture f;
    f.w->control("Picture1")->resize(400, 400);
    f.g.OnReceive(navFrame({{16, {0x00, 0x00}}}));
    const QImage north = f.w->Picture1().image().copy();
    QVERIFY(qGray(north.pixel(200, 120)) < 160);
    QVERIFY(qGray(north.pixel(280, 200)) > 200);

    f.g.OnReceive(navFrame({{16, {0x01, 0x00}}}));
    const QImage east = f.w->Picture1().image();
    QVERIFY(qGray(east.pixel(200, 120)) > 200);
    QVERIFY(qGray(east.pixel(280, 200)) < 160);
}

void TestNavigate::plotRedrawnAfterSpeedBeforeTime()
{
    Fixture f;
    QStringList seen;
    connect(&f.w->Picture1(), &PictureBox::cleared, [&] {
        seen << f.box("CurHead") + "|" + f.box("CurSpeed") + "|" + f.box("TimeDate") + "|" +
                    f.box("Sats") + "|" + QString::number(f.g.HeadingFraction);
    });
    f.g.OnReceive(sampleFix());
    // The heading and the speed are new, the time and the count still the old ones.
    QCOMPARE(seen, QStringList{"90|30.75|||0.25"});
}

void TestNavigate::everyNavigationFrameRedrawsPlot()
{
    Fixture f;
    f.g.OnReceive(sampleFix());
    const QImage plot = f.w->Picture1().image().copy();
    // Scribble over the plot; the same message again draws it afresh.
    f.w->Picture1().setColor(Qt::red);
    f.w->Picture1().circle(QPointF(1, 1), 0.5, true);
    QVERIFY(f.w->Picture1().image() != plot);
    f.g.OnReceive(sampleFix());
    QCOMPARE(f.w->Picture1().image(), plot);
}

void TestNavigate::labelModeShowsAtNextRedraw()
{
    Fixture f;
    f.g.SatTable[1] = {0, 12, 128, 7, 0.25, 0.5};
    f.g.OnReceive(sampleFix());
    const QImage withoutLabels = f.w->Picture1().image().copy();

    f.w->menuItem("ShowSatPos(3)")->trigger();
    QCOMPARE(f.w->Picture1().image(), withoutLabels);
    // A satellite message refreshes the table but not the plot.
    f.g.OnReceive(buildFrameOfType(0xCB));
    QCOMPARE(f.w->Picture1().image(), withoutLabels);

    f.g.SatTable[1] = {0, 12, 128, 7, 0.25, 0.5};
    f.g.OnReceive(sampleFix());
    QVERIFY(f.w->Picture1().image() != withoutLabels);
}

void TestNavigate::timeZoneAppliesFromNextMessage()
{
    Fixture f;
    f.g.OnReceive(sampleFix());
    QCOMPARE(f.box("TimeDate"), "12/31/1999 4:59:59 PM");
    f.w->menuItem("TZ(12)")->trigger();
    QCOMPARE(f.box("TimeDate"), "12/31/1999 4:59:59 PM");
    QCOMPARE(f.stored("Time Zone", "Zone"), "12");
    f.g.OnReceive(sampleFix());
    QCOMPARE(f.box("TimeDate"), "12/31/1999 11:59:59 PM");
    f.w->menuItem("TZ(13)")->trigger();
    f.g.OnReceive(sampleFix());
    QCOMPARE(f.box("TimeDate"), "1/1/2000 12:59:59 AM");
}

void TestNavigate::resizeKeepsWindowShape_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("expectedWidth");
    QTest::addColumn<int>("expectedHeight");
    QTest::newRow("too narrow") << 3000 << 3000 << 5200 << 2900;
    QTest::newRow("tall") << 9000 << 9000 << 9000 << 6700;
    QTest::newRow("flat") << 7500 << 1500 << 7500 << 5200;
}

void TestNavigate::resizeKeepsWindowShape()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, expectedWidth);
    QFETCH(int, expectedHeight);
    Fixture f;
    Navigate &w = *f.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The rules speak of the outer size, frame included; the status line comes below.
    const QSize frame = w.frameGeometry().size() - w.size();
    const QSize statusLine(0, w.statusBar()->sizeHint().height());
    w.resize(QSize(twipsToPixels(width, &w), twipsToPixels(height, &w)) - frame);
    QTRY_COMPARE(w.frameGeometry().size(),
                 QSize(twipsToPixels(expectedWidth, &w), twipsToPixels(expectedHeight, &w)) +
                     statusLine);
    const int side = twipsToPixels(expectedWidth - 3000, &w);
    QCOMPARE(w.control("Picture1")->geometry(), QRect(0, 0, side, side));
    QCOMPARE(w.Picture1().image().deviceIndependentSize().toSize(), QSize(side, side));
    QCOMPARE(w.control("CurLat")->x(), twipsToPixels(expectedWidth - 1520, &w));
    QCOMPARE(w.control("Vality")->x(), twipsToPixels(expectedWidth - 1040, &w));
    QCOMPARE(w.control("ErrorDis")->x(), twipsToPixels(expectedWidth - 2950, &w));

    // Minimised: nothing moves; restored: laid out again.
    const QRect plotBefore = w.control("Picture1")->geometry();
    w.showMinimized();
    QCOMPARE(w.control("Picture1")->geometry(), plotBefore);
    w.showNormal();
    QTRY_COMPARE(w.control("Picture1")->geometry(), plotBefore);
}

void TestNavigate::maximisedKeepsSystemHeight()
{
    Fixture f;
    Navigate &w = *f.w;
    w.showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTRY_VERIFY(w.isMaximized());
    const QSize available = w.screen()->availableGeometry().size();
    QTRY_COMPARE(w.frameGeometry().size(), available);
    const int outerTwips = pixelsToTwips(w.frameGeometry().width(), &w);
    // The largest square beside the panel that the client area holds.
    const int side = qMin(twipsToPixels(outerTwips - 3000, &w), w.centralWidget()->height());
    QTRY_COMPARE(w.control("Picture1")->geometry(), QRect(0, 0, side, side));
    QCOMPARE(w.control("Vality")->x(), twipsToPixels(outerTwips - 1040, &w));
    // The height is the system's, not width - 2300.
    QCOMPARE(w.frameGeometry().height(), available.height());
}

void TestNavigate::windowStateRoundTrips_data()
{
    QTest::addColumn<QList<int>>("states"); // Qt::WindowState values, the last one normal
    QTest::newRow("normal, maximised, normal")
        << QList<int>{Qt::WindowMaximized, Qt::WindowNoState};
    QTest::newRow("minimised, restored") << QList<int>{Qt::WindowMinimized, Qt::WindowNoState};
    QTest::newRow("maximised, minimised, maximised, normal")
        << QList<int>{Qt::WindowMaximized, Qt::WindowMinimized | Qt::WindowMaximized,
                      Qt::WindowMaximized, Qt::WindowNoState};
}

void TestNavigate::windowStateRoundTrips()
{
    QFETCH(QList<int>, states);
    Fixture f;
    Navigate &w = *f.w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QSize frame = w.frameGeometry().size() - w.size();
    const QSize statusLine(0, w.statusBar()->sizeHint().height());
    w.resize(QSize(twipsToPixels(7500, &w), twipsToPixels(5200, &w)) - frame + statusLine);
    QTRY_COMPARE(w.frameGeometry().size(),
                 QSize(twipsToPixels(7500, &w), twipsToPixels(5200, &w)) + statusLine);
    const QSize normal = w.size();
    const QRect plot = w.control("Picture1")->geometry();

    for (int state : states) {
        w.setWindowState(Qt::WindowStates(state));
        QTest::qWait(50);
        if (state & Qt::WindowMinimized)
            continue;
        const bool maximised = state & Qt::WindowMaximized;
        QTRY_COMPARE(w.isMaximized(), maximised);
        if (maximised)
            QTRY_COMPARE(w.frameGeometry().size(), w.screen()->availableGeometry().size());
        // Every part of the sky plot stays inside the client area.
        QTRY_VERIFY(w.centralWidget()->rect().contains(w.control("Picture1")->geometry()));
    }
    QTRY_COMPARE(w.size(), normal);
    QTRY_COMPARE(w.control("Picture1")->geometry(), plot);
    QVERIFY(w.frameGeometry().bottom() <= w.screen()->availableGeometry().bottom());
}

void TestNavigate::panelSitsAtDesignPlaces()
{
    Fixture f;
    Navigate &w = *f.w;
    const auto at = [&](int left, int top, int width, int height) {
        return twipsRect(left, top, width, height, &w);
    };
    QCOMPARE(w.control("Picture1")->geometry(), at(0, 0, 3450, 3435));
    QCOMPARE(w.control("TimeDate")->geometry(), at(4320, 0, 1875, 285));
    QCOMPARE(w.control("CurLat")->geometry(), at(4800, 300, 1395, 285));
    QCOMPARE(w.control("Vality")->geometry(), at(5280, 1800, 915, 315));
    QCOMPARE(w.control("Label1(6)")->geometry(), at(4320, 1920, 555, 195));
    QCOMPARE(static_cast<QLabel *>(w.control("Label1(1)"))->text(), "Lat");
    QCOMPARE(static_cast<QLabel *>(w.control("Label1(2)"))->text(), "Long");
    QCOMPARE(static_cast<QLabel *>(w.control("Label1(3)"))->text(), "Alt");
    QCOMPARE(static_cast<QLabel *>(w.control("Label1(4)"))->text(), "Head");
    QCOMPARE(static_cast<QLabel *>(w.control("Label1(5)"))->text(), "Speed");
    QCOMPARE(static_cast<QLabel *>(w.control("Label1(6)"))->text(), "Sats");
    QCOMPARE(w.windowTitle(), "Navigate");
}

void TestNavigate::framesFromPseudoTerminalReachWindow()
{
    OnPty rig;
    QVERIFY(rig.pty.ok());
    Pty &pty = rig.pty;
    GPS_Main &g = rig.g;
    Navigate &w = rig.w;
    QVERIFY(w.MSComm1().open());

    const QByteArray fix = sampleFix();
    // Torn across two writes, as a serial line may deliver it.
    QVERIFY(pty.write(QByteArray("\x11\x22") + fix.left(20)));
    QTest::qWait(50);
    QVERIFY(pty.write(fix.mid(20)));
    const auto text = [&](const char *name) {
        return w.control(name)->property("text").toString();
    };
    QTRY_COMPARE(text("Sats"), "7");
    QCOMPARE(text("CurLat"), " 11°37.7777");
    QCOMPARE(text("CurHead"), "90");
    QCOMPARE(text("TimeDate"), "12/31/1999 4:59:59 PM");

    w.menuItem("TZ(12)")->trigger();
    QVERIFY(pty.write(navFrame({{16, {0x02, 0x00}}, {25, {0x99, 0x12, 0x31, 0x23, 0x59, 0x59}}})));
    QTRY_COMPARE(text("CurHead"), "180");
    QCOMPARE(text("TimeDate"), "12/31/1999 11:59:59 PM");
    QCOMPARE(g.HeadingFraction, 0.5);
    w.MSComm1().close();
}

void TestNavigate::statusLineTellsTheTruthAboutTheLink()
{
    OnPty rig;
    QVERIFY(rig.pty.ok());
    Pty &pty = rig.pty;
    TestPlatform &tp = rig.tp;
    GPS_Main &g = rig.g;
    Navigate &w = rig.w;
    QVERIFY(w.MSComm1().open());
    const auto status = [&] {
        w.updateLinkStatus();
        return w.linkStatus()->text();
    };
    const auto latColour = [&] { return w.control("CurLat")->palette().color(QPalette::Text); };
    const QColor live = latColour();
    QVERIFY(status().startsWith("Open"));
    QVERIFY(status().endsWith(pty.slavePath() + " 9600,e,8,1"));
    QVERIFY(status().contains("no navigation message yet"));

    // Live, then three seconds of silence: stale; the next message: live again.
    QVERIFY(pty.write(sampleFix() + buildFrameOfType(0xCB)));
    QTRY_COMPARE(w.control("Sats")->property("text").toString(), "7");
    QVERIFY(status().contains("nav 0.0 s ago"));
    QVERIFY(status().contains("2 good, 0 damaged frames"));
    tp.clock.time = tp.clock.time.addMSecs(3500);
    QVERIFY(status().contains("no data for 3.5 s"));
    QVERIFY(w.showsStale());
    QVERIFY(w.Picture1().dimmed());
    QVERIFY(latColour() != live);
    QVERIFY(pty.write(sampleFix()));
    QTRY_VERIFY(!w.showsStale());
    QVERIFY(!w.Picture1().dimmed());
    QCOMPARE(latColour(), live);

    // Set Height answered, then one that is not.
    SetHeight height(g, &w);
    height.CurHeight->setText("420");
    height.Accuracy->setText("0");
    height.SetH_Click();
    QVERIFY(status().contains("Set Height sent  \u00b7"));
    const QByteArray sent = pty.read(12);
    QVERIFY(sent.startsWith(QByteArray::fromHex("B8B8900D")));
    QCOMPARE(sent.mid(4, 2), QByteArray::fromHex("B1B1"));
    QVERIFY(pty.write(buildFrameOfType(0xB8) + buildFrameOfType(0xB1)));
    QTRY_VERIFY(status().contains("Set Height sent, acknowledged"));
    SetHeight again(g, &w);
    again.CurHeight->setText("421");
    again.Accuracy->setText("0");
    again.SetH_Click();
    tp.clock.time = tp.clock.time.addMSecs(2500);
    QVERIFY(status().contains("Set Height sent, no answer from the receiver in 2 s"));

    // Another port: nothing of the previous receiver stays on screen.
    g.SatTable[1][1] = 12; // a satellite the old receiver tracked
    Pty other;
    QVERIFY(other.ok());
    w.MSComm1().close();
    w.MSComm1().port().setDevice(other.slavePath());
    QVERIFY(w.MSComm1().open());
    for (const char *name : {"TimeDate", "CurLat", "CurLon", "CurHeight", "Sats", "Vality"})
        QVERIFY2(w.control(name)->property("text").toString().isEmpty(), name);
    for (std::size_t row = 1; row <= 8; ++row)
        QCOMPARE(g.SatTable[row][1], 0.0);
    QVERIFY(status().startsWith("Open"));
    QVERIFY(status().endsWith(other.slavePath() + " 9600,e,8,1"));
    QVERIFY(status().contains("0 good, 0 damaged frames"));

    // The far end goes away: the loss shows at once.
    other.closeMaster();
    QTRY_VERIFY(status().contains("Lost \u2014 reopening"));
    w.MSComm1().close();
}

void TestNavigate::unitsMenuShowsTheFixInItsUnits_data()
{
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("boxes"); // CurLat, CurLon, CurHeight, CurSpeed
    // The sample fix: 10485760 / 9216 = 1137.7777... (11°37′46.667″, 11.6296296°) N and W,
    // 200 m, 30.75 km/h.
    QTest::newRow("seconds, feet, knots")
        << QStringList{"UnitsPos(2)", "UnitsHeight(1)", "UnitsSpeed(1)"}
        << QStringList{"11°37′46.67″ N", "11°37′46.67″ W", "656.2 ft", "16.6 kn"};
    QTest::newRow("decimal degrees, mph then m/s")
        << QStringList{"UnitsPos(1)", "UnitsSpeed(2)", "UnitsSpeed(3)"}
        << QStringList{"11.629630°", "-11.629630°", "200", "8.54 m/s"};
    QTest::newRow("mph") << QStringList{"UnitsSpeed(2)"}
                         << QStringList{" 11°37.7777", "-11°37.7777", "200", "19.1 mph"};
    QTest::newRow("and back to the design's")
        << QStringList{"UnitsPos(2)", "UnitsHeight(1)", "UnitsPos(0)", "UnitsHeight(0)"}
        << QStringList{" 11°37.7777", "-11°37.7777", "200", "30.75"};
}

void TestNavigate::unitsMenuShowsTheFixInItsUnits()
{
    QFETCH(QStringList, items);
    QFETCH(QStringList, boxes);
    const char *const names[] = {"CurLat", "CurLon", "CurHeight", "CurSpeed"};
    Fixture f;
    QCOMPARE(f.checked("UnitsPos", 3), QStringList{"UnitsPos(0)"});
    QCOMPARE(f.checked("UnitsSpeed", 4), QStringList{"UnitsSpeed(0)"});
    f.g.OnReceive(sampleFix());
    for (const QString &item : items)
        f.w->menuItem(item)->trigger();
    // At once, without waiting for the next fix.
    for (int i = 0; i < 4; ++i)
        QCOMPARE(f.box(names[i]), boxes[i]);
    const Units chosen = f.g.units();

    f.g.setUnits({});
    f.restart();
    QCOMPARE(f.g.units(), chosen);
    QCOMPARE(f.checked("UnitsPos", 3).size(), 1);
    QCOMPARE(f.checked("UnitsHeight", 2).size(), 1);
    QCOMPARE(f.checked("UnitsSpeed", 4).size(), 1);
    const QStringList positions = items.filter("UnitsPos");
    QCOMPARE(f.checked("UnitsPos", 3).first(),
             positions.isEmpty() ? QStringLiteral("UnitsPos(0)") : positions.last());
    f.g.OnReceive(sampleFix());
    for (int i = 0; i < 4; ++i)
        QCOMPARE(f.box(names[i]), boxes[i]);
    // The Position window shows the message as it stands, in the receiver's units.
    QVERIFY(f.box("CurHead") == "90");
}

void TestNavigate::computerTimeZoneAloneCheckedAndNamed()
{
    qputenv("TZ", "Asia/Kolkata");
    tzset();
    const auto tips = [](Fixture &f) {
        return QStringList{f.w->control("TimeDate")->toolTip(),
                           f.w->linkStatus()->toolTip().section('\n', -1)};
    };
    Fixture f;
    QCOMPARE(tips(f), QStringList(2, "Time zone: UTC−7"));
    f.w->menuItem("TZ(3)")->trigger();
    f.w->menuItem("TZComputer")->trigger();
    QVERIFY(f.checked("TZ", 25).isEmpty());
    QVERIFY(f.w->menuItem("TZComputer")->isChecked());
    QCOMPARE(f.stored("Time Zone", "Computer"), "True");
    QCOMPARE(f.stored("Time Zone", "Zone"), "3");
    f.g.OnReceive(sampleFix());
    QCOMPARE(f.box("TimeDate"), "1/1/2000 5:29:59 AM");
    QCOMPARE(tips(f), QStringList(2, "Time zone: Asia/Kolkata, IST"));

    f.restart();
    QVERIFY(f.checked("TZ", 25).isEmpty());
    QVERIFY(f.w->menuItem("TZComputer")->isChecked());
    QCOMPARE(f.g.TimeZoneIndex, 3);

    f.w->menuItem("TZ(12)")->trigger();
    QCOMPARE(f.checked("TZ", 25), QStringList{"TZ(12)"});
    QVERIFY(!f.w->menuItem("TZComputer")->isChecked());
    QCOMPARE(f.stored("Time Zone", "Computer"), "False");
    f.w->updateLinkStatus();
    QCOMPARE(tips(f), QStringList(2, "Time zone: UTC"));
    qunsetenv("TZ");
    tzset();
}

QTEST_MAIN(TestNavigate)
#include "tst_navigate.moc"
