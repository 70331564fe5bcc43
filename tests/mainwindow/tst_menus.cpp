#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "mainwindow/navigate.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>

namespace {

struct Rig {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    FakeSerialPort *port = new FakeSerialPort;
    Navigate nav{g, quality, std::unique_ptr<SerialPort>(port)};

    Rig()
    {
        nav.Form_Load();
        port->open();
    }
    void trigger(const QString &item)
    {
        QAction *a = nav.menuItem(item);
        QVERIFY2(a, qPrintable(item));
        a->trigger();
    }
};

} // namespace

class TestMenus : public QObject {
    Q_OBJECT
private slots:
    void captionsAndAccessKeys_data();
    void captionsAndAccessKeys();
    void confirmedCommands_data();
    void confirmedCommands();
    void viewItemsSendTheirRequests_data();
    void viewItemsSendTheirRequests();
    void choosingConditionTwiceSendsTwice();
    void setReceiverModeDoesNothing();
    void timeZoneMenuHasTwentyFiveHours();
    void showingTheWindowSendsStartRequests();
    void returnFromAnotherProgram_data();
    void returnFromAnotherProgram();
    void exitClosesPortAndDialog();
};

void TestMenus::captionsAndAccessKeys_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    const QList<QPair<const char *, const char *>> items = {
        {"mnuFile", "&File"},
        {"NavExit", "E&xit"},
        {"mnuView", "&View"},
        {"NavCond", "&Condition"},
        {"NavDiag", "&Diagnosis"},
        {"NavPos", "&Position"},
        {"NavMode", "Receiver &Mode"},
        {"NavRevSat", "Receive &Sat"},
        {"NavStamp", "&Time Stamp"},
        {"NavLevels", "Signal &Levels"},
        {"NavHistory", "H&istory"},
        {"NavScatter", "Position Sc&atter"},
        {"ShowSat", "S&how Sat Position"},
        {"ShowSatPos(0)", "None"},
        {"ShowSatPos(3)", "Level and Number"},
        {"ShoStatWin", "Show Status Window"},
        {"mnuSetup", "&Setup"},
        {"mnuPosition", "Set &Position"},
        {"mnuHeight", "Set &Height"},
        {"mnuTime", "Set &Time"},
        {"mnuTimeStamp", "Set Time &Stamp"},
        {"mnuMode", "Set Receiver &Mode"},
        {"mnuReset", "Set System &Reset"},
        {"mnuCold", "Set Start &Cold Start Fix"},
        {"SetLocalTZ", "&Time Zone"},
        {"mnuHelp", "&Help"},
        {"NavAbout", "&About"},
    };
    for (const auto &[name, caption] : items)
        QTest::newRow(name) << QString(name) << QString(caption);
}

void TestMenus::captionsAndAccessKeys()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    Rig r;
    QAction *a = r.nav.menuItem(name);
    QVERIFY(a);
    QCOMPARE(a->text(), caption);
}

void TestMenus::confirmedCommands_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("portOpen");
    QTest::newRow("cold start, yes") << "mnuCold" << true << "Set Cold Start Fix Now"
                                     << "Cold Start Fix" << bytes({0xB9, 0xB9, 0x8E, 0x0D}) << true;
    QTest::newRow("cold start, no") << "mnuCold" << false << "Set Cold Start Fix Now"
                                    << "Cold Start Fix" << QByteArray() << true;
    QTest::newRow("system reset, yes") << "mnuReset" << true << "Set System Reset Now"
                                       << "System Reset" << bytes({0xB6, 0xB6, 0x94, 0x0D}) << true;
    QTest::newRow("system reset, no") << "mnuReset" << false << "Set System Reset Now"
                                      << "System Reset" << QByteArray() << true;
    QTest::newRow("time stamp reset, yes")
        << "mnuTimeStamp" << true << "Reset Time Stamp"
        << "Reset Time Stamps Now" << bytes({0xB2, 0xB2, 0x00, 0x9C, 0x0D}) << true;
    QTest::newRow("time stamp reset, no") << "mnuTimeStamp" << false << "Reset Time Stamp"
                                          << "Reset Time Stamps Now" << QByteArray() << true;
    // With the port closed nothing goes out, and the user is told so.
    QTest::newRow("cold start, port closed") << "mnuCold" << true << "Set Cold Start Fix Now"
                                             << "Cold Start Fix" << QByteArray() << false;
    QTest::newRow("system reset, port closed") << "mnuReset" << true << "Set System Reset Now"
                                               << "System Reset" << QByteArray() << false;
    QTest::newRow("time stamp reset, port closed")
        << "mnuTimeStamp" << true << "Reset Time Stamp"
        << "Reset Time Stamps Now" << QByteArray() << false;
}

void TestMenus::confirmedCommands()
{
    QFETCH(QString, item);
    QFETCH(bool, yes);
    QFETCH(QString, text);
    QFETCH(QString, title);
    QFETCH(QByteArray, wire);
    QFETCH(bool, portOpen);
    Rig r;
    if (!portOpen)
        r.port->close();
    r.g.CmdBuffer = {5, 9, 9, 9, 9, 9, 0, 0, 0, 0, 0};
    r.tp.boxes.answers = {yes ? MsgAnswer::Yes : MsgAnswer::No};
    r.trigger(item);
    QCOMPARE(r.tp.boxes.shown.size(), portOpen ? 1 : 2);
    if (!portOpen) {
        QVERIFY(r.tp.boxes.shown[1].text.contains(QStringLiteral("not open")));
        QVERIFY(r.g.ErrorDis().startsWith(QStringLiteral("ERR: NotOpen")));
    }
    const auto &box = r.tp.boxes.shown[0];
    QCOMPARE(box.text, text);
    QCOMPARE(box.title, title);
    QCOMPARE(box.buttons, MsgButtons::YesNo);
    QCOMPARE(box.icon, MsgIcon::Critical);
    QCOMPARE(box.defaultButton, MsgAnswer::No);
    QCOMPARE(r.port->written, wire);
}

void TestMenus::viewItemsSendTheirRequests_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("condition") << "NavCond" << bytes({0xC6, 0xC6, 0x74, 0x0D});
    QTest::newRow("diagnosis") << "NavDiag" << bytes({0xC4, 0xC4, 0x78, 0x0D});
    QTest::newRow("position sends nothing") << "NavPos" << QByteArray();
    QTest::newRow("mode") << "NavMode" << bytes({0xC3, 0xC3, 0x7A, 0x0D});
    QTest::newRow("receive sat") << "NavRevSat" << bytes({0xCB, 0xCB, 0x6A, 0x0D});
    QTest::newRow("time stamp") << "NavStamp" << bytes({0xC5, 0xC5, 0x00, 0x76, 0x0D});
}

void TestMenus::viewItemsSendTheirRequests()
{
    QFETCH(QString, item);
    QFETCH(QByteArray, wire);
    Rig r;
    r.g.CmdBuffer = {3, 7, 7, 7, 0, 0, 0, 0, 0, 0, 0};
    r.trigger(item);
    QCOMPARE(r.port->written, wire);
    QVERIFY(r.tp.boxes.shown.isEmpty());
}

void TestMenus::choosingConditionTwiceSendsTwice()
{
    Rig r;
    r.trigger("NavCond");
    r.trigger("NavCond");
    QCOMPARE(r.port->written, bytes({0xC6, 0xC6, 0x74, 0x0D, 0xC6, 0xC6, 0x74, 0x0D}));
}

void TestMenus::setReceiverModeDoesNothing()
{
    Rig r;
    r.trigger("mnuMode");
    QVERIFY(r.port->written.isEmpty());
    QVERIFY(r.tp.boxes.shown.isEmpty());
}

void TestMenus::timeZoneMenuHasTwentyFiveHours()
{
    Rig r;
    QCOMPARE(r.nav.menuItem("TZ(0)")->text(), QStringLiteral("-12:00"));
    QCOMPARE(r.nav.menuItem("TZ(11)")->text(), QStringLiteral("-1:00"));
    QCOMPARE(r.nav.menuItem("TZ(12)")->text(), QStringLiteral("0:00 (UTC)"));
    QCOMPARE(r.nav.menuItem("TZ(13)")->text(), QStringLiteral("1:00"));
    QCOMPARE(r.nav.menuItem("TZ(24)")->text(), QStringLiteral("12:00"));
    QVERIFY(!r.nav.menuItem("TZ(25)"));
}

void TestMenus::showingTheWindowSendsStartRequests()
{
    Rig r;
    r.nav.show();
    QVERIFY(QTest::qWaitForWindowActive(&r.nav));
    QTRY_COMPARE(r.port->written, bytes({0xCA, 0xCA, 0x6C, 0x0D, 0xB7, 0xB7, 0x92, 0x0D}));

    // Another window of the program takes over, then the main window comes back.
    QWidget other;
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    r.port->written.clear();
    r.nav.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&r.nav));
    QTRY_COMPARE(r.port->written, bytes({0xCA, 0xCA, 0x6C, 0x0D, 0xB7, 0xB7, 0x92, 0x0D}));
}

void TestMenus::returnFromAnotherProgram_data()
{
    QTest::addColumn<bool>("throughOwnWindow");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("straight back") << false << QByteArray();
    QTest::newRow("through one of our windows")
        << true << bytes({0xCA, 0xCA, 0x6C, 0x0D, 0xB7, 0xB7, 0x92, 0x0D});
}

void TestMenus::returnFromAnotherProgram()
{
    QFETCH(bool, throughOwnWindow);
    QFETCH(QByteArray, wire);
    Rig r;
    QWidget own;
    own.show();
    r.nav.show();
    r.nav.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&r.nav));
    // Another program takes over: none of our windows is active.
    QApplication::setActiveWindow(nullptr);
    QTRY_VERIFY(!r.nav.isActiveWindow());
    if (throughOwnWindow) {
        own.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&own));
    }
    r.port->written.clear();
    r.nav.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&r.nav));
    QTest::qWait(50);
    QCOMPARE(r.port->written.toHex(' '), wire.toHex(' '));
}

void TestMenus::exitClosesPortAndDialog()
{
    Rig r;
    QWidget dialog;
    dialog.show();
    r.nav.setPortDialog(&dialog);
    r.nav.show();
    r.trigger("NavExit");
    QVERIFY(!r.nav.isVisible());
    QVERIFY(!dialog.isVisible());
    QVERIFY(!r.port->PortOpen());
}

QTEST_MAIN(TestMenus)
#include "tst_menus.moc"
