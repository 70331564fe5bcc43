// The receiver's clock against the computer's: each navigation message's UTC minus the
// computer's UTC when its first byte arrived, taken on a fake clock with crafted times;
// and the median and spread of many.
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "quality/clockoffset.h"
#include "quality/qualitywatch.h"
#include "testplatform.h"

#include <QtTest>
#include <cmath>

namespace {

QDateTime utc(const QString &iso)
{
    return QDateTime::fromString(iso, Qt::ISODateWithMs).toUTC();
}

// A navigation message naming this time, BCD year (two digits) to second.
QByteArray navAt(std::initializer_list<int> bcd)
{
    QByteArray payload(40, '\0');
    int position = 25;
    for (int b : bcd)
        place(payload, position++, {b});
    return buildFrame(0xCA, payload);
}

} // namespace

class TestClockOffset : public QObject {
    Q_OBJECT
private slots:
    void offsetAtTheFirstByte_data();
    void offsetAtTheFirstByte();
    void medianAndSpread_data();
    void medianAndSpread();
};

void TestClockOffset::offsetAtTheFirstByte_data()
{
    // The message's time, the computer's UTC at the read with its first byte and at
    // the read with the rest (the frame torn after `split` bytes), the offset in ms
    // (none: nothing counted).
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("firstByteAt");
    QTest::addColumn<QString>("restAt");
    QTest::addColumn<int>("split");
    QTest::addColumn<std::optional<int>>("offsetMs");
    const QByteArray noon = navAt({0x26, 0x12, 0x07, 0x12, 0x00, 0x00});
    QTest::newRow("in step, the first byte 52 ms after the second")
        << noon << "2026-12-07T12:00:00.052Z"
        << "" << 0 << std::optional<int>(-52);
    QTest::newRow("the computer 1.5 s behind") << noon << "2026-12-07T11:59:58.552Z"
                                               << "" << 0 << std::optional<int>(1448);
    QTest::newRow("torn frame: the first byte's read counts, not the last")
        << noon << "2026-12-07T12:00:00.052Z"
        << "2026-12-07T12:00:00.300Z" << 10 << std::optional<int>(-52);
    QTest::newRow("torn after the first byte alone")
        << noon << "2026-12-07T12:00:00.010Z"
        << "2026-12-07T12:00:00.090Z" << 1 << std::optional<int>(-10);
    QTest::newRow("across the new year")
        << navAt({0x27, 0x01, 0x01, 0x00, 0x00, 0x00}) << "2026-12-31T23:59:59.950Z"
        << "" << 0 << std::optional<int>(50);
    QTest::newRow("year 99 is 1999")
        << navAt({0x99, 0x12, 0x31, 0x23, 0x59, 0x59}) << "2000-01-01T00:00:00.000Z"
        << "" << 0 << std::optional<int>(-1000);
    QTest::newRow("year 98 is 1998")
        << navAt({0x98, 0x01, 0x01, 0x00, 0x00, 0x00}) << "1998-01-01T00:00:00.020Z"
        << "" << 0 << std::optional<int>(-20);
    QTest::newRow("year 97 is 2097")
        << navAt({0x97, 0x01, 0x01, 0x00, 0x00, 0x00}) << "2097-01-01T00:00:00.020Z"
        << "" << 0 << std::optional<int>(-20);
    QTest::newRow("month 13 is no date")
        << navAt({0x26, 0x13, 0x07, 0x12, 0x00, 0x00}) << "2026-12-07T12:00:00.000Z"
        << "" << 0 << std::optional<int>();
    QTest::newRow("30 February is no date")
        << navAt({0x26, 0x02, 0x30, 0x12, 0x00, 0x00}) << "2026-12-07T12:00:00.000Z"
        << "" << 0 << std::optional<int>();
    QTest::newRow("a nibble that is no digit")
        << navAt({0x26, 0x12, 0x07, 0x12, 0x00, 0x5A}) << "2026-12-07T12:00:00.000Z"
        << "" << 0 << std::optional<int>();
    QTest::newRow("the computer's time unknown gives none") << noon << ""
                                                            << "" << 0 << std::optional<int>();
    QByteArray damaged = noon;
    damaged[10] = char(damaged[10] ^ 1);
    QTest::newRow("a damaged frame gives none") << damaged << "2026-12-07T12:00:00.052Z"
                                                << "" << 0 << std::optional<int>();
}

void TestClockOffset::offsetAtTheFirstByte()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, firstByteAt);
    QFETCH(QString, restAt);
    QFETCH(int, split);
    QFETCH(std::optional<int>, offsetMs);
    TestPlatform tp;
    // No time: the computer's UTC is not known (a replay of a recording that does not
    // say when it was made).
    struct UnknownUtcClock : FakeClock {
        qint64 utcMs() const override { return -1; }
    } unknownUtc;
    if (firstByteAt.isEmpty())
        tp.platform.clock = &unknownUtc;
    GPS_Main g(tp.platform);
    QualityWatch watch(g);
    // Garbage before the frame, in the same read as its first byte.
    if (!firstByteAt.isEmpty())
        tp.clock.time = utc(firstByteAt);
    g.receive(bytes({0x00, 0x55}) + (split > 0 ? frame.left(split) : frame));
    if (split > 0) {
        tp.clock.time = utc(restAt);
        g.receive(frame.mid(split));
    }
    const std::deque<OffsetSample> &samples = watch.clockOffsets().samples();
    QCOMPARE(samples.size(), std::size_t(offsetMs ? 1 : 0));
    if (offsetMs)
        QCOMPARE(qRound64(samples.front().offsetS * 1000), qint64(*offsetMs));
}

void TestClockOffset::medianAndSpread_data()
{
    // Offsets (s) one a second, or at the given ms; the median and the spread (95th
    // minus 5th percentile, linear between ranks), worked by hand.
    QTest::addColumn<QList<double>>("offsets");
    QTest::addColumn<QList<qint64>>("timesMs");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("spread");
    QTest::newRow("one") << QList<double>{-0.05} << QList<qint64>{} << 1 << -0.05 << 0.0;
    // h = 4 x 0.95 = 3.8: 0.4 + 0.8 x 0.1; h = 0.2: 0.1 + 0.2 x 0.1.
    QTest::newRow("five evenly") << QList<double>{0.3, 0.1, 0.5, 0.2, 0.4} << QList<qint64>{} << 5
                                 << 0.3 << 0.48 - 0.12;
    QList<double> held(20, 0.0);
    held << 10.0;
    QTest::newRow("one frame held in a buffer is left out")
        << held << QList<qint64>{} << 21 << 0.0 << 0.0;
    QTest::newRow("ten minutes old is kept")
        << QList<double>{5.0, 1.0} << QList<qint64>{0, 600'000} << 2 << 3.0 << 0.9 * 4.0;
    QTest::newRow("older than ten minutes goes")
        << QList<double>{5.0, 1.0, 2.0} << QList<qint64>{0, 600'000, 600'001} << 2 << 1.5
        << 0.95 * 1.0 - 0.05 * 1.0;
    QTest::newRow("time going back takes back what came after")
        << QList<double>{5.0, 6.0, 1.0} << QList<qint64>{1000, 2000, 1500} << 2 << 3.0 << 0.9 * 4.0;
}

void TestClockOffset::medianAndSpread()
{
    QFETCH(QList<double>, offsets);
    QFETCH(QList<qint64>, timesMs);
    QFETCH(int, count);
    QFETCH(double, median);
    QFETCH(double, spread);
    ClockOffsets c;
    for (qsizetype i = 0; i < offsets.size(); ++i)
        c.add(OffsetSample{timesMs.isEmpty() ? i * 1000 : timesMs[i], offsets[i]});
    const OffsetSummary s = c.summary();
    QCOMPARE(s.count, qsizetype(count));
    QCOMPARE(s.lastS, offsets.back());
    QVERIFY2(std::fabs(s.medianS - median) < 1e-12, qPrintable(QString::number(s.medianS)));
    QVERIFY2(std::fabs(s.spreadS - spread) < 1e-12, qPrintable(QString::number(s.spreadS)));
}

QTEST_GUILESS_MAIN(TestClockOffset)
#include "tst_clockoffset.moc"
