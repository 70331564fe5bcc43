#include "framebuilder.h"
#include "link/encoder.h"
#include "link/gpsmain.h"
#include "testplatform.h"

#include <QtTest>

class TestEncoder : public QObject {
    Q_OBJECT
private slots:
    void requestFrames_data();
    void requestFrames();
    void commandFrames_data();
    void commandFrames();
    void everyFrameSumsToZero();
    void sendWritesWholeFrameOnce();
    void sendWhileClosedWritesNothingAndLogs();
};

void TestEncoder::requestFrames_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("navigation") << 0xCA << bytes({0xCA, 0xCA, 0x6C, 0x0D});
    QTest::newRow("B7") << 0xB7 << bytes({0xB7, 0xB7, 0x92, 0x0D});
    QTest::newRow("condition") << 0xC6 << bytes({0xC6, 0xC6, 0x74, 0x0D});
    QTest::newRow("diagnosis") << 0xC4 << bytes({0xC4, 0xC4, 0x78, 0x0D});
    QTest::newRow("mode") << 0xC3 << bytes({0xC3, 0xC3, 0x7A, 0x0D});
    QTest::newRow("satellites") << 0xCB << bytes({0xCB, 0xCB, 0x6A, 0x0D});
    QTest::newRow("system reset") << 0xB6 << bytes({0xB6, 0xB6, 0x94, 0x0D});
    QTest::newRow("cold start") << 0xB9 << bytes({0xB9, 0xB9, 0x8E, 0x0D});
    QTest::newRow("B8") << 0xB8 << bytes({0xB8, 0xB8, 0x90, 0x0D});
    // 2 x 0x80 is 256: the checksum of a zero sum is 0, not 256.
    QTest::newRow("sum wraps to zero") << 0x80 << bytes({0x80, 0x80, 0x00, 0x0D});
    QTest::newRow("zero") << 0x00 << bytes({0x00, 0x00, 0x00, 0x0D});
}

void TestEncoder::requestFrames()
{
    QFETCH(int, command);
    QFETCH(QByteArray, wire);
    QCOMPARE(requestFrame(command), wire);
    std::array<quint8, 11> empty{};
    QCOMPARE(commandFrame(command, empty), wire);
}

void TestEncoder::commandFrames_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("time stamp request")
        << 0xC5 << bytes({0x00}) << bytes({0xC5, 0xC5, 0x00, 0x76, 0x0D});
    QTest::newRow("time stamp search mode 1")
        << 0xC5 << bytes({0x01}) << bytes({0xC5, 0xC5, 0x01, 0x75, 0x0D});
    QTest::newRow("time stamp reset")
        << 0xB2 << bytes({0x00}) << bytes({0xB2, 0xB2, 0x00, 0x9C, 0x0D});
    QTest::newRow("ten bytes") << 0xB0 << bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
                               << bytes({0xB0, 0xB0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0x69, 0x0D});
}

void TestEncoder::commandFrames()
{
    QFETCH(int, command);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, wire);
    std::array<quint8, 11> buf{};
    buf[0] = quint8(payload.size());
    for (int i = 0; i < payload.size(); ++i)
        buf[std::size_t(i + 1)] = quint8(payload[i]);
    QCOMPARE(commandFrame(command, buf), wire);
}

void TestEncoder::everyFrameSumsToZero()
{
    std::array<quint8, 11> buf{};
    for (int command = 0; command < 256; command += 7) {
        for (int n = 0; n <= 10; ++n) {
            buf[0] = quint8(n);
            for (int i = 1; i <= 10; ++i)
                buf[std::size_t(i)] = quint8(command * 31 + i * 17);
            const QByteArray f = commandFrame(command, buf);
            QCOMPARE(f.size(), n + 4);
            QCOMPARE(f.back(), '\r');
            quint8 sum = 0;
            for (int i = 0; i < f.size() - 1; ++i)
                sum = quint8(sum + quint8(f[i]));
            QCOMPARE(int(sum), 0);
        }
    }
    // A count beyond the buffer's ten bytes never reads past it.
    buf[0] = 200;
    QCOMPARE(commandFrame(0xB1, buf).size(), 14);
}

void TestEncoder::sendWritesWholeFrameOnce()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    FakeSerialPort port;
    port.isOpenNow = true;
    g.setPort(&port);
    QSignalSpy sent(&g, &GPS_Main::frameSent);
    g.CmdBuffer[0] = 1;
    g.CmdBuffer[1] = 0;
    g.SendCommand(0xC5);
    g.SendRequest(0xCA);
    QCOMPARE(port.written, bytes({0xC5, 0xC5, 0x00, 0x76, 0x0D, 0xCA, 0xCA, 0x6C, 0x0D}));
    QCOMPARE(sent.count(), 2);
    // The command buffer keeps its payload for the next command.
    QCOMPARE(int(g.CmdBuffer[0]), 1);
    QVERIFY(g.ErrorDis().isEmpty());
}

void TestEncoder::sendWhileClosedWritesNothingAndLogs()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.SendRequest(0xCA); // no port at all
    QCOMPARE(g.ErrorDis(), QStringLiteral("ERR: NotOpen\r\n"));
    FakeSerialPort port;
    g.setPort(&port);
    g.SendRequest(0xB9); // a port that is closed
    QVERIFY(port.written.isEmpty());
    QCOMPARE(g.ErrorDis(), QStringLiteral("ERR: NotOpen\r\nERR: NotOpen\r\n"));
}

QTEST_GUILESS_MAIN(TestEncoder)
#include "tst_encoder.moc"
