// A USB adapter pulled out and plugged in again, a hundred times, while the receiver
// talks: the device behind a symbolic link vanishes and comes back as another
// pseudo-terminal. The program logs every loss, reopens every time, decodes frames
// again after each return, and keeps no descriptor or memory from earlier cycles.
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "testplatform.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <QtTest>
#include <memory>

#include <unistd.h>

namespace {

constexpr int kCycles = 100;
// Cycles run before the descriptors and the memory are first counted, so that
// caches Qt fills on first use are not taken for growth.
constexpr int kWarmUp = 10;

int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                   .size());
}

qint64 residentBytes()
{
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

// The first line of the log: what the link did last.
QString newest(const QString &log)
{
    return log.left(log.indexOf(QLatin1String("\r\n")));
}

} // namespace

class TestUnplug : public QObject {
    Q_OBJECT
private slots:
    void hundredUnplugsReconnectEveryTimeWithoutLeaks();
};

void TestUnplug::hundredUnplugsReconnectEveryTimeWithoutLeaks()
{
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("ttyGPS"));
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QtSerialPort port;
    PortKeeper keeper(g, port);
    keeper.setRetryInterval(10);

    int losses = 0, reopens = 0, frames = 0, damaged = 0;
    connect(&g, &GPS_Main::errorDisChanged, this, [&](const QString &log) {
        const QString line = newest(log);
        losses += line == QLatin1String("ERR: Lost");
        reopens += line == QLatin1String("ERR: Reopened");
        frames += line.startsWith(QLatin1String("CMD: "));
        damaged += line == QLatin1String("ERR: CkSum");
    });

    auto device = std::make_unique<Pty>();
    QVERIFY(QFile::link(device->slavePath(), link));
    port.setDevice(link);
    port.setSettings(QStringLiteral("115200,e,8,1"));
    QVERIFY(keeper.open());

    // The receiver talks all the time; bytes only go out while the program has
    // the line open, as a pty with nobody reading would fill up and block.
    const QByteArray burst = buildFrameOfType(0xCA) + buildFrameOfType(0xB7);
    QTimer talk;
    talk.setInterval(2);
    connect(&talk, &QTimer::timeout, this, [&] {
        if (device && port.PortOpen())
            device->write(burst);
    });
    talk.start();

    int fdsWarm = 0;
    qint64 rssWarm = 0;
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        const int before = frames;
        QTRY_VERIFY_WITH_TIMEOUT(frames >= before + 4, 5000);

        device.reset(); // pulled out
        QTRY_COMPARE_WITH_TIMEOUT(losses, cycle, 5000);
        QVERIFY(!port.PortOpen());
        QVERIFY(keeper.reopening());

        device = std::make_unique<Pty>(); // back, as another device behind the same name
        QVERIFY(device->ok());
        QFile::remove(link);
        QVERIFY(QFile::link(device->slavePath(), link));
        QTRY_COMPARE_WITH_TIMEOUT(reopens, cycle, 5000);
        QVERIFY(port.PortOpen());

        if (cycle == kWarmUp) {
            fdsWarm = openDescriptors();
            rssWarm = residentBytes();
        }
    }
    const int before = frames;
    QTRY_VERIFY_WITH_TIMEOUT(frames >= before + 4, 5000);
    talk.stop();

    const int fdsEnd = openDescriptors();
    const qint64 rssEnd = residentBytes();
    qInfo("unplug: %d cycles, %d losses logged, %d reopens, %d frames decoded, %d torn by the "
          "unplugging; descriptors %d after warm-up, %d at the end; resident memory %lld KiB "
          "after warm-up, %lld KiB at the end",
          kCycles, losses, reopens, frames, damaged, fdsWarm, fdsEnd, rssWarm / 1024,
          rssEnd / 1024);
    QCOMPARE(losses, kCycles);
    QCOMPARE(reopens, kCycles);
    QCOMPARE(fdsEnd, fdsWarm);
#if !defined(__SANITIZE_ADDRESS__)
    // The address sanitizer holds freed memory back on purpose; there the leak
    // checker at exit does this job.
    QVERIFY2(rssEnd - rssWarm < 1024 * 1024,
             qPrintable(QStringLiteral("grew by %1 KiB").arg((rssEnd - rssWarm) / 1024)));
#endif
    keeper.close();
    QVERIFY(!keeper.reopening());
}

QTEST_GUILESS_MAIN(TestUnplug)
#include "tst_unplug.moc"
