#include "platform/serialport.h"

#include <QtTest>
#include <sys/ioctl.h>

class TestSerialPort : public QObject {
    Q_OBJECT
private slots:
    void countersRaiseOneEventPerCounterThatWentUp_data();
    void countersRaiseOneEventPerCounterThatWentUp();
    void modemLinesRaiseEventsOnChange_data();
    void modemLinesRaiseEventsOnChange();
    void settingsTextRoundTrips_data();
    void settingsTextRoundTrips();
    void comPortsNameDevices();
};

void TestSerialPort::countersRaiseOneEventPerCounterThatWentUp_data()
{
    QTest::addColumn<LineCounters>("before");
    QTest::addColumn<LineCounters>("after");
    QTest::addColumn<QList<int>>("events");
    const LineCounters zero;
    LineCounters all;
    all.brk = all.frame = all.overrun = all.bufOverrun = all.parity = 1;
    all.cts = all.dsr = all.dcd = all.ring = 1;
    QTest::newRow("nothing changed") << zero << zero << QList<int>{};
    QTest::newRow("every counter")
        << zero << all << QList<int>{1001, 1004, 1006, 1008, 1009, 3, 4, 5, 6};
    LineCounters frame3 = zero;
    frame3.frame = 3;
    QTest::newRow("three framing errors, one event") << zero << frame3 << QList<int>{1004};
    LineCounters high = zero, wrapped = zero;
    high.parity = 0xFFFFFFFFu;
    wrapped.parity = 2;
    QTest::newRow("counter wrapped") << high << wrapped << QList<int>{1009};
    // Counters that went down belong to another opening of the port, not to new events.
    QTest::newRow("counter reset") << all << zero << QList<int>{};
}

void TestSerialPort::countersRaiseOneEventPerCounterThatWentUp()
{
    QFETCH(LineCounters, before);
    QFETCH(LineCounters, after);
    QFETCH(QList<int>, events);
    QCOMPARE(lineEventsFromCounters(before, after), events);
}

void TestSerialPort::modemLinesRaiseEventsOnChange_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<QList<int>>("events");
    QTest::newRow("steady") << int(TIOCM_CTS) << int(TIOCM_CTS) << QList<int>{};
    QTest::newRow("cts up") << 0 << int(TIOCM_CTS) << QList<int>{3};
    QTest::newRow("cts down") << int(TIOCM_CTS) << 0 << QList<int>{3};
    QTest::newRow("dsr and cd") << 0 << int(TIOCM_DSR | TIOCM_CD) << QList<int>{4, 5};
    QTest::newRow("ring starts") << 0 << int(TIOCM_RI) << QList<int>{};
    QTest::newRow("ring ends") << int(TIOCM_RI) << 0 << QList<int>{6};
    QTest::newRow("rts is ours, not an event") << 0 << int(TIOCM_RTS) << QList<int>{};
}

void TestSerialPort::modemLinesRaiseEventsOnChange()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(QList<int>, events);
    QCOMPARE(lineEventsFromModemBits(before, after), events);
}

void TestSerialPort::settingsTextRoundTrips_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("default") << "9600,e,8,1" << true;
    QTest::newRow("fast, no parity, two stops") << "19200,n,8,2" << true;
    QTest::newRow("mark seven") << "1200,m,7,1" << true;
    QTest::newRow("unknown parity") << "9600,x,8,1" << false;
    QTest::newRow("three stop bits") << "9600,e,8,3" << false;
    QTest::newRow("missing field") << "9600,e,8" << false;
    QTest::newRow("speed not a number") << "fast,e,8,1" << false;
    QTest::newRow("empty") << "" << false;
}

void TestSerialPort::settingsTextRoundTrips()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    const auto s = LineSettings::parse(text);
    QCOMPARE(s.has_value(), valid);
    if (s)
        QCOMPARE(s->text(), text);
}

void TestSerialPort::comPortsNameDevices()
{
#ifdef Q_OS_WIN
    QCOMPARE(comPortDevice(3), QStringLiteral("COM3"));
#else
    QCOMPARE(comPortDevice(1), QStringLiteral("/dev/ttyS0"));
    QCOMPARE(comPortDevice(4), QStringLiteral("/dev/ttyS3"));
#endif
}

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
