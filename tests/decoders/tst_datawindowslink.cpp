// The data windows over a real pseudo-terminal: each View item's request reaches the
// receiver, and its answer fills the window.
#include "decodertest.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigate.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QAction>

namespace {

QString textOf(QWidget *w, const char *name)
{
    QWidget *c = w ? w->findChild<QWidget *>(name) : nullptr;
    if (!c)
        return {};
    const QVariant text = c->property("text");
    return text.isValid() ? text.toString() : c->property("plainText").toString();
}

} // namespace

class TestDataWindowsLink : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { pinTestLocale(); }
    void viewItemRequestsAndAnswerFillsWindow_data();
    void viewItemRequestsAndAnswerFillsWindow();
    void satelliteFrameReachesTableWithWindowClosed();
};

void TestDataWindowsLink::viewItemRequestsAndAnswerFillsWindow_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("which");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");

    QByteArray p;
    place(p, 3, {0x04, 0x00, 0xA0, 0x00, 0x00});
    QTest::newRow("position") << "NavPos" << int(DataWindow::Position) << QByteArray()
                              << buildFrameOfType(0xCA, p) << "CurLat"
                              << " 11°37.7777";
    QTest::newRow("condition") << "NavCond" << int(DataWindow::Condition)
                               << bytes({0xC6, 0xC6, 0x74, 0x0D})
                               << buildFrameOfType(0xC6, bytes({0x34})) << "Condition"
                               << "3D position fix";
    QTest::newRow("diagnosis") << "NavDiag" << int(DataWindow::Diagnosis)
                               << bytes({0xC4, 0xC4, 0x78, 0x0D})
                               << buildFrameOfType(0xC4, bytes({0x01, 0x23, 0x10})) << "Version"
                               << "Firmware Version: 01.23A";
    QTest::newRow("mode") << "NavMode" << int(DataWindow::Mode) << bytes({0xC3, 0xC3, 0x7A, 0x0D})
                          << buildFrameOfType(0xC3, bytes({0, 0, 0, 0, 0, 0x01, 0x23})) << "SHeight"
                          << "Set Height:  61.5m";
    QTest::newRow("time stamp") << "NavStamp" << int(DataWindow::TimeStamp)
                                << bytes({0xC5, 0xC5, 0x00, 0x76, 0x0D})
                                << buildFrameOfType(0xC5, bytes({0x00, 0x06})) << "TimeStamp(0)"
                                << "1/1/1999 1:00:00 AM";
    QTest::newRow("receive sat") << "NavRevSat" << int(DataWindow::RecSat)
                                 << bytes({0xCB, 0xCB, 0x6A, 0x0D})
                                 << buildFrameOfType(0xCB, bytes({0, 12, 0x1F})) << "Condition(1)"
                                 << "Fix";
}

void TestDataWindowsLink::viewItemRequestsAndAnswerFillsWindow()
{
    QFETCH(QString, item);
    QFETCH(int, which);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QString, field);
    QFETCH(QString, text);

    Pty pty;
    QVERIFY(pty.ok());
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QualityWatch quality(g);
    Navigate nav(g, quality, std::make_unique<QtSerialPort>());
    nav.Form_Load();
    nav.MSComm1().port().setDevice(pty.slavePath());
    QVERIFY(nav.MSComm1().open());

    nav.menuItem(item)->trigger();
    if (!request.isEmpty())
        QCOMPARE(pty.read(request.size()), request);
    QWidget *w = nav.dataWindows().window(DataWindow(which));
    QVERIFY(w);
    QVERIFY(pty.write(answer));
    QByteArray shown = answer;
    if (answer[0] == char(0xC6))
        shown[2] = char(shown[2] & 0x0F);
    const char *dump = answer[0] == char(0xCA) ? "Text3" : "RawHex";
    QTRY_COMPARE(textOf(w, dump), dumpOf(shown));
    QCOMPARE(textOf(w, qPrintable(field)), text);
    nav.close();
}

void TestDataWindowsLink::satelliteFrameReachesTableWithWindowClosed()
{
    Pty pty;
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QualityWatch quality(g);
    Navigate nav(g, quality, std::make_unique<QtSerialPort>());
    nav.Form_Load();
    nav.MSComm1().port().setDevice(pty.slavePath());
    QVERIFY(nav.MSComm1().open());
    QByteArray p;
    place(p, 4, {5, 0x02, 20, 128, 64});
    place(p, 14, {9, 0x00, 30, 0, 0});
    QVERIFY(pty.write(buildFrameOfType(0xCB, p) + buildFrameOfType(0xCA)));
    QTRY_VERIFY(g.ErrorDis().startsWith("CMD: CA\r\nCMD: CB"));
    QCOMPARE(g.SatTable[1][1], 5.0);
    QCOMPARE(g.SatTable[1][4], 0.5);
    QCOMPARE(g.SatTable[2][1], 9.0);
    QCOMPARE(g.SatTable[2][2], 8421504.0); // assigned but idle: grey
    QCOMPARE(g.SatTable[3][1], 0.0);
    QVERIFY(!g.RecSatOpen);
    nav.close();
}

QTEST_MAIN(TestDataWindowsLink)
#include "tst_datawindowslink.moc"
