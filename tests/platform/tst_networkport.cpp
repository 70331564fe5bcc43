#include "platform/networkport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// What RFC 2217 says a server answers to 9600 bits per second, 8 data bits, even
// parity (3) and one stop bit: each command's code + 100 with the value it took.
QByteArray answersFor9600e81()
{
    return bytes({255, 250, 44, 101, 0, 0, 0x25, 0x80, 255, 240}) +
           bytes({255, 250, 44, 102, 8, 255, 240}) + bytes({255, 250, 44, 103, 3, 255, 240}) +
           bytes({255, 250, 44, 104, 1, 255, 240});
}

// A telnet server that says its lines when the client connects and when the client
// has sent its four line settings (four subnegotiations), then closes if told to.
class FarSide : public QObject {
public:
    QByteArray onConnect, onSettings;
    bool closeAfterConnect = false, closeAfterSettings = false, torn = false;
    QByteArray got;
    QTcpSocket *peer = nullptr;

    FarSide()
    {
        m_server.listen(QHostAddress::LocalHost);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            peer = m_server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [this] {
                got += peer->readAll();
                if (!m_answered && got.count(bytes({255, 240})) >= 4) {
                    m_answered = true;
                    say(onSettings, closeAfterSettings);
                }
            });
            say(onConnect, closeAfterConnect);
        });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void say(const QByteArray &text, bool thenClose)
    {
        if (torn) {
            for (char c : text) {
                peer->write(&c, 1);
                peer->flush();
                QTest::qWait(2);
            }
        } else {
            peer->write(text);
        }
        if (thenClose) {
            peer->flush();
            peer->disconnectFromHost();
        }
    }
    QTcpServer m_server;
    bool m_answered = false;
};

} // namespace

class TestNetworkPort : public QObject {
    Q_OBJECT
private slots:
    void badAddressIsRefusedWithItsReason_data();
    void badAddressIsRefusedWithItsReason();
    void lineSettingsNegotiation_data();
    void lineSettingsNegotiation();
    void telnetBytesEscapedBothWays_data();
    void telnetBytesEscapedBothWays();
    void unreachableFarSideIsToldWithoutWaiting_data();
    void unreachableFarSideIsToldWithoutWaiting();
};

void TestNetworkPort::badAddressIsRefusedWithItsReason_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no port") << "tcp://gps.local"
                             << "«tcp://gps.local» has no port";
    QTest::newRow("port 0") << "tcp://gps.local:0"
                            << "«0» is no port number";
    QTest::newRow("port above 65535") << "rfc2217://gps.local:65536"
                                      << "«65536» is no port number";
    QTest::newRow("empty port") << "tcp://gps.local:"
                                << "«» is no port number";
    QTest::newRow("port with a sign") << "tcp://gps.local:+80"
                                      << "«+80» is no port number";
    QTest::newRow("port with letters") << "tcp://gps.local:20a0"
                                       << "«20a0» is no port number";
    QTest::newRow("empty host") << "rfc2217://:2000"
                                << "has no host: write rfc2217://HOST:PORT";
    QTest::newRow("path after the port") << "tcp://gps.local/x:2000"
                                         << "is not a host name";
}

void TestNetworkPort::badAddressIsRefusedWithItsReason()
{
    QFETCH(QString, device);
    QFETCH(QString, reason);
    NetworkPort port;
    port.setDevice(device);
    QVERIFY(!port.open());
    QVERIFY(!port.PortOpen());
    QVERIFY2(port.errorString().contains(reason), qPrintable(port.errorString()));
}

void TestNetworkPort::lineSettingsNegotiation_data()
{
    QTest::addColumn<QByteArray>("onConnect");
    QTest::addColumn<QByteArray>("onSettings");
    QTest::addColumn<bool>("closeAfterConnect");
    QTest::addColumn<bool>("closeAfterSettings");
    QTest::addColumn<bool>("torn");
    QTest::addColumn<QByteArray>("farSideGets");
    QTest::addColumn<QString>("error");

    const QByteArray agree = bytes({255, 253, 44});
    // 9600 is 0x00002580; even parity is 3; as RFC 2217 numbers them.
    const QByteArray settings = bytes({255, 250, 44, 1, 0, 0, 0x25, 0x80, 255, 240}) +
                                bytes({255, 250, 44, 2, 8, 255, 240}) +
                                bytes({255, 250, 44, 3, 3, 255, 240}) +
                                bytes({255, 250, 44, 4, 1, 255, 240});
    QTest::newRow("far side takes every setting")
        << agree << answersFor9600e81() << false << false << false << settings << "";
    QTest::newRow("answers torn into single bytes")
        << agree << answersFor9600e81() << false << false << true << settings << "";
    QTest::newRow("a telnet option we do not want is refused, the rest goes on")
        << bytes({255, 251, 1}) + agree << answersFor9600e81() << false << false << false
        << bytes({255, 254, 1}) << "";
    QTest::newRow("option refused") << bytes({255, 254, 44}) << QByteArray() << false << false
                                    << false << QByteArray() << "refuses to take line settings";
    QTest::newRow("another speed answered")
        << agree << bytes({255, 250, 44, 101, 0, 0, 0x12, 0xc0, 255, 240}) << false << false
        << false << settings << "did not take 9600 bits per second (it answered 4800)";
    QTest::newRow("another parity answered")
        << agree << bytes({255, 250, 44, 103, 1, 255, 240}) << false << false << false << settings
        << "did not take parity e";
    QTest::newRow("speed answer two bytes short")
        << agree << bytes({255, 250, 44, 101, 0x25, 0x80, 255, 240}) << false << false << false
        << settings << "malformed reply";
    QTest::newRow("settings never answered")
        << agree << QByteArray() << false << false << false << settings
        << "did not answer the line settings within 0.5 s";
    QTest::newRow("peer closes mid-frame")
        << agree << bytes({255, 250, 44, 101, 0, 0}) << false << true << false << settings
        << "closed the connection in the middle of a telnet command";
    QTest::newRow("peer closes before negotiating")
        << QByteArray() << QByteArray() << true << false << false << QByteArray()
        << "closed the connection";
}

void TestNetworkPort::lineSettingsNegotiation()
{
    QFETCH(QByteArray, onConnect);
    QFETCH(QByteArray, onSettings);
    QFETCH(bool, closeAfterConnect);
    QFETCH(bool, closeAfterSettings);
    QFETCH(bool, torn);
    QFETCH(QByteArray, farSideGets);
    QFETCH(QString, error);

    FarSide far;
    far.onConnect = onConnect;
    far.onSettings = onSettings;
    far.closeAfterConnect = closeAfterConnect;
    far.closeAfterSettings = closeAfterSettings;
    far.torn = torn;
    NetworkPort port;
    port.setAnswerMs(500);
    port.setDevice(QStringLiteral("rfc2217://127.0.0.1:%1").arg(far.port()));
    port.setSettings(QStringLiteral("9600,e,8,1"));
    QSignalSpy established(&port, &SerialPort::established);
    QSignalSpy lost(&port, &SerialPort::lost);
    QVERIFY(port.open());
    QVERIFY(port.opening());
    QTRY_VERIFY_WITH_TIMEOUT(!port.opening(), 3000);
    if (error.isEmpty()) {
        QCOMPARE(established.count(), 1);
        QCOMPARE(lost.count(), 0);
        QVERIFY(port.PortOpen());
    } else {
        QCOMPARE(established.count(), 0);
        QCOMPARE(lost.count(), 1);
        QVERIFY(!port.PortOpen());
        QVERIFY2(port.errorString().contains(error), qPrintable(port.errorString()));
    }
    QVERIFY2(far.got.contains(farSideGets), far.got.toHex(' ').constData());
}

void TestNetworkPort::telnetBytesEscapedBothWays_data()
{
    QTest::addColumn<QString>("scheme");
    QTest::addColumn<QByteArray>("toFarSide");
    QTest::addColumn<QByteArray>("farSideGets");
    QTest::addColumn<QByteArray>("fromFarSide");
    QTest::addColumn<QByteArray>("weGet");
    QTest::newRow("telnet: 255 going out is doubled")
        << "rfc2217" << bytes({0x10, 0xff, 0x03}) << bytes({0x10, 0xff, 0xff, 0x03}) << QByteArray()
        << QByteArray();
    QTest::newRow("telnet: 255 255 coming in is one 255")
        << "rfc2217" << QByteArray() << QByteArray() << bytes({0x10, 0xff, 0xff, 0x03})
        << bytes({0x10, 0xff, 0x03});
    QTest::newRow("telnet: a command amid the data is taken out")
        << "rfc2217" << QByteArray() << QByteArray() << bytes({0x10, 0xff, 0xf1, 0x03})
        << bytes({0x10, 0x03});
    QTest::newRow("raw: 255 untouched both ways")
        << "tcp" << bytes({0x10, 0xff, 0x03}) << bytes({0x10, 0xff, 0x03})
        << bytes({0x10, 0xff, 0xff}) << bytes({0x10, 0xff, 0xff});
}

void TestNetworkPort::telnetBytesEscapedBothWays()
{
    QFETCH(QString, scheme);
    QFETCH(QByteArray, toFarSide);
    QFETCH(QByteArray, farSideGets);
    QFETCH(QByteArray, fromFarSide);
    QFETCH(QByteArray, weGet);

    FarSide far;
    if (scheme == QStringLiteral("rfc2217")) {
        far.onConnect = bytes({255, 253, 44});
        far.onSettings = answersFor9600e81();
    }
    NetworkPort port;
    port.setDevice(QStringLiteral("%1://127.0.0.1:%2").arg(scheme).arg(far.port()));
    port.setSettings(QStringLiteral("9600,e,8,1"));
    QByteArray received;
    connect(&port, &SerialPort::received, this, [&](const QByteArray &b) { received += b; });
    QVERIFY(port.open());
    QVERIFY(waitWhileOpening(port));
    const qsizetype before = far.got.size();
    QVERIFY(port.Output(toFarSide));
    if (!fromFarSide.isEmpty())
        far.peer->write(fromFarSide);
    QTRY_COMPARE(far.got.mid(before), farSideGets);
    QTRY_COMPARE(received, weGet);
}

void TestNetworkPort::unreachableFarSideIsToldWithoutWaiting_data()
{
    QTest::addColumn<bool>("listening");
    QTest::addColumn<QString>("error");
    QTest::newRow("nothing listens there") << false << "Connection refused";
    // A listener that takes no connections and whose queue is full lets a new one's
    // handshake go unanswered, as a host that is off does.
    QTest::newRow("no answer") << true << "no answer from 127.0.0.1:%1 within 0.5 s";
}

void TestNetworkPort::unreachableFarSideIsToldWithoutWaiting()
{
    QFETCH(bool, listening);
    QFETCH(QString, error);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at), 0);
    socklen_t length = sizeof at;
    ::getsockname(listener, reinterpret_cast<sockaddr *>(&at), &length);
    const quint16 number = ntohs(at.sin_port);
    QList<int> fillers;
    if (listening) {
        QCOMPARE(::listen(listener, 0), 0);
        for (int i = 0; i < 3; ++i) {
            const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(s, reinterpret_cast<sockaddr *>(&at), sizeof at);
            fillers.append(s);
        }
        QTest::qWait(100);
    }

    NetworkPort port;
    port.setAnswerMs(500);
    port.setDevice(QStringLiteral("tcp://127.0.0.1:%1").arg(number));
    QSignalSpy lost(&port, &SerialPort::lost);
    // The event loop goes on while the port connects: this timer still fires.
    int ticks = 0;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] { ++ticks; });
    tick.start(50);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(port.open());
    QVERIFY(clock.elapsed() < 100);
    QVERIFY(!waitWhileOpening(port));
    QCOMPARE(lost.count(), 1);
    QVERIFY(clock.elapsed() < 1500);
    QVERIFY(ticks > 0 || !listening);
    const QString expected = error.contains(QStringLiteral("%1")) ? error.arg(number) : error;
    QVERIFY2(port.errorString().contains(expected), qPrintable(port.errorString()));
    for (int s : fillers)
        ::close(s);
    ::close(listener);
}

QTEST_GUILESS_MAIN(TestNetworkPort)
#include "tst_networkport.moc"
