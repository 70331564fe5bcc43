#include "framebuilder.h"
#include "link/gpsmain.h"
#include "share/nmeashare.h"
#include "share/ui/sharenmea.h"
#include "testplatform.h"

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class TestNmeaShare : public QObject {
    Q_OBJECT
private slots:
    void onlyLoopbackAddressesAreTaken_data();
    void onlyLoopbackAddressesAreTaken();
    void stalledClientIsDroppedWhileTheOtherKeepsReceiving();
    void clientInputIsReadAndThrownAway_data();
    void clientInputIsReadAndThrownAway();
    void storedSettingReadsBackOrFallsToDefault_data();
    void storedSettingReadsBackOrFallsToDefault();
    void dialogServesAndSaves();
    void programRefusesOtherAddresses_data();
    void programRefusesOtherAddresses();
};

void TestNmeaShare::onlyLoopbackAddressesAreTaken_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("error");
    QTest::newRow("IPv4 loopback") << "127.0.0.1:10110"
                                   << "127.0.0.1" << 10110 << "";
    QTest::newRow("IPv6 loopback") << "[::1]:2947"
                                   << "::1" << 2947 << "";
    QTest::newRow("localhost, any port") << "localhost:0"
                                         << "127.0.0.1" << 0 << "";
    QTest::newRow("another loopback") << "127.0.0.2:1"
                                      << "127.0.0.2" << 1 << "";
    QTest::newRow("local network") << "192.168.1.2:10110"
                                   << "" << 0 << "loopback";
    QTest::newRow("every address") << "0.0.0.0:10110"
                                   << "" << 0 << "loopback";
    QTest::newRow("no port") << "127.0.0.1"
                             << "" << 0 << "127.0.0.1:PORT";
    QTest::newRow("port too large") << "127.0.0.1:65536"
                                    << "" << 0 << "127.0.0.1:PORT";
    QTest::newRow("port not a number") << "127.0.0.1:nmea"
                                       << "" << 0 << "127.0.0.1:PORT";
    QTest::newRow("a name") << "gps.example:10110"
                            << "" << 0 << "127.0.0.1:PORT";
}

void TestNmeaShare::onlyLoopbackAddressesAreTaken()
{
    QFETCH(QString, text);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, error);
    QString said;
    const auto a = parseLoopbackAddress(text, said);
    QCOMPARE(a.has_value(), !host.isEmpty());
    if (a) {
        QCOMPARE(a->host, host);
        QCOMPARE(int(a->port), port);
    } else {
        QVERIFY2(said.contains(error), qPrintable(said));
    }
}

// The program's receive path feeds the server; one client reads, one never does.
void TestNmeaShare::stalledClientIsDroppedWhileTheOtherKeepsReceiving()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    NmeaShare share(g);
    QString error;
    QVERIFY2(share.start(LoopbackAddress::localHost(0), error), qPrintable(error));
    share.server().setBacklogLimit(16 * 1024);
    QSignalSpy dropped(&share.server(), &NmeaServer::clientDropped);

    QTcpSocket reader;
    reader.connectToHost(QHostAddress::LocalHost, share.server().port());
    QVERIFY(reader.waitForConnected(3000));
    // A client that reads nothing, its own receive buffer as small as the system allows.
    const int stalled = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(stalled >= 0);
    const int small = 1024;
    ::setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(share.server().port());
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::connect(stalled, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
    QTRY_COMPARE(share.server().clientCount(), 2);

    QByteArray channels;
    place(channels, 4, {5, 0x08, 200, 64, 64});
    const QByteArray satellites = buildFrameOfType(0xCB, channels);
    const QByteArray navigation =
        navFrame({{3, {0x04}}, {4, {0x02, 0x98, 0x1A, 0x00, 0x00, 0x75, 0x12, 0x00}}});
    g.receive(satellites);
    constexpr int kMessages = 4000;
    QByteArray got;
    qint64 batch = 0, mostQueued = 0;
    for (int i = 0; i < kMessages; ++i) {
        const qint64 before = share.server().queuedBytes();
        g.receive(navigation);
        batch = std::max(batch, share.server().queuedBytes() - before);
        mostQueued = std::max(mostQueued, share.server().queuedBytes());
        QCoreApplication::processEvents();
        got += reader.readAll();
    }
    QTRY_VERIFY_WITH_TIMEOUT((got += reader.readAll()).count("$GPGGA") == kMessages, 5000);
    ::close(stalled);

    QCOMPARE(dropped.count(), 1);
    QCOMPARE(share.server().clientCount(), 1);
    QVERIFY(got.count("$GPGSV") == kMessages);
    // What waits is bounded by the limit and one message's sentences, however long
    // the stalled client sat there.
    QVERIFY2(mostQueued <= share.server().backlogLimit() + batch,
             qPrintable(QStringLiteral("%1 bytes queued").arg(mostQueued)));
    QVERIFY(kMessages * batch > 20 * share.server().backlogLimit()); // it was tested
}

void TestNmeaShare::clientInputIsReadAndThrownAway_data()
{
    QTest::addColumn<int>("bytesPerWrite");
    QTest::addColumn<int>("writes");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("a greeting stays") << 40 << 3 << false;
    QTest::newRow("just under the limit stays") << 1000 << 4 << false;
    QTest::newRow("a flood is dropped") << 64 * 1024 << 64 << true;
}

// Clients have nothing to say: a few lines are read and forgotten, a flood ends the
// client with a line in the log, and the share goes on serving the others.
void TestNmeaShare::clientInputIsReadAndThrownAway()
{
    QFETCH(int, bytesPerWrite);
    QFETCH(int, writes);
    QFETCH(bool, dropped);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    NmeaShare share(g);
    QString error;
    QVERIFY2(share.start(LoopbackAddress::localHost(0), error), qPrintable(error));
    QSignalSpy drops(&share.server(), &NmeaServer::clientDropped);
    QTcpSocket talker, listener;
    for (QTcpSocket *s : {&talker, &listener}) {
        s->connectToHost(QHostAddress::LocalHost, share.server().port());
        QVERIFY(s->waitForConnected(3000));
    }
    QTRY_COMPARE(share.server().clientCount(), 2);
    const QByteArray piece(bytesPerWrite, 'x');
    for (int i = 0; i < writes && talker.state() == QAbstractSocket::ConnectedState; ++i) {
        talker.write(piece);
        talker.waitForBytesWritten(1000);
        QCoreApplication::processEvents();
    }
    if (dropped) {
        QTRY_COMPARE(drops.count(), 1);
        QVERIFY(drops.first().first().toString().contains(QLatin1String("within a second")));
        QVERIFY(g.ErrorDis().contains(QLatin1String("NMEA client dropped")));
        QTRY_COMPARE(share.server().clientCount(), 1);
    } else {
        QTest::qWait(200);
        QCOMPARE(drops.count(), 0);
        QCOMPARE(share.server().clientCount(), 2);
    }
    // The one who listens still hears the receiver.
    g.receive(navFrame({{3, {0x04}}, {4, {0x02, 0x98, 0x1A, 0x00, 0x00, 0x75, 0x12, 0x00}}}));
    QTRY_VERIFY(listener.bytesAvailable() > 0 || listener.waitForReadyRead(100));
    QVERIFY(listener.readAll().contains("$GPGGA"));
}

void TestNmeaShare::storedSettingReadsBackOrFallsToDefault_data()
{
    QTest::addColumn<QString>("share");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("expectedPort");
    QTest::newRow("on, port") << "1"
                              << "2947" << true << 2947;
    QTest::newRow("off") << "0"
                         << "2947" << false << 2947;
    QTest::newRow("not yes or no") << "yes"
                                   << "2947" << false << 2947;
    QTest::newRow("port zero") << "1"
                               << "0" << true << 10110;
    QTest::newRow("port too large") << "1"
                                    << "65536" << true << 10110;
    QTest::newRow("port not a number") << "1"
                                       << "x10" << true << 10110;
}

void TestNmeaShare::storedSettingReadsBackOrFallsToDefault()
{
    QFETCH(QString, share);
    QFETCH(QString, port);
    TestPlatform tp;
    QCOMPARE(NmeaShareSetting::load(tp.settings.get()).enabled, false); // off by default
    tp.settings->SaveSetting(QStringLiteral("NMEA"), QStringLiteral("Share"), share);
    tp.settings->SaveSetting(QStringLiteral("NMEA"), QStringLiteral("Port"), port);
    const NmeaShareSetting s = NmeaShareSetting::load(tp.settings.get());
    QTEST(s.enabled, "enabled");
    QTEST(int(s.port), "expectedPort");
}

void TestNmeaShare::dialogServesAndSaves()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    NmeaShare share(g);
    // A port that is taken is told in the window, which stays open.
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    ShareNmea dialog(g, share);
    dialog.Form_Load();
    QVERIFY(!dialog.ShareOn->isChecked());
    QCOMPARE(dialog.SharePort->value(), 10110);
    dialog.ShareOn->setChecked(true);
    dialog.SharePort->setValue(taken.serverPort());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.OK_Click();
    QVERIFY(!share.serving());
    QVERIFY(dialog.result() != QDialog::Accepted);
    QVERIFY(dialog.ShareState->text().contains(QStringLiteral("another port")));
    // The whole refusal shows: the label is as tall as its wrapped lines and lies
    // within the window.
    QCoreApplication::processEvents();
    QLabel *state = dialog.ShareState;
    QVERIFY(state->height() >= state->heightForWidth(state->width()));
    QVERIFY(dialog.rect().contains(QRect(state->mapTo(&dialog, QPoint()), state->size())));
    QVERIFY(!NmeaShareSetting::load(tp.settings.get()).enabled);

    const quint16 free = taken.serverPort();
    taken.close();
    dialog.SharePort->setValue(free);
    dialog.OK_Click();
    QVERIFY(share.serving());
    QCOMPARE(share.server().port(), free);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const NmeaShareSetting saved = NmeaShareSetting::load(tp.settings.get());
    QVERIFY(saved.enabled);
    QCOMPARE(saved.port, free);

    ShareNmea again(g, share);
    again.Form_Load();
    QVERIFY(again.ShareOn->isChecked());
    again.ShareOn->setChecked(false);
    again.OK_Click();
    QVERIFY(!share.serving());
    QVERIFY(!NmeaShareSetting::load(tp.settings.get()).enabled);
}

void TestNmeaShare::programRefusesOtherAddresses_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("says");
    QTest::newRow("local network") << "192.168.1.2:10110"
                                   << "loopback";
    QTest::newRow("every address") << "0.0.0.0:10110"
                                   << "loopback";
    QTest::newRow("no port") << "127.0.0.1"
                             << "127.0.0.1:PORT";
}

void TestNmeaShare::programRefusesOtherAddresses()
{
    QFETCH(QString, address);
    QFETCH(QString, says);
    QTemporaryDir home;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KESTREL_PROGRAM), {"--simulate", "--nmea-tcp", address});
    QVERIFY(p.waitForFinished(15000));
    QCOMPARE(p.exitCode(), 2);
    const QString err = QString::fromLocal8Bit(p.readAllStandardError());
    QVERIFY2(err.contains(says) && err.contains(QStringLiteral("--nmea-tcp")), qPrintable(err));
}

QTEST_MAIN(TestNmeaShare)
#include "tst_nmeashare.moc"
