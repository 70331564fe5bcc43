// The message console's rows: what the receiver sends through a real pseudo-terminal,
// what the program sends, damaged frames and the link's events; the filter and the
// search; the bound on the rows kept.
#include "framebuilder.h"
#include "link/commands.h"
#include "link/gpsmain.h"
#include "link/portkeeper.h"
#include "platform/qtserialport.h"
#include "pseudoterminal.h"
#include "quality/messagelog.h"
#include "testplatform.h"

#include <QBuffer>
#include <QtTest>

namespace {

// The computer's UTC not known, as in the replay of a recording that does not say
// when it was made.
class UnknownUtcClock : public FakeClock {
public:
    qint64 utcMs() const override { return -1; }
};

Platform withClock(TestPlatform &tp, Clock *clock)
{
    if (clock)
        tp.platform.clock = clock;
    return tp.platform;
}

struct Link {
    explicit Link(bool utcKnown = true) : g(withClock(tp, utcKnown ? nullptr : &unknownUtc)) {}

    TestPlatform tp;
    UnknownUtcClock unknownUtc;
    GPS_Main g;
    QtSerialPort port;
    PortKeeper keeper{g, port};

    bool open(const QString &device)
    {
        port.setDevice(device);
        port.setSettings(QStringLiteral("9600,e,8,1"));
        return keeper.open();
    }
};

// A row as «dir|type|name|length|checksum|bytes».
QString rowText(const MessageLog &log, int row)
{
    QStringList cells;
    for (int c = MessageLog::Direction; c < MessageLog::kColumns; ++c)
        cells << log.index(row, c).data().toString();
    return cells.join(QLatin1Char('|'));
}

QStringList rowTexts(const MessageLog &log)
{
    QStringList rows;
    for (int r = 0; r < log.rowCount(); ++r)
        rows << rowText(log, r);
    return rows;
}

} // namespace

class TestMessageLog : public QObject {
    Q_OBJECT
private slots:
    void rowsFollowTheLine_data();
    void rowsFollowTheLine();
    void filterAndSearch_data();
    void filterAndSearch();
    void boundDropsTheOldest_data();
    void boundDropsTheOldest();
    void firehoseKeepsTheLastFrames_data();
    void firehoseKeepsTheLastFrames();
    void copyAndCsvHoldTheView();
    void batchesOnceASecondWhileRowsKeepComing_data();
    void batchesOnceASecondWhileRowsKeepComing();
};

void TestMessageLog::rowsFollowTheLine_data()
{
    // What the program sends (requests by type, or a Set Height), then what the
    // receiver writes, then whether the device is pulled out; the rows expected.
    QTest::addColumn<QList<int>>("requests");
    QTest::addColumn<bool>("setHeight");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("unplug");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("time");
    const QString fakeNow = QStringLiteral("2026-12-07 12:34:56.000");
    QTest::newRow("a good frame in")
        << QList<int>{} << false << bytes({0xB7, 0xB7, 0x92, 0x0D}) << false
        << QStringList{"in|B7|B7|4|ok|B7 B7 92 0D"} << fakeNow;
    QTest::newRow("a damaged frame in, garbage before it no row")
        << QList<int>{} << false << bytes({0x01, 0xFF, 0xB7, 0xB7, 0x93, 0x0D}) << false
        << QStringList{"in|B7|B7|4|bad|B7 B7 93 0D"} << fakeNow;
    QTest::newRow("a request out and its answer in")
        << QList<int>{0xC4} << false << buildFrameOfType(0xC4, bytes({1, 2, 3})) << false
        << QStringList{"out|C4|diagnosis|4|ok|C4 C4 78 0D",
                       "in|C4|diagnosis|11|ok|C4 C4 01 02 03 00 00 00 00 72 0D"}
        << fakeNow;
    QTest::newRow("Set Height out behind its prepare frame, acknowledged")
        << QList<int>{} << true << bytes({0xB1, 0xB1, 0x9E, 0x0D}) << false
        << QStringList{"out|B8|B8|4|ok|B8 B8 90 0D",
                       "out|B1|set-height|8|ok|B1 B1 01 A4 00 05 F4 0D",
                       "in|B1|set-height|4|ok|B1 B1 9E 0D"}
        << fakeNow;
    QTest::newRow("the port lost is an event row") << QList<int>{} << false << QByteArray() << true
                                                   << QStringList{"event||ERR: Lost|||"} << fakeNow;
    // The computer's clock not known (a replay of a recording that does not say when it
    // was made): the rows say so rather than show a wrong time.
    QTest::newRow("the computer's time unknown")
        << QList<int>{0xC4} << false << buildFrameOfType(0xC4, bytes({1, 2, 3})) << false
        << QStringList{"out|C4|diagnosis|4|ok|C4 C4 78 0D",
                       "in|C4|diagnosis|11|ok|C4 C4 01 02 03 00 00 00 00 72 0D"}
        << "unknown";
}

void TestMessageLog::rowsFollowTheLine()
{
    QFETCH(QList<int>, requests);
    QFETCH(bool, setHeight);
    QFETCH(QByteArray, received);
    QFETCH(bool, unplug);
    QFETCH(QStringList, rows);
    QFETCH(QString, time);
    Pty pty;
    QVERIFY(pty.ok());
    Link l(time != QLatin1String("unknown"));
    QVERIFY(l.open(pty.slavePath()));
    MessageLog log(l.g);
    for (int type : requests)
        QVERIFY(l.g.SendRequest(type));
    if (setHeight)
        QVERIFY(sendSetHeight(l.g, bytes({0x01, 0xA4, 0x00, 0x05})));
    if (!received.isEmpty())
        QVERIFY(pty.write(received));
    if (unplug)
        pty.closeMaster();
    QTRY_COMPARE(rowTexts(log), rows);
    // Each row timed by the computer's clock (the test's, fixed) at its arrival.
    for (int r = 0; r < log.rowCount(); ++r)
        QCOMPARE(log.index(r, MessageLog::Time).data().toString(), time);
}

void TestMessageLog::filterAndSearch_data()
{
    QTest::addColumn<int>("show");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QStringList>("names");
    const auto all = int(MessageLog::Show::All);
    QTest::newRow("everything") << all << -1 << ""
                                << QStringList{"navigation", "B7", "diagnosis", "set-height",
                                               "ERR: Lost"};
    QTest::newRow("in") << int(MessageLog::Show::In) << -1 << "" << QStringList{"navigation", "B7"};
    QTest::newRow("out") << int(MessageLog::Show::Out) << -1 << ""
                         << QStringList{"diagnosis", "set-height"};
    QTest::newRow("events") << int(MessageLog::Show::Events) << -1 << ""
                            << QStringList{"ERR: Lost"};
    QTest::newRow("one type; events have none") << all << 0xB7 << "" << QStringList{"B7"};
    QTest::newRow("a type and a direction that never met")
        << int(MessageLog::Show::Out) << 0xCA << "" << QStringList{};
    QTest::newRow("a name, any case") << all << -1 << "DIAG" << QStringList{"diagnosis"};
    QTest::newRow("an event's text") << all << -1 << "lost" << QStringList{"ERR: Lost"};
    QTest::newRow("hex bytes apart") << all << -1 << "b7 b7 93" << QStringList{"B7"};
    QTest::newRow("hex bytes together") << all << -1 << "B7B793" << QStringList{"B7"};
    QTest::newRow("hex together matches whole bytes only") << all << -1 << "7B79" << QStringList{};
    QTest::newRow("a terminator ends every frame, no event")
        << all << -1 << "0D" << QStringList{"navigation", "B7", "diagnosis", "set-height"};
    QTest::newRow("search within a type") << all << 0xC4 << "0d" << QStringList{"diagnosis"};
}

void TestMessageLog::filterAndSearch()
{
    QFETCH(int, show);
    QFETCH(int, type);
    QFETCH(QString, search);
    QFETCH(QStringList, names);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    MessageLog log(g);
    g.receive(navFrame({{3, {4}}}));
    g.receive(bytes({0xB7, 0xB7, 0x93, 0x0D}));
    log.addSent(bytes({0xC4, 0xC4, 0x78, 0x0D}), 0);
    log.addSent(bytes({0xB1, 0xB1, 0x01, 0xA4, 0x00, 0x05, 0xF4, 0x0D}), 0);
    g.prependLog(QStringLiteral("ERR: Lost"));
    log.flush();
    log.setFilter(MessageLog::Show(show), type, search);
    QStringList got;
    for (int r = 0; r < log.rowCount(); ++r)
        got << log.index(r, MessageLog::Name).data().toString();
    QCOMPARE(got, names);
    // Rows that come later are judged by the same filter.
    g.receive(bytes({0xB7, 0xB7, 0x93, 0x0D}));
    log.flush();
    QCOMPARE(log.rowCount(), got.size() + int(names.contains(QStringLiteral("B7"))));
}

void TestMessageLog::boundDropsTheOldest_data()
{
    // Batches of rows (each flushed), with Pause between the first and the rest when
    // `paused`; the rows shown, the first shown (its payload byte) and those dropped.
    QTest::addColumn<int>("bound");
    QTest::addColumn<QList<int>>("batches");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("dropped");
    // Shown through a filter that lets every row pass (the view then lists its rows).
    QTest::addColumn<bool>("filtered");
    QTest::newRow("under the bound") << 3 << QList<int>{2} << false << 2 << 0 << 0 << false;
    QTest::newRow("at the bound") << 3 << QList<int>{3} << false << 3 << 0 << 0 << false;
    QTest::newRow("one over") << 3 << QList<int>{4} << false << 3 << 1 << 1 << false;
    QTest::newRow("over in later batches")
        << 3 << QList<int>{2, 2, 2} << false << 3 << 3 << 3 << false;
    QTest::newRow("paused: nothing new shows, the oldest still go")
        << 3 << QList<int>{2, 2} << true << 1 << 1 << 1 << false;
    QTest::newRow("paused past the bound: the view empties")
        << 3 << QList<int>{2, 5} << true << 0 << -1 << 4 << false;
    QTest::newRow("filtered, over in later batches")
        << 3 << QList<int>{2, 2, 2} << false << 3 << 3 << 3 << true;
    QTest::newRow("filtered, paused: the oldest still go")
        << 3 << QList<int>{2, 2} << true << 1 << 1 << 1 << true;
    QTest::newRow("filtered, paused past the bound: the view empties")
        << 3 << QList<int>{2, 5} << true << 0 << -1 << 4 << true;
}

void TestMessageLog::boundDropsTheOldest()
{
    QFETCH(int, bound);
    QFETCH(QList<int>, batches);
    QFETCH(bool, paused);
    QFETCH(int, shown);
    QFETCH(int, first);
    QFETCH(int, dropped);
    QFETCH(bool, filtered);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    MessageLog log(g, bound);
    if (filtered)
        log.setFilter(MessageLog::Show::Out, 0xB2, QStringLiteral("b2 b2"));
    QSignalSpy told(&log, &MessageLog::droppedChanged);
    int n = 0;
    for (qsizetype b = 0; b < batches.size(); ++b) {
        if (b == 1 && paused)
            log.setPaused(true);
        for (int i = 0; i < batches[b]; ++i, ++n)
            log.addSent(buildFrame(0xB2, bytes({n})), 0);
        log.flush();
    }
    QCOMPARE(log.rowCount(), shown);
    QCOMPARE(log.kept(), qsizetype(std::min(n, bound)));
    QCOMPARE(log.dropped(), qsizetype(dropped));
    if (first >= 0)
        QCOMPARE(log.index(0, MessageLog::Bytes).data().toString().mid(6, 2),
                 QStringLiteral("%1").arg(first, 2, 16, QLatin1Char('0')).toUpper());
    QCOMPARE(told.isEmpty(), dropped == 0);
    if (paused) {
        log.setPaused(false);
        QCOMPARE(log.rowCount(), std::min(n, bound));
    }
    log.clear();
    QCOMPARE(log.rowCount(), 0);
    QCOMPARE(log.dropped(), qsizetype(0));
}

void TestMessageLog::firehoseKeepsTheLastFrames_data()
{
    // Navigation frames numbered in their first three payload bytes, through the
    // receive path in reads of 25 and handed to the view every 250 (a 921,600 Bd line
    // and its batches); the rows then, those dropped and the number of the first kept.
    QTest::addColumn<int>("frames");
    QTest::addColumn<int>("shown");
    QTest::addColumn<int>("dropped");
    QTest::addColumn<int>("first");
    QTest::newRow("50,000 frames, all kept") << 50000 << 50000 << 0 << 0;
    QTest::newRow("at the bound of 100,000") << 100000 << 100000 << 0 << 0;
    QTest::newRow("one past it") << 100001 << 100000 << 1 << 1;
    QTest::newRow("150,000: the last 100,000 kept") << 150000 << 100000 << 50000 << 50000;
}

void TestMessageLog::firehoseKeepsTheLastFrames()
{
    QFETCH(int, frames);
    QFETCH(int, shown);
    QFETCH(int, dropped);
    QFETCH(int, first);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    MessageLog log(g);
    const auto frame = [](int n) {
        return buildFrameOfType(0xCA, bytes({n >> 16, (n >> 8) & 0xFF, n & 0xFF}));
    };
    QByteArray read;
    for (int n = 0; n < frames; ++n) {
        read += frame(n);
        if (n % 25 == 24 || n == frames - 1) {
            g.receive(read);
            read.clear();
        }
        if (n % 250 == 249)
            log.flush();
    }
    log.flush();
    QCOMPARE(log.rowCount(), shown);
    QCOMPARE(log.kept(), qsizetype(shown));
    QCOMPARE(log.dropped(), qsizetype(dropped));
    QCOMPARE(log.index(0, MessageLog::Bytes).data().toString(),
             QString::fromLatin1(frame(first).toHex(' ').toUpper()));
    QCOMPARE(log.index(shown - 1, MessageLog::Bytes).data().toString(),
             QString::fromLatin1(frame(frames - 1).toHex(' ').toUpper()));
    QCOMPARE(log.index(shown - 1, MessageLog::Name).data().toString(),
             QStringLiteral("navigation"));
}

void TestMessageLog::copyAndCsvHoldTheView()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    MessageLog log(g);
    g.receive(bytes({0xB7, 0xB7, 0x92, 0x0D}));
    g.prependLog(QStringLiteral("NMEA client dropped: slow, then gone"));
    log.flush();
    QCOMPARE(
        log.rowsText({1, 0}, QLatin1Char('\t')),
        QStringLiteral("2026-12-07 12:34:56.000\tevent\t\tNMEA client dropped: slow, then "
                       "gone\t\t\t\n2026-12-07 12:34:56.000\tin\tB7\tB7\t4\tok\tB7 B7 92 0D\n"));
    QBuffer csv;
    QVERIFY(csv.open(QIODevice::WriteOnly));
    QVERIFY(log.writeCsv(csv));
    QCOMPARE(csv.data(), QByteArray("Time,Dir,Type,Name,Length,Checksum,Bytes\n"
                                    "2026-12-07 12:34:56.000,in,B7,B7,4,ok,B7 B7 92 0D\n"
                                    "2026-12-07 12:34:56.000,event,,\"NMEA client dropped: "
                                    "slow, then gone\",,,\n"));
}

QTEST_GUILESS_MAIN(TestMessageLog)
#include "tst_messagelog.moc"

void TestMessageLog::batchesOnceASecondWhileRowsKeepComing_data()
{
    // The milliseconds since the view took its last batch (-1: none yet) when a row
    // comes, and how long that row then waits for the view.
    QTest::addColumn<int>("sinceBatchMs");
    QTest::addColumn<int>("waitMs");
    QTest::newRow("the first row") << -1 << MessageLog::kBatchMs;
    QTest::newRow("right after a batch: a second after it") << 0 << MessageLog::kSteadyMs;
    QTest::newRow("mid-second: the rest of it") << 400 << MessageLog::kSteadyMs - 400;
    QTest::newRow("after a quiet spell") << 60000 << MessageLog::kBatchMs;
}

void TestMessageLog::batchesOnceASecondWhileRowsKeepComing()
{
    QFETCH(int, sinceBatchMs);
    QFETCH(int, waitMs);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    MessageLog log(g);
    QCOMPARE(log.nextBatchInMs(), -1);
    if (sinceBatchMs >= 0) {
        log.flush();
        tp.clock.time = tp.clock.time.addMSecs(sinceBatchMs);
    }
    g.receive(bytes({0xB7, 0xB7, 0x92, 0x0D}));
    // The timer runs on the real clock, coarsely: allow for that and this test's time.
    QVERIFY2(std::abs(log.nextBatchInMs() - waitMs) < 100,
             qPrintable(QString::number(log.nextBatchInMs())));
    // Rows that come while it waits go with it.
    g.receive(bytes({0xB7, 0xB7, 0x92, 0x0D}));
    QVERIFY(log.nextBatchInMs() < waitMs + 100);
    QCOMPARE(log.rowCount(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(log.rowCount(), 2, waitMs + 1000);
}
