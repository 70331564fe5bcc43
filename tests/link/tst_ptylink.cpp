// The receiver link through a real pseudo-terminal: the program's serial port on the
// slave side, the test playing the receiver on the master side.
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "link/ui/portdialog.h"
#include "mainwindow/navigate.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <dirent.h>

namespace {

struct Link {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    QtSerialPort port;
    PortKeeper keeper{g, port};

    bool open(const QString &device)
    {
        port.setDevice(device);
        port.setSettings(QStringLiteral("9600,e,8,1"));
        return keeper.open();
    }
};

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
}

} // namespace

class TestPtyLink : public QObject {
    Q_OBJECT
private slots:
    void framesWrittenByReceiverAreLogged();
    void frameTornAcrossWritesWithGarbageStillFrames();
    void sendsReachTheReceiver();
    void pulledDeviceIsReopenedWhenItReturns();
    void startUpSendsNavigationAndB7Requests();
};

void TestPtyLink::framesWrittenByReceiverAreLogged()
{
    Pty pty;
    QVERIFY(pty.ok());
    Link l;
    QVERIFY(l.open(pty.slavePath()));
    QVERIFY(pty.write(bytes({0xB7, 0xB7, 0x92, 0x0D, 0xB7, 0xB7, 0x93, 0x0D})));
    QTRY_COMPARE(l.g.ErrorDis(), QStringLiteral("ERR: CkSum\r\nCMD: B7\r\n"));
}

void TestPtyLink::frameTornAcrossWritesWithGarbageStillFrames()
{
    Pty pty;
    Link l;
    QVERIFY(l.open(pty.slavePath()));
    const QByteArray nav = buildFrameOfType(0xCA, bytes({0x04, 0x00, 0xA0}));
    const QByteArray sat = buildFrameOfType(0xCB);
    QVERIFY(pty.write(bytes({0x01, 0x02, 0xFF})));
    for (int i = 0; i < nav.size(); i += 5) {
        QVERIFY(pty.write(nav.mid(i, 5)));
        QTest::qWait(3);
    }
    QVERIFY(pty.write(bytes({0x55, 0xAA, 0x0D})));
    QVERIFY(pty.write(sat.left(17)));
    QTest::qWait(20);
    QVERIFY(pty.write(sat.mid(17)));
    QTRY_COMPARE(l.g.ErrorDis(), QStringLiteral("CMD: CB\r\nCMD: CA\r\n"));
}

void TestPtyLink::sendsReachTheReceiver()
{
    Pty pty;
    Link l;
    QVERIFY(l.open(pty.slavePath()));
    l.g.CmdBuffer[0] = 1;
    l.g.CmdBuffer[1] = 0;
    l.g.SendCommand(0xB2);
    l.g.SendRequest(0xC4);
    QCOMPARE(pty.read(9), bytes({0xB2, 0xB2, 0x00, 0x9C, 0x0D, 0xC4, 0xC4, 0x78, 0x0D}));
}

void TestPtyLink::pulledDeviceIsReopenedWhenItReturns()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gps"));
    Link l;
    l.keeper.setRetryInterval(20);
    auto first = std::make_unique<Pty>();
    QVERIFY(QFile::link(first->slavePath(), link));
    QVERIFY(l.open(link));
    const int fdsOpen = openDescriptors();

    for (int cycle = 0; cycle < 5; ++cycle) {
        QVERIFY(first->write(buildFrameOfType(0xB0)));
        QTRY_VERIFY(l.g.ErrorDis().startsWith(QStringLiteral("CMD: B0")));

        // The adapter goes away: the line hangs up under the open port.
        first.reset();
        QTRY_VERIFY(l.g.ErrorDis().startsWith(QStringLiteral("ERR: Lost")));
        QVERIFY(!l.port.PortOpen());
        QVERIFY(l.keeper.reopening());

        // It comes back as another device behind the same name.
        first = std::make_unique<Pty>();
        QFile::remove(link);
        QVERIFY(QFile::link(first->slavePath(), link));
        QTRY_VERIFY(l.g.ErrorDis().startsWith(QStringLiteral("ERR: Reopened")));
        QVERIFY(l.port.PortOpen());
        QVERIFY(!l.keeper.reopening());
        QVERIFY(first->write(buildFrameOfType(0xB1)));
        QTRY_VERIFY(l.g.ErrorDis().startsWith(QStringLiteral("CMD: B1")));
    }
    // Each cycle gave its descriptor back.
    QCOMPARE(openDescriptors(), fdsOpen);

    // A deliberate close does not reopen.
    l.keeper.close();
    QVERIFY(!l.keeper.reopening());
}

void TestPtyLink::startUpSendsNavigationAndB7Requests()
{
    Pty pty;
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QualityWatch quality(g);
    Navigate *nav = nullptr;
    Port dialog(g, [&]() -> PortKeeper & {
        if (!nav) {
            nav = new Navigate(g, quality, std::make_unique<QtSerialPort>());
            nav->Form_Load();
        }
        return nav->MSComm1();
    });
    dialog.Form_Load(pty.slavePath());
    QVERIFY(nav);
    QVERIFY(!nav->isVisible());
    QVERIFY(nav->MSComm1().PortOpen());
    nav->setPortDialog(&dialog);
    dialog.show();
    QVERIFY(dialog.OKButton_Click());
    QVERIFY(!dialog.isVisible());
    nav->show();
    QCOMPARE(pty.read(8), bytes({0xCA, 0xCA, 0x6C, 0x0D, 0xB7, 0xB7, 0x92, 0x0D}));
    // Frames from the receiver reach the main window's log.
    QVERIFY(pty.write(buildFrameOfType(0xB7)));
    QTRY_COMPARE(g.ErrorDis(), QStringLiteral("CMD: B7\r\n"));
    nav->close();
    QVERIFY(!nav->MSComm1().PortOpen());
    delete nav;
}

QTEST_MAIN(TestPtyLink)
#include "tst_ptylink.moc"
