// The whole program against the simulated receiver, the way users run it: the real
// main window (offscreen), the port dialog and the real serial port on the slave side
// of a pseudo-terminal, the simulator on the master side at a real line speed.
#include "decoders/formatters.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "link/portkeeper.h"
#include "link/ui/portdialog.h"
#include "mainwindow/navigate.h"
#include "platform/clock.h"
#include "platform/ptylink.h"
#include "platform/qtserialport.h"
#include "platform/selectingserialport.h"
#include "quality/qualitywatch.h"
#include "sim/simulatedport.h"
#include "sim/simulator.h"
#include "testplatform.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

// The computer's clock, but one that can be moved ahead so that a test skips the
// receiver's twenty seconds of acquisition instead of waiting for them.
class AheadClock : public Clock {
public:
    qint64 aheadMs = 0;
    QDateTime now() const override { return QDateTime::currentDateTime().addMSecs(aheadMs); }
};

// The simulated receiver on the master side of a pseudo-terminal.
struct Receiver {
    AheadClock clock;
    PtyLink pty;
    Simulator sim;
    SimulatorLine line;

    explicit Receiver(SimulatorOptions options = {},
                      const QString &settings = QStringLiteral("9600,e,8,1"))
        : sim(clock, options), line(sim, clock)
    {
        pty.open();
        line.setLineSettings(*LineSettings::parse(settings));
        QObject::connect(&pty, &PtyLink::received, &line, &SimulatorLine::input);
        QObject::connect(&line, &SimulatorLine::output, &pty,
                         [this](const QByteArray &b) { pty.write(b); });
    }
    bool received(quint8 type) const { return sim.commandsReceived().contains(type); }
};

// The program as the entry procedure builds it, with its settings in a temporary store
// and scripted message boxes.
struct Program {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    Clock clock;
    FrameDispatcher::Subscription navigation;
    QPointer<Navigate> nav;
    std::unique_ptr<Port> dialog;
    QStringList log;         // every line written to ErrorDis, oldest first
    QList<int> navFixStates; // byte 3 of every navigation message decoded

    Program()
    {
        QObject::connect(&g, &GPS_Main::errorDisChanged, &g, [this](const QString &text) {
            log.append(text.section(QStringLiteral("\r\n"), 0, 0));
        });
        navigation = g.frames().subscribe(
            Msg::Navigation, [this](const Frame &f) { navFixStates.append(f.at(3) & 15); });
        dialog = std::make_unique<Port>(g, [this]() -> PortKeeper & {
            if (!nav) {
                auto serial =
                    std::make_unique<SelectingSerialPort>(std::make_unique<QtSerialPort>());
                serial->addDevice(SimulatedPort::deviceName(),
                                  std::make_unique<SimulatedPort>(clock));
                nav = new Navigate(g, quality, std::move(serial));
                nav->Form_Load();
            }
            return nav->MSComm1();
        });
    }
    ~Program()
    {
        if (nav) {
            nav->close();
            delete nav;
        }
    }
    // Start-up with the device chosen on the command line; the user presses OK.
    bool start(const QString &device)
    {
        dialog->Form_Load(device);
        if (!nav)
            return false;
        nav->setPortDialog(dialog.get());
        dialog->show();
        if (!dialog->OKButton_Click())
            return false;
        nav->show();
        return nav->MSComm1().PortOpen();
    }
    int count(const QString &line) const { return int(log.count(line)); }
    void trigger(const QString &item)
    {
        QAction *a = nav->menuItem(item);
        QVERIFY2(a, qPrintable(item));
        a->trigger();
    }
};

// The text a control shows, whatever kind of control it is.
QString textOf(const QWidget *window, const QString &name)
{
    const QWidget *w = window ? window->findChild<QWidget *>(name) : nullptr;
    if (!w)
        return QStringLiteral("<no %1>").arg(name);
    const QVariant plain = w->property("plainText");
    return plain.isValid() ? plain.toString() : w->property("text").toString();
}

QWidget *shownWindow(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible())
            return w;
    return nullptr;
}

// Acts in a modal window as soon as it is up: the menu handler that shows it returns
// only when the window has closed.
struct ModalScript {
    QTimer timer;
    bool done = false;
    ModalScript(const QString &name, std::function<bool(QWidget *)> act)
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, name, act] {
            QWidget *w = QApplication::activeModalWidget();
            if (done || !w || w->objectName() != name)
                return;
            done = act(w);
        });
        timer.start();
    }
};

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void simulatedReceiverFromTheDeviceListFeedsTheProgram();
    void mainWindowFillsWithinTwoSecondsOfOK();
    void viewItemsFillTheirWindows_data();
    void viewItemsFillTheirWindows();
    void setHeightSendsItsCommandAndTheNextNavigationShowsIt();
    void setPositionMovesTheReceiverThatTheMainWindowShows();
    void coldStartIsReceivedAndTheFixFallsBack();
    void faultsAreCountedAgainstTheSimulatorsRecord_data();
    void faultsAreCountedAgainstTheSimulatorsRecord();
};

void TestEndToEnd::simulatedReceiverFromTheDeviceListFeedsTheProgram()
{
    Program p;
    QVERIFY(p.start(SimulatedPort::deviceName()));
    auto *box = p.dialog->findChild<QComboBox *>(QStringLiteral("DeviceName"));
    QVERIFY(box);
    QCOMPARE(box->itemText(0), SimulatedPort::deviceName());
    QCOMPARE(p.dialog->device(), SimulatedPort::deviceName());
    auto &port = dynamic_cast<SelectingSerialPort &>(p.nav->MSComm1().port());
    QVERIFY(dynamic_cast<SimulatedPort *>(&port.active()));
    // Start requests answered, and the unprompted messages keep coming.
    QTRY_VERIFY_WITH_TIMEOUT(p.count(QStringLiteral("CMD: B7")) == 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(p.count(QStringLiteral("CMD: CB")) >= 2, 3000);
    QVERIFY(p.count(QStringLiteral("CMD: CA")) >= 2);
    QCOMPARE(p.count(QStringLiteral("ERR: CkSum")), 0);
}

void TestEndToEnd::mainWindowFillsWithinTwoSecondsOfOK()
{
    Receiver r;
    r.clock.aheadMs = 60'000; // the receiver has its fix already
    r.line.start();
    Program p;
    QElapsedTimer sinceOk;
    p.dialog->Form_Load(r.pty.slavePath());
    QVERIFY(p.nav);
    p.nav->setPortDialog(p.dialog.get());
    p.dialog->show();
    sinceOk.start();
    QVERIFY(p.dialog->OKButton_Click());
    p.nav->show();
    const QStringList boxes = {"Vality",  "CurLat",   "CurLon",   "CurHeight",
                               "CurHead", "CurSpeed", "TimeDate", "Sats"};
    const auto filled = [&] {
        for (const QString &b : boxes)
            if (textOf(p.nav, b).trimmed().isEmpty() || textOf(p.nav, b).startsWith('<'))
                return false;
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(filled(), 2000);
    QVERIFY(sinceOk.elapsed() < 2000);
    QCOMPARE(textOf(p.nav, "Vality"), QStringLiteral("3D Fix"));
    QCOMPARE(textOf(p.nav, "Sats"), QStringLiteral("8"));
    QCOMPARE(textOf(p.nav, "CurHeight"), QStringLiteral("420"));
    QCOMPARE(textOf(p.nav, "CurSpeed"), QStringLiteral("36"));
    // The sky plot's table holds the eight satellites.
    QTRY_VERIFY_WITH_TIMEOUT(p.g.SatTable[8][1] > 0, 1500);
    for (int row = 1; row <= 8; ++row)
        QVERIFY(p.g.SatTable[std::size_t(row)][1] > 0);
    // Ten minutes later every satellite stands elsewhere in the plot.
    std::array<double, 9> azimuths{};
    for (int row = 1; row <= 8; ++row)
        azimuths[std::size_t(row)] = p.g.SatTable[std::size_t(row)][4];
    r.clock.aheadMs += 600'000;
    const auto allMoved = [&] {
        for (int row = 1; row <= 8; ++row)
            if (p.g.SatTable[std::size_t(row)][4] == azimuths[std::size_t(row)])
                return false;
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allMoved(), 2000);
}

void TestEndToEnd::viewItemsFillTheirWindows_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("expected"); // empty: anything but empty
    QTest::addColumn<QString>("raw");

    QTest::newRow("Condition") << "NavCond"
                               << "Condition"
                               << "SHealth"
                               << "31 Health satellites"
                               << "RawHex";
    QTest::newRow("Diagnosis") << "NavDiag"
                               << "Diagnosis"
                               << "Version"
                               << "Firmware Version: 02.13A"
                               << "RawHex";
    QTest::newRow("Position") << "NavPos"
                              << "Position"
                              << "Text3"
                              << ""
                              << "Text3";
    QTest::newRow("Receiver Mode") << "NavMode"
                                   << "Mode"
                                   << "Mode"
                                   << "Position Fix Mode: Auto"
                                   << "RawHex";
    QTest::newRow("Receive Sat") << "NavRevSat"
                                 << "RecSat"
                                 << "ID(1)"
                                 << "2"
                                 << "RawHex";
    QTest::newRow("Time Stamp") << "NavStamp"
                                << "TimeStamp"
                                << "TimeStamp(1)"
                                << ""
                                << "RawHex";
}

void TestEndToEnd::viewItemsFillTheirWindows()
{
    QFETCH(QString, item);
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, expected);
    QFETCH(QString, raw);
    Receiver r;
    r.clock.aheadMs = 60'000;
    r.line.start();
    Program p;
    QVERIFY(p.start(r.pty.slavePath()));
    p.trigger(item);
    QWidget *w = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((w = shownWindow(window)) != nullptr, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(!textOf(w, raw).trimmed().isEmpty(), 2000);
    if (expected.isEmpty())
        QVERIFY(!textOf(w, control).trimmed().isEmpty());
    else
        QCOMPARE(textOf(w, control), expected);
}

void TestEndToEnd::setHeightSendsItsCommandAndTheNextNavigationShowsIt()
{
    Receiver r;
    r.line.start();
    Program p;
    QVERIFY(p.start(r.pty.slavePath()));
    QTRY_VERIFY_WITH_TIMEOUT(textOf(p.nav, "CurHeight") == QStringLiteral("420"), 2000);

    // The modal window: type a height and press "Set Height".
    ModalScript script(QStringLiteral("SetHeight"), [](QWidget *w) {
        auto *height = w->findChild<QLineEdit *>(QStringLiteral("CurHeight"));
        auto *set = w->findChild<QAbstractButton *>(QStringLiteral("SetH"));
        if (!height || !set)
            return false;
        height->setText(QStringLiteral("123.5"));
        set->click();
        return true;
    });
    p.trigger(QStringLiteral("mnuHeight"));
    QVERIFY(script.done);
    QTRY_VERIFY_WITH_TIMEOUT(r.received(0xB1), 2000);
    const QList<quint8> &got = r.sim.commandsReceived();
    QCOMPARE(got.at(got.lastIndexOf(0xB1) - 1), quint8(0xB8));
    QCOMPARE(r.sim.heightMetres(), 123.5);
    QTRY_VERIFY_WITH_TIMEOUT(p.count(QStringLiteral("CMD: B1")) == 1, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(textOf(p.nav, "CurHeight"), QStringLiteral("123.5"), 2500);
}

void TestEndToEnd::setPositionMovesTheReceiverThatTheMainWindowShows()
{
    Receiver r;
    r.line.start();
    Program p;
    QVERIFY(p.start(r.pty.slavePath()));
    QTRY_VERIFY_WITH_TIMEOUT(textOf(p.nav, "CurLat").startsWith(QStringLiteral(" 47°")), 2000);

    ModalScript script(QStringLiteral("SetPosition"), [](QWidget *w) {
        const QList<QPair<const char *, const char *>> fields = {{"LatitudeD", "-33"},
                                                                 {"LatitudeM", "12.3456"},
                                                                 {"LongitudeD", "117"},
                                                                 {"LongitudeM", "10.5"}};
        for (const auto &[name, text] : fields) {
            auto *e = w->findChild<QLineEdit *>(QLatin1String(name));
            if (!e)
                return false;
            e->setText(QLatin1String(text));
        }
        auto *set = w->findChild<QAbstractButton *>(QStringLiteral("SetPosition"));
        if (!set)
            return false;
        set->click();
        return true;
    });
    p.trigger(QStringLiteral("mnuPosition"));
    QVERIFY(script.done);
    QTRY_VERIFY_WITH_TIMEOUT(r.received(0xB0), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(p.count(QStringLiteral("CMD: B0")) == 1, 2000);
    // The receiver drives on from there at 10 m/s: the minutes change only in the
    // last places within a few seconds.
    QTRY_VERIFY_WITH_TIMEOUT(textOf(p.nav, "CurLat").startsWith(QStringLiteral("-33°12.3")), 2500);
    QVERIFY(textOf(p.nav, "CurLon").startsWith(QStringLiteral(" 117°10.")));
}

void TestEndToEnd::coldStartIsReceivedAndTheFixFallsBack()
{
    Receiver r;
    r.line.start();
    Program p;
    QVERIFY(p.start(r.pty.slavePath()));
    r.clock.aheadMs = 60'000; // long after acquisition
    QTRY_VERIFY_WITH_TIMEOUT(!p.navFixStates.isEmpty() && p.navFixStates.last() == 4, 3000);

    p.tp.boxes.answers = {MsgAnswer::Yes};
    const qsizetype before = p.navFixStates.size();
    p.trigger(QStringLiteral("mnuCold"));
    QTRY_VERIFY_WITH_TIMEOUT(r.received(0xB9), 2000);
    QTRY_VERIFY_WITH_TIMEOUT(p.count(QStringLiteral("CMD: B9")) == 1, 2000);
    QTRY_VERIFY_WITH_TIMEOUT(p.navFixStates.size() > before + 1, 3000);
    QCOMPARE(p.navFixStates.last(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(textOf(p.nav, "Vality"), QStringLiteral("0 Sats"), 1000);

    // Answering No sends nothing.
    p.tp.boxes.answers = {MsgAnswer::No};
    p.trigger(QStringLiteral("mnuCold"));
    QTest::qWait(200);
    QCOMPARE(r.sim.commandsReceived().count(0xB9), 1);
}

void TestEndToEnd::faultsAreCountedAgainstTheSimulatorsRecord_data()
{
    QTest::addColumn<double>("garbage");
    QTest::addColumn<double>("corrupt");
    QTest::addColumn<double>("truncate");
    QTest::newRow("noise between frames") << 0.4 << 0.0 << 0.0;
    QTest::newRow("bad checksums") << 0.0 << 0.3 << 0.0;
    QTest::newRow("truncated frames") << 0.0 << 0.0 << 0.3;
    QTest::newRow("all at once") << 0.2 << 0.15 << 0.15;
}

void TestEndToEnd::faultsAreCountedAgainstTheSimulatorsRecord()
{
    QFETCH(double, garbage);
    QFETCH(double, corrupt);
    QFETCH(double, truncate);
    SimulatorOptions o;
    o.intervalMs = 50;
    o.garbageRate = garbage;
    o.corruptRate = corrupt;
    o.truncateRate = truncate;
    o.seed = 2026;
    Receiver r(o, QStringLiteral("115200,e,8,1"));
    Program p;
    QVERIFY(p.start(r.pty.slavePath()));
    r.line.start();
    QTest::qWait(2500);
    r.sim.setIntervalMs(0);
    QTRY_VERIFY_WITH_TIMEOUT(r.sim.pending() == 0, 3000);

    const SimulatorRecord &rec = r.sim.record();
    QVERIFY(rec.frames.size() > 60);
    // Every frame sent has its line: decoded or "ERR: CkSum", nothing else and nothing lost.
    QTRY_COMPARE_WITH_TIMEOUT(p.log.size(), rec.frames.size(), 3000);
    for (int type : {0xCA, 0xCB, 0xB7})
        QCOMPARE(p.count(QStringLiteral("CMD: ") + HexByte(type)), rec.intact(quint8(type)));
    QCOMPARE(p.count(QStringLiteral("ERR: CkSum")), rec.damaged());
    QCOMPARE(p.count(QStringLiteral("CMD: CA")) + p.count(QStringLiteral("CMD: CB")) +
                 p.count(QStringLiteral("CMD: B7")) + p.count(QStringLiteral("ERR: CkSum")),
             p.log.size());
    if (corrupt > 0 || truncate > 0)
        QVERIFY(rec.damaged() > 0);
    if (garbage > 0)
        QVERIFY(rec.garbageBytes > 0);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
