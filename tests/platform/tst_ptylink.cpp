#include "platform/ptylink.h"

#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <sys/ioctl.h>
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
    void nothingIsWrittenWhileNoProgramHasItOpen();
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
    // The terminal hands written bytes to its reading side a moment later, later still
    // on a busy machine; each write waits until the waiting count has moved, as it
    // does between a real line's messages. The descriptor is only looked at, never read,
    // until the end.
    const int fd = openSlave(link.slavePath());
    QVERIFY(fd >= 0);
    const auto waitingNow = [fd] {
        int n = 0;
        ::ioctl(fd, FIONREAD, &n);
        return n;
    };
    const auto writeAndSettle = [&](const QByteArray &bytes) {
        const int before = waitingNow();
        link.write(bytes);
        QTRY_VERIFY_WITH_TIMEOUT(waitingNow() != before, 2000);
    };
    // Ten kilobytes with nobody reading, then a fresh frame.
    for (int i = 0; i < 100; ++i)
        writeAndSettle(QByteArray(100, 'x'));
    writeAndSettle(QByteArray("\xCA\xCA", 2));
    const QByteArray waiting = readAll(fd);
    QVERIFY2(waiting.size() <= 5000, qPrintable(QString::number(waiting.size())));
    QVERIFY(waiting.endsWith("\xCA\xCA"));
    ::close(fd);
}

void TestPtyLinkMaster::nothingIsWrittenWhileNoProgramHasItOpen()
{
    PtyLink link;
    QVERIFY(link.open());
    QSignalSpy changes(&link, &PtyLink::readerChanged);
    QVERIFY(!link.readerPresent());
    QCOMPARE(link.write("before"), qsizetype(6));

    int fd = openSlave(link.slavePath());
    QVERIFY(fd >= 0);
    QTRY_COMPARE(changes.size(), 1);
    QCOMPARE(changes[0][0].toBool(), true);
    QCOMPARE(link.write("\xCA\xCA"), qsizetype(0));
    QCOMPARE(readAll(fd), QByteArray("\xCA\xCA"));
    // Left unread when the program closes: not for the next one.
    QCOMPARE(link.write("unread"), qsizetype(0));
    ::close(fd);
    QTRY_COMPARE(changes.size(), 2);
    QCOMPARE(changes[1][0].toBool(), false);
    QCOMPARE(link.write("between"), qsizetype(7));

    fd = openSlave(link.slavePath());
    QVERIFY(fd >= 0);
    QTRY_VERIFY(link.readerPresent());
    QCOMPARE(readAll(fd), QByteArray());
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestPtyLinkMaster)
#include "tst_ptylink.moc"
