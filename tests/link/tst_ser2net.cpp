// A receiver on another computer, as users serve one: kestrel-sim on a pseudo-terminal,
// Debian's ser2net in front of it with its own configuration on a free port, and the
// program's network port at the other end, raw and with RFC 2217.
#include "link/gpsmain.h"
#include "link/linkstate.h"
#include "link/portkeeper.h"
#include "platform/networkport.h"
#include "platform/qtserialport.h"
#include "platform/selectingserialport.h"
#include "simprocess.h"
#include "testplatform.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString ser2netProgram()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (!found.isEmpty())
        return found;
    return QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                          {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

// ser2net serving `device` on 127.0.0.1:port, raw or as telnet with RFC 2217.
class Ser2net {
public:
    Ser2net(const QString &device, quint16 port, bool rfc2217) : m_port(port)
    {
        m_config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
        QFile f(m_config);
        if (f.open(QIODevice::WriteOnly)) {
            f.write(QStringLiteral("connection: &gps\n"
                                   "  accepter: %1tcp,127.0.0.1,%2\n"
                                   "  connector: serialdev,%3,9600e81,local\n"
                                   "  options:\n"
                                   "    mdns: false\n")
                        .arg(rfc2217 ? QStringLiteral("telnet(rfc2217),") : QString())
                        .arg(port)
                        .arg(device)
                        .toUtf8());
        }
    }
    ~Ser2net() { stop(); }

    // Starts it and waits until it takes connections.
    bool start()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(ser2netProgram(),
                        {QStringLiteral("-n"), QStringLiteral("-c"), m_config, QStringLiteral("-P"),
                         m_dir.filePath(QStringLiteral("pid"))});
        if (!m_process.waitForStarted(5000))
            return false;
        for (int i = 0; i < 100 && m_process.state() == QProcess::Running; ++i) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(100)) {
                probe.abort();
                return true;
            }
            QTest::qWait(50);
        }
        return false;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

private:
    QTemporaryDir m_dir;
    QString m_config;
    quint16 m_port;
    QProcess m_process;
};

// The simulated receiver on a pseudo-terminal, with its slave side held here too so
// that its line settings can be read whoever else has it.
struct SimulatedBoard {
    QProcess sim;
    QString path;
    int held = -1;

    bool start()
    {
        if (!startSimProcess(sim, QStringLiteral(KESTREL_SIM), {}, path))
            return false;
        held = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        return held >= 0;
    }
    ~SimulatedBoard()
    {
        if (held >= 0)
            ::close(held);
        sim.terminate();
        sim.waitForFinished(5000);
    }
};

// The first line of the log: what the link did last.
QString newest(const QString &log)
{
    return log.left(log.indexOf(QLatin1String("\r\n")));
}

// The program's side: its port (serial, or network by address) and the link keeper.
struct Program {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    SelectingSerialPort port{std::make_unique<QtSerialPort>()};
    PortKeeper keeper{g, port};
    int frames = 0, losses = 0, reopens = 0;

    explicit Program(QObject *context)
    {
        addNetworkPort(port);
        QObject::connect(&g, &GPS_Main::errorDisChanged, context, [this](const QString &log) {
            const QString line = newest(log);
            frames += line == QLatin1String("CMD: CA");
            losses += line == QLatin1String("ERR: Lost");
            reopens += line == QLatin1String("ERR: Reopened");
        });
    }
};

} // namespace

class TestSer2net : public QObject {
    Q_OBJECT
private slots:
    void init();
    void servedReceiverTakesTheLineSettings_data();
    void servedReceiverTakesTheLineSettings();
    void restartedSer2netIsReopened_data();
    void restartedSer2netIsReopened();
    void commandAnsweredThroughTheNetwork_data();
    void commandAnsweredThroughTheNetwork();
};

void TestSer2net::init()
{
    if (ser2netProgram().isEmpty())
        QSKIP("ser2net is not installed (Debian: apt-get install ser2net); the network "
              "receiver is not tested against it");
}

void TestSer2net::servedReceiverTakesTheLineSettings_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("odd");
    QTest::addColumn<bool>("twoStops");
    QTest::addColumn<bool>("framesGood");
    // A pseudo-terminal keeps the speed, the stop bits and the odd-parity flag it is
    // given, but the kernel always makes it 8 bits without parity: those two are not seen.
    // Raw: the line keeps what ser2net's configuration says (9600e81), whatever is chosen.
    QTest::newRow("raw keeps ser2net's 9600e81")
        << "tcp"
        << "4800,o,8,2" << int(B9600) << false << false << true;
    QTest::newRow("rfc2217 4800,n,8,1") << "rfc2217"
                                        << "4800,n,8,1" << int(B4800) << false << false << true;
    QTest::newRow("rfc2217 19200,o,7,2") << "rfc2217"
                                         << "19200,o,7,2" << int(B19200) << true << true << false;
}

void TestSer2net::servedReceiverTakesTheLineSettings()
{
    QFETCH(QString, scheme);
    QFETCH(QString, settings);
    QFETCH(int, speed);
    QFETCH(bool, odd);
    QFETCH(bool, twoStops);
    QFETCH(bool, framesGood);

    SimulatedBoard board;
    QVERIFY(board.start());
    const quint16 number = freePort();
    Ser2net server(board.path, number, scheme == QStringLiteral("rfc2217"));
    QVERIFY(server.start());

    Program p(this);
    const QString url = QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(number);
    p.port.setDevice(url);
    p.port.setSettings(settings);
    QVERIFY2(p.keeper.open(), qPrintable(p.port.errorString()));
    QCOMPARE(p.g.link().port(), LinkState::Port::Open);
    QVERIFY(p.g.link().portText().startsWith(url));
    if (framesGood)
        QTRY_VERIFY_WITH_TIMEOUT(p.frames >= 2, 5000);

    termios t{};
    QCOMPARE(::tcgetattr(board.held, &t), 0);
    QCOMPARE(int(::cfgetospeed(&t)), speed);
    QCOMPARE(bool(t.c_cflag & PARODD), odd);
    QCOMPARE(bool(t.c_cflag & CSTOPB), twoStops);
}

void TestSer2net::restartedSer2netIsReopened_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("raw") << "tcp";
    QTest::newRow("rfc2217") << "rfc2217";
}

void TestSer2net::restartedSer2netIsReopened()
{
    QFETCH(QString, scheme);
    SimulatedBoard board;
    QVERIFY(board.start());
    const quint16 number = freePort();
    auto server =
        std::make_unique<Ser2net>(board.path, number, scheme == QStringLiteral("rfc2217"));
    QVERIFY(server->start());

    Program p(this);
    p.port.setDevice(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(number));
    p.port.setSettings(QStringLiteral("9600,e,8,1"));
    p.keeper.setRetryInterval(200);
    QVERIFY2(p.keeper.open(), qPrintable(p.port.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(p.frames >= 1, 5000);

    server->stop();
    QTRY_COMPARE_WITH_TIMEOUT(p.losses, 1, 5000);
    QCOMPARE(p.g.link().stateText(), QStringLiteral("Lost \u2014 reopening"));
    // Attempts while nobody listens are no new losses.
    QTest::qWait(1000);
    QCOMPARE(p.losses, 1);
    QCOMPARE(p.reopens, 0);
    QVERIFY(p.keeper.reopening());

    server = std::make_unique<Ser2net>(board.path, number, scheme == QStringLiteral("rfc2217"));
    QVERIFY(server->start());
    QTRY_COMPARE_WITH_TIMEOUT(p.reopens, 1, 5000);
    QCOMPARE(p.g.link().stateText(), QStringLiteral("Reopened"));
    const int before = p.frames;
    QTRY_VERIFY_WITH_TIMEOUT(p.frames > before, 5000);
    QCOMPARE(p.losses, 1);
}

void TestSer2net::commandAnsweredThroughTheNetwork_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::newRow("raw") << "tcp";
    QTest::newRow("rfc2217") << "rfc2217";
}

void TestSer2net::commandAnsweredThroughTheNetwork()
{
    QFETCH(QString, scheme);
    SimulatedBoard board;
    QVERIFY(board.start());
    const quint16 number = freePort();
    Ser2net server(board.path, number, scheme == QStringLiteral("rfc2217"));
    QVERIFY(server.start());

    QProcess ctl;
    ctl.start(QStringLiteral(KESTRELCTL),
              {QStringLiteral("send"), QStringLiteral("--port"),
               QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(number),
               QStringLiteral("set-height"), QStringLiteral("420")});
    QVERIFY(ctl.waitForFinished(15000));
    const QByteArray out = ctl.readAllStandardOutput() + ctl.readAllStandardError();
    QVERIFY2(ctl.exitCode() == 0, out.constData());
}

QTEST_GUILESS_MAIN(TestSer2net)
#include "tst_ser2net.moc"
