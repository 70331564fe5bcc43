#include "framebuilder.h"
#include "link/encoder.h"
#include "platform/selectingserialport.h"
#include "sim/simulatedport.h"
#include "testplatform.h"

#include <QSignalSpy>
#include <QtTest>

class TestSimulatedPort : public QObject {
    Q_OBJECT
private slots:
    void bitsPerByteCountsStartParityAndStop_data();
    void bitsPerByteCountsStartParityAndStop();
    void frameTakesItsLineTime_data();
    void frameTakesItsLineTime();
    void lateStepDoesNotBurst();
    void portAnswersWhileOpenOnly();
    void portRefusesBadSettings();
    void receiverKeepsItsStateWhileClosed();
    void selectingPortFollowsTheDevice_data();
    void selectingPortFollowsTheDevice();
    void selectingPortPassesOnWhatTheActivePortSays();
};

void TestSimulatedPort::bitsPerByteCountsStartParityAndStop_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("bits");
    QTest::newRow("9600,e,8,1") << "9600,e,8,1" << 11;
    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << 10;
    QTest::newRow("1200,o,8,2") << "1200,o,8,2" << 12;
    QTest::newRow("19200,n,7,2") << "19200,n,7,2" << 10;
}

void TestSimulatedPort::bitsPerByteCountsStartParityAndStop()
{
    QFETCH(QString, settings);
    QFETCH(int, bits);
    QCOMPARE(bitsPerByte(*LineSettings::parse(settings)), bits);
}

void TestSimulatedPort::frameTakesItsLineTime_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("ms"); // for the 44-byte navigation message
    QTest::newRow("9600,e,8,1") << "9600,e,8,1" << 51;
    QTest::newRow("9600,n,8,1") << "9600,n,8,1" << 46;
    QTest::newRow("1200,e,8,1") << "1200,e,8,1" << 404;
    QTest::newRow("19200,e,8,1") << "19200,e,8,1" << 26;
}

void TestSimulatedPort::frameTakesItsLineTime()
{
    QFETCH(QString, settings);
    QFETCH(int, ms);
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    SimulatorLine line(sim, clock);
    line.setLineSettings(*LineSettings::parse(settings));
    QByteArray got;
    connect(&line, &SimulatorLine::output, this, [&](const QByteArray &b) { got += b; });
    line.input(requestFrame(0xCA));
    line.pump();
    int doneAt = -1;
    for (int t = 1; t <= 1000 && doneAt < 0; ++t) {
        clock.time = clock.time.addMSecs(1);
        line.pump();
        if (t == ms / 2)
            QVERIFY2(got.size() > 10 && got.size() < 34, qPrintable(QString::number(got.size())));
        if (got.size() == 44)
            doneAt = t;
    }
    QCOMPARE(doneAt, ms);
    QCOMPARE(quint8(got[0]), quint8(0xCA));
}

void TestSimulatedPort::lateStepDoesNotBurst()
{
    FakeClock clock;
    SimulatorOptions o;
    o.intervalMs = 0;
    Simulator sim(clock, o);
    SimulatorLine line(sim, clock);
    line.setLineSettings(*LineSettings::parse("9600,e,8,1"));
    for (int i = 0; i < 20; ++i)
        line.input(requestFrame(0xCB));
    line.pump();
    QSignalSpy spy(&line, &SimulatorLine::output);
    clock.time = clock.time.addSecs(5); // the event loop was blocked
    line.pump();
    QCOMPARE(spy.size(), 1);
    // At most 100 ms of line time: 87 bytes at 9600,e,8,1.
    QVERIFY(spy.first().first().toByteArray().size() <= 88);
}

void TestSimulatedPort::portAnswersWhileOpenOnly()
{
    FakeClock clock;
    SimulatedPort port(clock);
    QVERIFY(!port.Output(requestFrame(0xC4)));
    QCOMPARE(port.simulator().commandsReceived().size(), 0);
    QVERIFY(port.open());
    QVERIFY(port.PortOpen());
    QSignalSpy spy(&port, &SerialPort::received);
    QVERIFY(port.Output(requestFrame(0xC4)));
    QByteArray got;
    for (int t = 0; t < 300; ++t) {
        clock.time = clock.time.addMSecs(1);
        port.line().pump();
    }
    for (const auto &args : spy)
        got += args.first().toByteArray();
    // The diagnosis answer, and the navigation and satellite messages due at once.
    QVERIFY(got.startsWith(buildFrameOfType(0xC4, bytes({0x02, 0x13, 0x10}))));
    QCOMPARE(got.size(), 11 + 44 + 50);
    port.close();
    QVERIFY(!port.PortOpen());
    QCOMPARE(port.simulator().pending(), 0);
}

void TestSimulatedPort::portRefusesBadSettings()
{
    FakeClock clock;
    SimulatedPort port(clock);
    port.setSettings(QStringLiteral("fast,e,8,1"));
    QVERIFY(!port.open());
    QVERIFY(!port.PortOpen());
    QVERIFY(!port.errorString().isEmpty());
}

void TestSimulatedPort::receiverKeepsItsStateWhileClosed()
{
    FakeClock clock;
    SimulatedPort port(clock);
    QVERIFY(port.open());
    QVERIFY(port.Output(encodeFrame(0xB1, bytes({0x07, 0xD0, 0x00, 0x00}))));
    port.close();
    QVERIFY(port.open());
    QCOMPARE(port.simulator().heightMetres(), 1000.0);
}

void TestSimulatedPort::selectingPortFollowsTheDevice_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("simulated");
    QTest::newRow("simulated receiver") << SimulatedPort::deviceName() << true;
    QTest::newRow("a device path") << "/dev/ttyUSB0" << false;
    QTest::newRow("Com n") << "" << false;
    QTest::newRow("name in other case") << "simulated receiver" << false;
}

void TestSimulatedPort::selectingPortFollowsTheDevice()
{
    QFETCH(QString, device);
    QFETCH(bool, simulated);
    FakeClock clock;
    auto fakeOwned = std::make_unique<FakeSerialPort>();
    FakeSerialPort *fake = fakeOwned.get();
    auto simOwned = std::make_unique<SimulatedPort>(clock);
    SimulatedPort *sim = simOwned.get();
    SelectingSerialPort port(std::move(fakeOwned));
    port.addDevice(SimulatedPort::deviceName(), std::move(simOwned));
    // A device chosen by other means (a recording's replay) is not offered.
    port.addDevice(QStringLiteral("Elsewhere"), std::make_unique<FakeSerialPort>(),
                   SelectingSerialPort::Offered::No);
    QCOMPARE(port.offeredDevices(), QStringList{SimulatedPort::deviceName()});

    // Open the other one first: switching closes it.
    port.setDevice(simulated ? QString() : SimulatedPort::deviceName());
    QVERIFY(port.open());
    port.setDevice(device);
    port.setCommPort(3);
    port.setSettings(QStringLiteral("19200,n,8,1"));
    // The status line names a stand-in by its name alone, before and after it opens.
    QCOMPARE(port.isSerialLine(), !simulated);
    QVERIFY(port.open());
    QCOMPARE(port.isSerialLine(), !simulated);
    QCOMPARE(&port.active() == sim, simulated);
    QCOMPARE(sim->PortOpen(), simulated);
    QCOMPARE(fake->PortOpen(), !simulated);
    QCOMPARE(port.active().Settings(), QStringLiteral("19200,n,8,1"));
    QCOMPARE(port.active().CommPort(), 3);
    QCOMPARE(port.active().device(), device);
    QVERIFY(port.Output(requestFrame(0xCA)));
    QCOMPARE(fake->written.isEmpty(), simulated);
    QCOMPARE(sim->simulator().commandsReceived().size(), simulated ? 1 : 0);
    port.close();
    QVERIFY(!port.PortOpen());
}

void TestSimulatedPort::selectingPortPassesOnWhatTheActivePortSays()
{
    auto fakeOwned = std::make_unique<FakeSerialPort>();
    FakeSerialPort *fake = fakeOwned.get();
    SelectingSerialPort port(std::move(fakeOwned));
    QSignalSpy received(&port, &SerialPort::received);
    QSignalSpy events(&port, &SerialPort::commEvent);
    QSignalSpy lost(&port, &SerialPort::lost);
    QVERIFY(port.open());
    fake->feed(bytes({0xB7, 0xB7, 0x92, 0x0D}));
    fake->event(CommEvent::Break);
    fake->unplug();
    QCOMPARE(received.size(), 1);
    QCOMPARE(events.size(), 1);
    QCOMPARE(lost.size(), 1);
    QVERIFY(!port.PortOpen());
    fake->refuseOpen = true;
    QVERIFY(!port.open());
}

QTEST_GUILESS_MAIN(TestSimulatedPort)
#include "tst_simulatedport.moc"
