#include "platform/qtserialport.h"
#include "pseudoterminal.h"

#include <QtTest>

// On a busy line the port hands bytes on in batches; none may be lost, doubled or
// reordered by the waiting.
class TestSerialBatching : public QObject {
    Q_OBJECT
private slots:
    void burstOfSmallWritesArrivesWholeAndInOrder();
    void bytesAfterAQuietSpellArrive();
};

namespace {

struct Link {
    Pty pty;
    QtSerialPort port;
    QByteArray got;
    int handOvers = 0;

    Link()
    {
        QObject::connect(&port, &SerialPort::received, &port, [this](const QByteArray &b) {
            got += b;
            ++handOvers;
        });
        port.setDevice(pty.slavePath());
    }
};

} // namespace

void TestSerialBatching::burstOfSmallWritesArrivesWholeAndInOrder()
{
    Link l;
    QVERIFY(l.pty.ok());
    QVERIFY(l.port.open());
    QByteArray sent;
    for (int i = 0; i < 400; ++i) {
        const QByteArray piece(1 + i % 7, char(i));
        sent += piece;
        QVERIFY(l.pty.write(piece));
        if (i % 20 == 0)
            QCoreApplication::processEvents();
    }
    QTRY_COMPARE(l.got.size(), sent.size());
    QCOMPARE(l.got, sent);
    QVERIFY(l.handOvers >= 1);
}

void TestSerialBatching::bytesAfterAQuietSpellArrive()
{
    Link l;
    QVERIFY(l.port.open());
    QVERIFY(l.pty.write("first"));
    QTRY_COMPARE(l.got, QByteArray("first"));
    QTest::qWait(20);
    QVERIFY(l.pty.write("second"));
    QTRY_COMPARE(l.got, QByteArray("firstsecond"));
}

QTEST_GUILESS_MAIN(TestSerialBatching)
#include "tst_serialbatching.moc"
