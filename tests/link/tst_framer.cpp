#include "framebuilder.h"
#include "link/framer.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "platform/serialport.h"
#include "testplatform.h"

#include <QtTest>

namespace {

// Records which decoders the dispatcher called, in order: the main window's always,
// the data windows' when they are open (subscribed).
class RecordingSink {
public:
    RecordingSink(GPS_Main &g, bool windowsOpen)
    {
        on(g, 0xCA, "NavStatus");
        if (!windowsOpen)
            return;
        on(g, 0xCA, "Position");
        on(g, 0xC6, "Condition");
        on(g, 0xC4, "Diagnosis");
        on(g, 0xC3, "Mode");
        on(g, 0xC5, "TimeStamp");
        on(g, 0xCB, "RecSat");
    }
    QStringList calls;

private:
    void on(GPS_Main &g, quint8 type, const char *name)
    {
        m_subscriptions.push_back(g.frames().subscribe(
            type, [this, name](const Frame &) { calls << QString::fromLatin1(name); }));
    }
    std::vector<FrameDispatcher::Subscription> m_subscriptions;
};

QStringList logLines(const GPS_Main &g)
{
    QStringList lines = g.ErrorDis().split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

class TestFramer : public QObject {
    Q_OBJECT
private slots:
    void logLinesForStreams_data();
    void logLinesForStreams();
    void dispatchFollowsWindowFlags_data();
    void dispatchFollowsWindowFlags();
    void twelveFramesLeaveExactlyHundredCharacters();
    void lineEventsLogTheirNames_data();
    void lineEventsLogTheirNames();
    void overflowAbandonsPartialFrame();
    void lineEventsDoNotDisturbFrameInProgress();
    void halfFrameStaysInBodyUntilLengthReached();
    void msgTableHoldsReceivedTypes();
    void messageTableAndFramerAgree();
};

void TestFramer::logLinesForStreams_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("expected"); // newest first

    QTest::newRow("ack B7") << bytes({0xB7, 0xB7, 0x92, 0x0D}) << QStringList{"CMD: B7"};
    QTest::newRow("bad checksum") << bytes({0xB7, 0xB7, 0x93, 0x0D}) << QStringList{"ERR: CkSum"};
    QTest::newRow("missing terminator")
        << bytes({0xB7, 0xB7, 0x92, 0x0A}) << QStringList{"ERR: CkSum"};
    QTest::newRow("leading garbage")
        << (bytes({0x00, 0x11, 0x42, 0x0D, 0xFF}) + buildFrameOfType(0xB8))
        << QStringList{"CMD: B8"};
    QTest::newRow("stray zero bytes are noise")
        << (bytes({0x00, 0x00, 0x0D, 0x00, 0x00, 0x05}) + buildFrameOfType(0xB0))
        << QStringList{"CMD: B0"};
    QTest::newRow("back to back") << (buildFrameOfType(0xB0) + buildFrameOfType(0xCA) +
                                      buildFrameOfType(0xB1))
                                  << QStringList{"CMD: B1", "CMD: CA", "CMD: B0"};
    // C3 opens a frame, the first C4 does not match and is dropped, the second C4
    // opens a frame of its own and the third is its second header byte.
    QTest::newRow("mismatching second header")
        << (bytes({0xC3}) + buildFrameOfType(0xC4).mid(0, 1) + buildFrameOfType(0xC4))
        << QStringList{"CMD: C4"};
    QTest::newRow("every received type")
        << (buildFrameOfType(0xC3) + buildFrameOfType(0xC4) + buildFrameOfType(0xC5) +
            buildFrameOfType(0xC6) + buildFrameOfType(0xCA) + buildFrameOfType(0xCB))
        << QStringList{"CMD: CB", "CMD: CA", "CMD: C6", "CMD: C5", "CMD: C4", "CMD: C3"};
    QByteArray corrupt = buildFrameOfType(0xCA);
    corrupt[20] = char(corrupt[20] ^ 0x01);
    QTest::newRow("corrupted navigation then good ack")
        << (corrupt + buildFrameOfType(0xB9)) << QStringList{"CMD: B9", "ERR: CkSum"};
    QTest::newRow("unknown type between frames")
        << (buildFrameOfType(0xB6) + bytes({0xA5, 0xA5, 0x0D}) + buildFrameOfType(0xB7))
        << QStringList{"CMD: B7", "CMD: B6"};
}

void TestFramer::logLinesForStreams()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, expected);
    for (int split : {0, 1, 2, 3, 7}) {
        TestPlatform tp;
        GPS_Main g(tp.platform);
        // The same stream whole, and torn into reads of `split` bytes.
        if (split == 0) {
            g.OnReceive(stream);
        } else {
            for (int i = 0; i < stream.size(); i += split)
                g.OnReceive(stream.mid(i, split));
        }
        QCOMPARE(logLines(g), expected);
        QVERIFY(g.framer().huntingHeader());
        QVERIFY(!g.framer().inBody());
    }
}

void TestFramer::dispatchFollowsWindowFlags_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("open");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("nav, position closed") << 0xCA << false << QStringList{"NavStatus"};
    QTest::newRow("nav, position open") << 0xCA << true << QStringList{"NavStatus", "Position"};
    QTest::newRow("condition closed") << 0xC6 << false << QStringList{};
    QTest::newRow("condition open") << 0xC6 << true << QStringList{"Condition"};
    QTest::newRow("diagnosis open") << 0xC4 << true << QStringList{"Diagnosis"};
    QTest::newRow("mode open") << 0xC3 << true << QStringList{"Mode"};
    QTest::newRow("mode closed") << 0xC3 << false << QStringList{};
    QTest::newRow("time stamp open") << 0xC5 << true << QStringList{"TimeStamp"};
    QTest::newRow("satellites closed") << 0xCB << false << QStringList{};
    QTest::newRow("satellites open") << 0xCB << true << QStringList{"RecSat"};
    QTest::newRow("ack, all open") << 0xB7 << true << QStringList{};
}

void TestFramer::dispatchFollowsWindowFlags()
{
    QFETCH(int, type);
    QFETCH(bool, open);
    QFETCH(QStringList, calls);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    RecordingSink sink(g, open);
    g.OnReceive(buildFrameOfType(quint8(type)));
    QCOMPARE(sink.calls, calls);
    QCOMPARE(logLines(g).value(0), QStringLiteral("CMD: ") + QString::number(type, 16).toUpper());
}

void TestFramer::twelveFramesLeaveExactlyHundredCharacters()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QString expected;
    for (int i = 0; i < 12; ++i) {
        g.OnReceive(buildFrameOfType(i % 2 ? 0xB0 : 0xB1));
        expected = QString(i % 2 ? "CMD: B0" : "CMD: B1") + "\r\n" + expected;
    }
    QCOMPARE(g.ErrorDis().size(), 100);
    QCOMPARE(g.ErrorDis(), expected.left(100));
    QVERIFY(g.ErrorDis().startsWith("CMD: B0\r\nCMD: B1\r\n"));
}

void TestFramer::lineEventsLogTheirNames_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("line");
    QTest::newRow("break") << 1001 << "ERR: Break";
    QTest::newRow("frame") << 1004 << "ERR: Frame";
    QTest::newRow("overrun") << 1006 << "ERR: OverRun";
    QTest::newRow("rx overflow") << 1008 << "ERR: RxOver";
    QTest::newRow("parity") << 1009 << "ERR: RxParity";
    QTest::newRow("tx full") << 1010 << "ERR: TxFull";
    QTest::newRow("dcb") << 1011 << "ERR: DCB";
    QTest::newRow("cd") << 5 << "ERR: CD";
    QTest::newRow("cts") << 3 << "ERR: CTS";
    QTest::newRow("dsr") << 4 << "ERR: DSR";
    QTest::newRow("ring") << 6 << "ERR: Ring";
    QTest::newRow("send") << 1 << "ERR: Send";
    QTest::newRow("eof") << 7 << "ERR: EOF";
    QTest::newRow("unknown") << 1234 << "ERR: Unknown";
}

void TestFramer::lineEventsLogTheirNames()
{
    QFETCH(int, code);
    QFETCH(QString, line);
    TestPlatform tp;
    GPS_Main g(tp.platform);
    g.OnCommEvent(code);
    QCOMPARE(g.ErrorDis(), line + "\r\n");
}

void TestFramer::overflowAbandonsPartialFrame()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    const QByteArray nav = buildFrameOfType(0xCA);
    g.OnReceive(nav.left(10));
    QVERIFY(g.framer().inBody());
    g.OnCommEvent(CommEvent::RxOver);
    QVERIFY(g.framer().huntingHeader());
    QVERIFY(!g.framer().inBody());
    g.OnReceive(buildFrameOfType(0xB7));
    QCOMPARE(logLines(g), (QStringList{"CMD: B7", "ERR: RxOver"}));
}

void TestFramer::lineEventsDoNotDisturbFrameInProgress()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    const QByteArray nav = buildFrameOfType(0xCA);
    g.OnReceive(nav.left(20));
    for (int code : {1001, 1004, 1006, 1009, 3, 4, 5, 6})
        g.OnCommEvent(code);
    g.OnReceive(nav.mid(20));
    QCOMPARE(logLines(g).value(0), QStringLiteral("CMD: CA"));
}

void TestFramer::halfFrameStaysInBodyUntilLengthReached()
{
    // A frame that stops arriving halfway swallows the following bytes until its
    // length is reached; they then fail the checksum.
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QByteArray stream = buildFrameOfType(0xC3).left(5);
    // Six bytes complete the frame; the last two of the second ack are then noise.
    stream += buildFrameOfType(0xB7) + buildFrameOfType(0xB7);
    g.OnReceive(stream);
    QCOMPARE(logLines(g).value(0), QStringLiteral("ERR: CkSum"));
    g.OnReceive(buildFrameOfType(0xB7));
    QCOMPARE(logLines(g).value(0), QStringLiteral("CMD: B7"));
}

void TestFramer::msgTableHoldsReceivedTypes()
{
    TestPlatform tp;
    GPS_Main g(tp.platform);
    QCOMPARE(int(g.MsgTable[1][1]), 0xC3);
    QCOMPARE(int(g.MsgTable[6][1]), 0xCB);
    QCOMPARE(int(g.MsgTable[6][2]), 50);
    QCOMPARE(int(g.MsgTable[11][1]), 0xB2);
    QCOMPARE(int(g.MsgTable[14][1]), 0xB8);
    QCOMPARE(int(g.MsgTable[15][1]), 0);
    QCOMPARE(int(g.MsgTable[15][2]), 0);
}

void TestFramer::messageTableAndFramerAgree()
{
    // Every byte is tried as a frame start: a type of the table must complete exactly
    // at its length and no sooner, and any other byte, however often repeated, must
    // leave the framer hunting.
    for (int b = 0; b < 256; ++b) {
        TestPlatform tp;
        GPS_Main g(tp.platform);
        Framer framer(g.MsgTable);
        const MessageType *m = findMessageType(quint8(b));
        const QByteArray stream =
            m ? buildFrame(quint8(b), QByteArray(m->length - 4, '\0')) : QByteArray(60, char(b));
        const QString where = QStringLiteral("type %1").arg(b, 2, 16, QLatin1Char('0'));
        for (int i = 0; i < stream.size(); ++i) {
            const bool last = m && i == stream.size() - 1;
            QVERIFY2(framer.step(quint8(stream[i])) ==
                         (last ? FrameStep::FrameGood : FrameStep::NeedMore),
                     qPrintable(where));
            QVERIFY2(m || framer.huntingHeader(), qPrintable(where));
        }
    }
}

QTEST_GUILESS_MAIN(TestFramer)
#include "tst_framer.moc"
