#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "platform/qtserialport.h"
#include "simprocess.h"
#include "testplatform.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Log lines of frames, in arrival order, as the program writes them.
class LogRecorder : public QObject {
public:
    explicit LogRecorder(GPS_Main &g)
    {
        connect(&g, &GPS_Main::errorDisChanged, this, [this](const QString &text) {
            lines.append(text.section(QStringLiteral("\r\n"), 0, 0));
        });
    }
    QStringList lines;
};

bool startSim(QProcess &sim, const QStringList &args, QString &path)
{
    return startSimProcess(sim, QStringLiteral(KESTREL_SIM), args, path);
}

} // namespace

class TestKestrelSim : public QObject {
    Q_OBJECT
private slots:
    void helpNamesEveryOption();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();
    void programTalksToItThroughThePseudoTerminal();
    void faultOptionsDamageFramesThatTheProgramLogs();
    void regularFileIsNotReplacedByTheLink();
    void replayOfASilentFifoStopsOnASignal_data();
    void replayOfASilentFifoStopsOnASignal();
    void nothingIsWrittenUntilAProgramOpensTheTerminal_data();
    void nothingIsWrittenUntilAProgramOpensTheTerminal();
};

void TestKestrelSim::helpNamesEveryOption()
{
    QProcess sim;
    sim.start(QStringLiteral(KESTREL_SIM), {QStringLiteral("--help")});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(sim.readAllStandardOutput());
    for (const char *option : {"--link", "--rate", "--seed", "--baud", "--garbage", "--corrupt",
                               "--truncate", "--verbose"})
        QVERIFY2(out.contains(QLatin1String(option)), option);
}

void TestKestrelSim::replayOfASilentFifoStopsOnASignal_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("writer");
    QTest::newRow("SIGINT, no writer yet") << int(SIGINT) << false;
    QTest::newRow("SIGTERM, no writer yet") << int(SIGTERM) << false;
    QTest::newRow("SIGINT, a writer that sends nothing") << int(SIGINT) << true;
    QTest::newRow("SIGTERM, after the format line") << int(SIGTERM) << true;
}

void TestKestrelSim::replayOfASilentFifoStopsOnASignal()
{
    QFETCH(int, signal);
    QFETCH(bool, writer);
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("trip.fifo")));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    QProcess sim;
    sim.start(QStringLiteral(KESTREL_SIM), {"--replay", QFile::decodeName(fifo)});
    QVERIFY(sim.waitForStarted(5000));
    QTest::qWait(300);
    int w = -1;
    if (writer) {
        w = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
        QVERIFY(w >= 0);
        if (QTest::currentDataTag() == QByteArray("SIGTERM, after the format line"))
            QVERIFY(::write(w, "KESTREL RECORDING 1\n", 20) == 20);
        QTest::qWait(200);
    }
    ::kill(pid_t(sim.processId()), signal);
    const bool stopped = sim.waitForFinished(2000);
    if (!stopped)
        sim.kill();
    if (w >= 0)
        ::close(w);
    sim.waitForFinished(1000);
    QVERIFY(stopped);
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
}

void TestKestrelSim::badOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("negative rate") << QStringList{"--rate", "-1"};
    QTest::newRow("rate not a number") << QStringList{"--rate", "fast"};
    QTest::newRow("chance above 1") << QStringList{"--garbage", "2"};
    QTest::newRow("negative chance") << QStringList{"--corrupt", "-0.1"};
    QTest::newRow("baud not a number") << QStringList{"--baud", "x"};
    QTest::newRow("baud zero") << QStringList{"--baud", "0"};
    QTest::newRow("negative seed") << QStringList{"--seed", "-3"};
    QTest::newRow("static latitude out of range") << QStringList{"--static", "91,8.54,420"};
    QTest::newRow("static not numbers") << QStringList{"--static", "north,east,up"};
    QTest::newRow("static without height") << QStringList{"--static", "47.37,8.54"};
}

void TestKestrelSim::badOptionsAreRefused()
{
    QFETCH(QStringList, args);
    QProcess sim;
    sim.start(QStringLiteral(KESTREL_SIM), args);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    QVERIFY(!sim.readAllStandardError().isEmpty());
}

void TestKestrelSim::programTalksToItThroughThePseudoTerminal()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("gps"));
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--link", link, "--rate", "5", "--verbose"}, path));
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);

    TestPlatform tp;
    GPS_Main g(tp.platform);
    LogRecorder log(g);
    QtSerialPort serial;
    PortKeeper keeper(g, serial);
    serial.setDevice(link);
    QVERIFY(keeper.open());
    g.SendRequest(0xC4);
    QTRY_VERIFY_WITH_TIMEOUT(log.lines.contains(QStringLiteral("CMD: C4")), 3000);
    QTRY_VERIFY_WITH_TIMEOUT(log.lines.count(QStringLiteral("CMD: CA")) >= 3, 3000);
    QVERIFY(log.lines.contains(QStringLiteral("CMD: CB")));
    QVERIFY(!log.lines.contains(QStringLiteral("ERR: CkSum")));
    QByteArray said;
    QTRY_VERIFY_WITH_TIMEOUT((said += sim.readAllStandardOutput()).contains("received C4"), 2000);

    keeper.close();
    ::kill(pid_t(sim.processId()), SIGTERM);
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(sim.readAllStandardError().contains("intact"));
}

void TestKestrelSim::faultOptionsDamageFramesThatTheProgramLogs()
{
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim,
                     {"--rate", "20", "--baud", "115200", "--corrupt", "0.3", "--garbage", "0.3",
                      "--seed", "11"},
                     path));
    TestPlatform tp;
    GPS_Main g(tp.platform);
    LogRecorder log(g);
    QtSerialPort serial;
    PortKeeper keeper(g, serial);
    serial.setDevice(path);
    QVERIFY(keeper.open());
    QTRY_VERIFY_WITH_TIMEOUT(log.lines.count(QStringLiteral("ERR: CkSum")) >= 3, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(log.lines.count(QStringLiteral("CMD: CA")) >= 3, 5000);
    keeper.close();
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitCode(), 0);
}

void TestKestrelSim::regularFileIsNotReplacedByTheLink()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("notes"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep me");
    f.close();
    QProcess sim;
    sim.start(QStringLiteral(KESTREL_SIM), {QStringLiteral("--link"), file});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 1);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("keep me"));
}

void TestKestrelSim::nothingIsWrittenUntilAProgramOpensTheTerminal_data()
{
    QTest::addColumn<bool>("reopen");
    QTest::newRow("first open") << false;
    QTest::newRow("open again after a close") << true;
}

void TestKestrelSim::nothingIsWrittenUntilAProgramOpensTheTerminal()
{
    QFETCH(bool, reopen);
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--rate", "5"}, path));
    // A program's side: the terminal opened raw, as a serial port is.
    const auto openTerminal = [&] {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        return fd;
    };
    const auto waiting = [](int fd) {
        int n = -1;
        ::ioctl(fd, FIONREAD, &n);
        return n;
    };
    if (reopen) {
        const int first = openTerminal();
        QVERIFY(first >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(waiting(first) > 0, 3000);
        ::close(first);
    }
    // Seven messages' time at five a second with nobody there.
    QTest::qWait(1500);
    const int fd = openTerminal();
    QVERIFY(fd >= 0);
    QCOMPARE(waiting(fd), 0);

    // Then whole messages from the next slot on, five a second, each right after the
    // start of its fifth of the second it names (allowing for the line and a busy
    // machine).
    QByteArray got;
    QDateTime navArrived;
    QElapsedTimer t;
    t.start();
    char buf[512];
    while (t.elapsed() < 1500) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
        if (got.size() >= 44 && !navArrived.isValid())
            navArrived = QDateTime::currentDateTimeUtc();
        QTest::qWait(5);
    }
    ::close(fd);
    sim.terminate();
    QVERIFY(sim.waitForFinished(3000));
    QVERIFY2(got.startsWith("\xCA\xCA"), got.left(8).toHex(' ').constData());
    QVERIFY(got.count("\xCA\xCA") >= 3);
    const auto bcd = [&](int position) {
        const quint8 b = quint8(got[position - 1]);
        return (b >> 4) * 10 + (b & 15);
    };
    const QDateTime named(QDate(2000 + bcd(25), bcd(26), bcd(27)), QTime(bcd(28), bcd(29), bcd(30)),
                          Qt::UTC);
    const qint64 after = named.msecsTo(navArrived);
    QVERIFY2(after >= 0 && after < 1000 && after % 200 < 150, qPrintable(QString::number(after)));
}

QTEST_GUILESS_MAIN(TestKestrelSim)
#include "tst_kestrelsim.moc"
