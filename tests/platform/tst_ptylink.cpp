#include "platform/ptylink.h"

#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A program's side: the slave opened as a serial port is opened, raw and non-blocking.
int openSlave(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd >= 0) {
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
    }
    return fd;
}

QByteArray readAll(int fd)
{
    QByteArray out;
    char buf[4096];
    for (int idle = 0; idle < 5;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, n);
            idle = 0;
        } else {
            ++idle;
            QTest::qWait(10);
        }
    }
    return out;
}

} // namespace

class TestPtyLinkMaster : public QObject {
    Q_OBJECT
private slots:
    void bytesPassBothWaysUnchanged();
    void staleBytesAreDroppedWhenNobodyReads();
};

void TestPtyLinkMaster::bytesPassBothWaysUnchanged()
{
    PtyLink link;
    QVERIFY(link.open());
    const int fd = openSlave(link.slavePath());
    QVERIFY(fd >= 0);
    QByteArray every;
    for (int b = 0; b < 256; ++b)
        every.append(char(b));
    QCOMPARE(link.write(every), qsizetype(0));
    QCOMPARE(readAll(fd), every);

    QSignalSpy spy(&link, &PtyLink::received);
    QCOMPARE(::write(fd, every.constData(), size_t(every.size())), ssize_t(every.size()));
    const auto arrived = [&] {
        QByteArray all;
        for (const auto &args : spy)
            all += args.first().toByteArray();
        return all;
    };
    QTRY_COMPARE(arrived(), every);
    ::close(fd);
}

void TestPtyLinkMaster::staleBytesAreDroppedWhenNobodyReads()
{
    PtyLink link;
    QVERIFY(link.open());
    // Ten kilobytes with nobody on the other side, then a fresh frame. The terminal
    // hands written bytes on a moment later, so they go out a little at a time, as
    // the simulator's line sends them.
    for (int i = 0; i < 100; ++i) {
        link.write(QByteArray(100, 'x'));
        QTest::qWait(3);
    }
    link.write(QByteArray("\xCA\xCA", 2));
    const int fd = openSlave(link.slavePath());
    QVERIFY(fd >= 0);
    const QByteArray waiting = readAll(fd);
    QVERIFY2(waiting.size() <= 5000, qPrintable(QString::number(waiting.size())));
    QVERIFY(waiting.endsWith("\xCA\xCA"));
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestPtyLinkMaster)
#include "tst_ptylink.moc"
