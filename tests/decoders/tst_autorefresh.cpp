// Timed and manual refresh of the Condition and Time Stamp windows, against a fake
// port with short real intervals.
#include "decoders/refreshinterval.h"
#include "decoders/ui/autorefresh.h"
#include "decoders/ui/conditionwindow.h"
#include "decoders/ui/timestampwindow.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "mainwindow/datawindows.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

struct Rig {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    FakeSerialPort port;
    DataWindows windows{g, quality, nullptr};

    explicit Rig(DataWindow which)
    {
        g.setPort(&port);
        port.open();
        windows.show(which);
        w = static_cast<DataWindowBase *>(windows.window(which));
    }
    void click(const char *button) { w->findChild<QPushButton *>(button)->click(); }
    QLineEdit *box() { return w->findChild<QLineEdit *>("AutoRefresh"); }
    AutoRefresh &refresher()
    {
        if (auto *c = qobject_cast<ConditionWindow *>(w))
            return c->autoRefresh();
        return static_cast<TimeStampWindow *>(w)->autoRefresh();
    }
    int sent(const QByteArray &request) const { return int(port.written.count(request)); }

    DataWindowBase *w = nullptr;
};

const QByteArray kConditionRequest = bytes({0xC6, 0xC6, 0x74, 0x0D});
const QByteArray kStampSet = bytes({0xC5, 0xC5, 0x00, 0x76, 0x0D});
const QByteArray kStampReset = bytes({0xC5, 0xC5, 0x01, 0x75, 0x0D});

} // namespace

class TestAutoRefresh : public QObject {
    Q_OBJECT
private slots:
    void intervalFromBox_data();
    void intervalFromBox();
    void autoWithEmptyBoxWritesOneAndRunsEverySecond_data();
    void autoWithEmptyBoxWritesOneAndRunsEverySecond();
    void eachTickSendsOnceUntilRefreshStopsIt_data();
    void eachTickSendsOnceUntilRefreshStopsIt();
    void changedIntervalCountsAfterNextTick();
    void zeroIntervalNeverTicks();
    void invalidIntervalsAreRefused_data();
    void invalidIntervalsAreRefused();
    void refusalStopsRunningAutoRefresh();
    void searchModeTravelsWithEveryRequest();
    void closingTheWindowStopsAutoRefresh();
    void stalledLineHoldsOneRequest_data();
    void stalledLineHoldsOneRequest();
};

void TestAutoRefresh::intervalFromBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("ms"); // -1: refused
    QTest::newRow("one second") << "1" << 1000;
    QTest::newRow("two and a half") << "2.5" << 2500;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("largest") << "65.535" << 65535;
    QTest::newRow("rounded to whole ms") << "0.0126" << 13;
    QTest::newRow("leading blanks, trailing text") << " \t3s" << 3000;
    QTest::newRow("point whatever the locale") << ".25" << 250;
    QTest::newRow("exponent") << "1e1" << 10000;
    QTest::newRow("just above largest") << "65.536" << -1;
    QTest::newRow("far too large") << "1e300" << -1;
    QTest::newRow("beyond double") << "1e999" << -1;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("no number") << "abc" << -1;
    QTest::newRow("blanks only") << "   " << -1;
    QTest::newRow("comma is no decimal point") << "2,5" << 2000;
}

void TestAutoRefresh::intervalFromBox()
{
    QFETCH(QString, text);
    QFETCH(int, ms);
    const std::optional<int> got = refreshIntervalMs(text);
    QCOMPARE(got.has_value(), ms >= 0);
    if (got)
        QCOMPARE(*got, ms);
}

void TestAutoRefresh::autoWithEmptyBoxWritesOneAndRunsEverySecond_data()
{
    QTest::addColumn<int>("which");
    QTest::newRow("condition") << int(DataWindow::Condition);
    QTest::newRow("time stamp") << int(DataWindow::TimeStamp);
}

void TestAutoRefresh::autoWithEmptyBoxWritesOneAndRunsEverySecond()
{
    QFETCH(int, which);
    Rig r{DataWindow(which)};
    QVERIFY(!r.refresher().Timer1().isActive());
    r.click("Auto");
    QCOMPARE(r.box()->text(), QStringLiteral("1"));
    QVERIFY(r.refresher().Timer1().isActive());
    QCOMPARE(r.refresher().Timer1().interval(), 1000);
    // Auto itself sends nothing; the first request comes with the first tick.
    QVERIFY(r.port.written.isEmpty());
}

void TestAutoRefresh::eachTickSendsOnceUntilRefreshStopsIt_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("condition") << int(DataWindow::Condition) << kConditionRequest;
    QTest::newRow("time stamp") << int(DataWindow::TimeStamp) << kStampSet;
}

void TestAutoRefresh::eachTickSendsOnceUntilRefreshStopsIt()
{
    QFETCH(int, which);
    QFETCH(QByteArray, request);
    Rig r{DataWindow(which)};
    r.box()->setText("0.02");
    r.click("Auto");
    QCOMPARE(r.refresher().Timer1().interval(), 20);
    QTRY_VERIFY(r.sent(request) >= 3);
    // Nothing but whole requests went out.
    QCOMPARE(r.port.written.size(), r.sent(request) * request.size());

    r.click("Refresh");
    const int afterRefresh = r.sent(request);
    QVERIFY(!r.refresher().Timer1().isActive());
    QTest::qWait(100);
    QCOMPARE(r.sent(request), afterRefresh);

    // Refresh by hand, with no auto refresh running, sends exactly one.
    r.click("Refresh");
    QCOMPARE(r.sent(request), afterRefresh + 1);
}

void TestAutoRefresh::changedIntervalCountsAfterNextTick()
{
    Rig r(DataWindow::Condition);
    r.box()->setText("0.03");
    r.click("Auto");
    r.box()->setText("60");
    QCOMPARE(r.refresher().Timer1().interval(), 30);
    QTRY_COMPARE(r.sent(kConditionRequest), 1);
    QCOMPARE(r.refresher().Timer1().interval(), 60000);
    QVERIFY(r.refresher().Timer1().isActive());
}

void TestAutoRefresh::zeroIntervalNeverTicks()
{
    Rig r(DataWindow::Condition);
    r.box()->setText("0");
    r.click("Auto");
    QVERIFY(!r.refresher().Timer1().isActive());
    QTest::qWait(50);
    QVERIFY(r.port.written.isEmpty());
    QVERIFY(r.tp.boxes.shown.isEmpty());
}

void TestAutoRefresh::invalidIntervalsAreRefused_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("text");
    for (const auto &[name, which] : {std::pair{"condition", DataWindow::Condition},
                                      std::pair{"time stamp", DataWindow::TimeStamp}}) {
        for (const char *text : {"abc", "-1", "65.536", "  ", "1e999"})
            QTest::newRow(qPrintable(QStringLiteral("%1, «%2»").arg(name, text)))
                << int(which) << QString(text);
    }
}

void TestAutoRefresh::invalidIntervalsAreRefused()
{
    QFETCH(int, which);
    QFETCH(QString, text);
    Rig r{DataWindow(which)};
    r.box()->setText(text);
    r.click("Auto");
    QVERIFY(!r.refresher().Timer1().isActive());
    QCOMPARE(r.tp.boxes.shown.size(), 1);
    QVERIFY(r.tp.boxes.shown[0].text.contains("0 to 65.535 seconds"));
    QCOMPARE(r.tp.boxes.shown[0].buttons, MsgButtons::Ok);
    // The box keeps what was typed, so that it can be corrected.
    QCOMPARE(r.box()->text(), text);
    QTest::qWait(30);
    QVERIFY(r.port.written.isEmpty());
}

void TestAutoRefresh::refusalStopsRunningAutoRefresh()
{
    Rig r(DataWindow::Condition);
    r.box()->setText("0.02");
    r.click("Auto");
    QTRY_VERIFY(r.sent(kConditionRequest) >= 1);
    // Changed to something unreadable: the next tick sends, then refuses and stops.
    r.box()->setText("soon");
    QTRY_COMPARE(r.tp.boxes.shown.size(), 1);
    const int sent = r.sent(kConditionRequest);
    QVERIFY(!r.refresher().Timer1().isActive());
    QTest::qWait(80);
    QCOMPARE(r.sent(kConditionRequest), sent);
    QCOMPARE(r.tp.boxes.shown.size(), 1);
}

void TestAutoRefresh::searchModeTravelsWithEveryRequest()
{
    Rig r(DataWindow::TimeStamp);
    r.g.CmdBuffer = {4, 9, 9, 9, 9, 0, 0, 0, 0, 0, 0};
    r.click("Refresh");
    QCOMPARE(r.port.written, kStampSet);

    r.port.written.clear();
    r.w->findChild<QRadioButton *>("Search(1)")->click();
    QVERIFY(r.port.written.isEmpty()); // choosing sends nothing by itself
    QCOMPARE(static_cast<TimeStampWindow *>(r.w)->searchMode(), 1);
    r.click("Refresh");
    QCOMPARE(r.port.written, kStampReset);

    r.port.written.clear();
    r.box()->setText("0.02");
    r.click("Auto");
    QTRY_VERIFY(r.sent(kStampReset) >= 2);
    // Chosen from the keyboard this time.
    r.w->findChild<QRadioButton *>("Search(0)")->setChecked(true);
    QTRY_VERIFY(r.sent(kStampSet) >= 1);
    r.click("Refresh");
    QCOMPARE(r.port.written.size(), (r.sent(kStampReset) + r.sent(kStampSet)) * 5);
    QCOMPARE(r.g.CmdBuffer[0], quint8(1));
}

void TestAutoRefresh::closingTheWindowStopsAutoRefresh()
{
    for (DataWindow which : {DataWindow::Condition, DataWindow::TimeStamp}) {
        Rig r(which);
        r.box()->setText("0.02");
        r.click("Auto");
        QTRY_VERIFY(!r.port.written.isEmpty());
        r.click("Exit");
        const QByteArray sent = r.port.written;
        QTest::qWait(80);
        QCOMPARE(r.port.written, sent);
    }
}

void TestAutoRefresh::stalledLineHoldsOneRequest_data()
{
    eachTickSendsOnceUntilRefreshStopsIt_data();
}

// A line that takes nothing (output stopped, as by XOFF) under ticks far faster than a
// frame could leave: requests must not pile up in the port.
void TestAutoRefresh::stalledLineHoldsOneRequest()
{
    QFETCH(int, which);
    QFETCH(QByteArray, request);
    Pty pty;
    QVERIFY(pty.ok());
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QtSerialPort port;
    port.setDevice(pty.slavePath());
    PortKeeper keeper{g, port};
    QVERIFY(keeper.open());
    QualityWatch quality{g};
    DataWindows windows{g, quality, nullptr};
    windows.show(DataWindow(which));
    QWidget *w = windows.window(DataWindow(which));

    QVERIFY(pty.holdOutput(true));
    int sent = 0;
    connect(&g, &GPS_Main::frameSent, this, [&sent] { ++sent; });
    w->findChild<QLineEdit *>("AutoRefresh")->setText("0.001");
    w->findChild<QPushButton *>("Auto")->click();
    QTest::qWait(150);
    QCOMPARE(sent, 1);
    QCOMPARE(port.bytesWaiting(), request.size());
    QTest::qWait(150);
    QCOMPARE(port.bytesWaiting(), request.size());

    // Refresh asks once more behind the stuck frame; closing takes that one back.
    w->findChild<QPushButton *>("Refresh")->click();
    QCOMPARE(port.bytesWaiting(), 2 * request.size());
    w->close();
    QCOMPARE(port.bytesWaiting(), request.size());

    QVERIFY(pty.holdOutput(false));
    QCOMPARE(pty.read(int(request.size()) + 1, 300).toHex(' '), request.toHex(' '));
    QCOMPARE(port.bytesWaiting(), 0);
}

QTEST_MAIN(TestAutoRefresh)
#include "tst_autorefresh.moc"
