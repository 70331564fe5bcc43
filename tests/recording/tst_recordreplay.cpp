// File, Record... on a real pseudo-terminal, and the recording played back into the
// program through its replay port: the windows must show the same texts in the same
// order. Replay timing comes from the fake clock, so nothing here waits for it.

#include "decoders/framedecode.h"
#include "framebuilder.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "link/portkeeper.h"
#include "mainwindow/datawindows.h"
#include "mainwindow/navigate.h"
#include "platform/qtserialport.h"
#include "platform/selectingserialport.h"
#include "pseudoterminal.h"
#include "quality/fixstatistics.h"
#include "quality/messagelog.h"
#include "quality/qualitywatch.h"
#include "quality/ui/historywindow.h"
#include "recording/export.h"
#include "recording/recorder.h"
#include "recording/replayport.h"
#include "recording/ui/recordreplay.h"
#include "recording/ui/replaywindow.h"
#include "sim/simulatedport.h"
#include "sim/simulator.h"
#include "testplatform.h"
#include "widgets/textline.h"

#include <QFile>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

// A recording one byte past 1 GB; sparse, so it takes no room on the disk.
bool makeHugeRecording(const QString &path)
{
    QFile huge(path);
    if (!huge.open(QIODevice::WriteOnly))
        return false;
    huge.write("KESTREL RECORDING 1\n");
    return huge.resize(1'000'000'001);
}

// One line of the log and what the main window's boxes showed with it.
struct Shown {
    QString log;
    QStringList boxes;
    bool operator==(const Shown &) const = default;
};

const char *const kBoxes[] = {"TimeDate", "CurLat",   "CurLon", "CurHeight",
                              "CurHead",  "CurSpeed", "Sats",   "Vality"};

// A program with its main window on the program's own kind of port, the device
// chosen by the test; every frame's log line is taken down with the boxes' texts.
struct Program {
    TestPlatform tp;
    GPS_Main g{tp.platform};
    QualityWatch quality{g};
    std::unique_ptr<Navigate> nav;
    QList<Shown> shown;

    Program()
    {
        nav = std::make_unique<Navigate>(
            g, quality, std::make_unique<SelectingSerialPort>(std::make_unique<QtSerialPort>()));
        nav->Form_Load();
        QObject::connect(&g, &GPS_Main::errorDisChanged, &g, [this](const QString &text) {
            const QString line = text.section(QStringLiteral("\r\n"), 0, 0);
            // Frames and line events; the replay's own notes are not the receiver's.
            if (!line.startsWith(QStringLiteral("CMD:")) &&
                !line.startsWith(QStringLiteral("ERR:")))
                return;
            Shown s{line, {}};
            for (const char *box : kBoxes)
                s.boxes << nav->control(QString::fromLatin1(box))->property("text").toString();
            shown.append(s);
        });
    }
    RecordReplay &rr() { return nav->recordReplay(); }
    QString status()
    {
        nav->updateLinkStatus();
        return nav->linkStatus()->text();
    }
    // Plays what is open to its end on the fake clock, a tenth of a second a step.
    void playToEnd()
    {
        ReplayPort &port = *rr().replayPort();
        for (int i = 0; i < 100000 && !port.finished(); ++i) {
            tp.clock.time = tp.clock.time.addMSecs(100);
            port.pump();
        }
    }
};

// What the receiver sends: five seconds of the simulated receiver from its start,
// then a damaged frame and its fix. Frames are whole; the test tears them.
QList<QByteArray> receiverFrames()
{
    FakeClock clock;
    Simulator sim(clock);
    QList<QByteArray> frames;
    for (int s = 0; s < 24; ++s) {
        clock.time = clock.time.addSecs(1);
        frames << sim.navigationFrame() << sim.satelliteFrame();
    }
    QByteArray damaged = sim.navigationFrame();
    damaged[damaged.size() - 2] = char(damaged.at(damaged.size() - 2) ^ 0x5A);
    frames << damaged << sim.navigationFrame();
    return frames;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestRecordReplay : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void recordedSessionReplaysToTheSameTexts();
    void recordingCutInALineReplaysUpToIt();
    void damagedLinesAreSkippedAndNamedInOneMessage_data();
    void damagedLinesAreSkippedAndNamedInOneMessage();
    void lineEventsReplayInTheirPlace();
    void replayControlsPaceThePlay_data();
    void replayControlsPaceThePlay();
    void replayTimesAreTheRecordings_data();
    void replayTimesAreTheRecordings();
    void replayedFramesKeepTheirRecordedUtc_data();
    void replayedFramesKeepTheirRecordedUtc();
    void filesThatCannotServeAreRefusedWithAMessage_data();
    void filesThatCannotServeAreRefusedWithAMessage();
    void exportMenuWritesTheChosenFormat();
    void recordingTroubleNeverHoldsTheReceiverBack_data();
    void recordingTroubleNeverHoldsTheReceiverBack();
    void replayCommandLineIsChecked_data();
    void replayCommandLineIsChecked();
    void fifoIsReadOnceInTheBackgroundAndCanBeCancelled();
    void fastReplayLeavesTheEventLoopTurning();
    void sliderSpansTheWholeRecording_data();
    void sliderSpansTheWholeRecording();

private:
    QTemporaryDir m_dir;
    QString m_recording;
    QList<Shown> m_live;
};

void TestRecordReplay::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_recording = m_dir.filePath(QStringLiteral("session.krec"));

    Pty pty;
    QVERIFY(pty.ok());
    Program live;
    SerialPort &port = live.nav->MSComm1().port();
    port.setDevice(pty.slavePath());
    port.setSettings(QStringLiteral("9600,e,8,1"));
    QVERIFY(live.nav->MSComm1().open());
    QVERIFY(live.rr().startRecording(m_recording));
    QVERIFY(live.status().contains(QStringLiteral("Recording session.krec")));

    const QList<QByteArray> frames = receiverFrames();
    for (qsizetype i = 0; i < frames.size(); ++i) {
        // Torn across writes, as a line delivers them.
        const QByteArray &f = frames[i];
        const qsizetype cut = 1 + i % (f.size() - 1);
        QVERIFY(pty.write(f.left(cut)));
        QTest::qWait(5);
        QVERIFY(pty.write(f.mid(cut)));
        if (i == 10)
            QVERIFY(live.g.SendRequest(Msg::Mode));
        QTRY_COMPARE(live.shown.size(), i + 1);
    }
    // Flushed as it goes: everything so far is in the file before the recording stops.
    QTRY_VERIFY(readRecording(readAll(m_recording)).bytes() == frames.join());
    QTRY_VERIFY(live.status().contains(QStringLiteral(" kB")));
    live.rr().stopRecording();
    QVERIFY(!live.status().contains(QStringLiteral("Recording")));
    m_live = live.shown;

    const RecordingContents rec = readRecording(readAll(m_recording));
    QVERIFY(rec.ok());
    QCOMPARE(rec.sent.size(), 1);
    QCOMPARE(quint8(rec.sent.first().bytes.at(0)), quint8(Msg::Mode));
    QCOMPARE(pty.read(4), rec.sent.first().bytes);
    // Older readers see the sent bytes as a comment and nothing else.
    QVERIFY(readAll(m_recording).contains("\n# sent "));
    QVERIFY(!rec.comments.join(QLatin1Char('\n')).contains(QStringLiteral("sent ")));
}

void TestRecordReplay::recordedSessionReplaysToTheSameTexts()
{
    Program replay;
    QVERIFY(replay.rr().openRecording(m_recording));
    QVERIFY(replay.rr().replayWindow() && replay.rr().replayWindow()->isVisible());
    replay.tp.clock.time = replay.tp.clock.time.addMSecs(100);
    replay.rr().replayPort()->pump();
    QVERIFY2(replay.status().contains(QStringLiteral("Replay session.krec 0:00 of 0:")),
             qPrintable(replay.status()));
    // A request during replay reaches no receiver: logged, not answered.
    QVERIFY(replay.g.SendRequest(Msg::Condition));
    QVERIFY(replay.g.ErrorDis().startsWith(QStringLiteral("RPL: C6 C6")));
    replay.playToEnd();
    QCOMPARE(replay.shown.size(), m_live.size());
    for (qsizetype i = 0; i < m_live.size(); ++i) {
        QCOMPARE(replay.shown[i].log, m_live[i].log);
        for (qsizetype b = 0; b < m_live[i].boxes.size(); ++b)
            QCOMPARE(replay.shown[i].boxes[b], m_live[i].boxes[b]);
    }
    QVERIFY(replay.status().contains(QStringLiteral("finished")));
}

void TestRecordReplay::recordingCutInALineReplaysUpToIt()
{
    const QByteArray whole = readAll(m_recording);
    // Cut in the middle of a data line two thirds through.
    qsizetype lineStart = whole.indexOf('\n', whole.size() * 2 / 3) + 1;
    while (whole.at(lineStart) == '#')
        lineStart = whole.indexOf('\n', lineStart) + 1;
    // One hexadecimal digit of the line's first byte made it to the file.
    const qsizetype cutAt = whole.indexOf(' ', lineStart) + 2;
    const QString cut = m_dir.filePath(QStringLiteral("cut.krec"));
    QFile f(cut);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(whole.left(cutAt));
    f.close();

    Program replay;
    QVERIFY(replay.rr().openRecording(cut));
    QVERIFY(replay.g.ErrorDis().contains(QStringLiteral("incomplete line")));
    replay.playToEnd();
    // The frames whose bytes all came before the cut, and not one more.
    const RecordingContents rec = readRecording(whole.left(cutAt));
    QVERIFY(rec.cutShort);
    const qsizetype frames = FrameDecoder(5).feed(rec.bytes()).size();
    QVERIFY(frames > 10 && frames < m_live.size());
    QCOMPARE(replay.shown.size(), frames);
    QCOMPARE(replay.shown, m_live.mid(0, frames));
}

void TestRecordReplay::damagedLinesAreSkippedAndNamedInOneMessage_data()
{
    QTest::addColumn<int>("spoiled");
    QTest::addColumn<QString>("last");
    QTest::newRow("one line in the middle") << 1 << "hexadecimal digits";
    QTest::newRow("twelve lines: ten named, then a count") << 12 << "... and 2 more damaged lines";
}

void TestRecordReplay::damagedLinesAreSkippedAndNamedInOneMessage()
{
    QFETCH(int, spoiled);
    QFETCH(QString, last);
    // Every third data line from a third of the way on gets a stray letter; the replay
    // must show what the same recording without those lines shows.
    const QList<QByteArray> lines = readAll(m_recording).split('\n');
    QList<QByteArray> damaged = lines, without;
    QList<qsizetype> numbers;
    for (qsizetype i = lines.size() / 3; i < lines.size() && numbers.size() < spoiled; i += 3) {
        while (lines[i].startsWith('#'))
            ++i;
        damaged[i] += 'Z';
        numbers << i + 1;
    }
    QCOMPARE(numbers.size(), spoiled);
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!numbers.contains(i + 1))
            without << lines[i];
    const auto write = [&](const QString &name, const QList<QByteArray> &text) {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text.join('\n')) > 0 ? path : QString();
    };
    const QString bad = write(QStringLiteral("spoiled.krec"), damaged);
    const QString good = write(QStringLiteral("without.krec"), without);
    QVERIFY(!bad.isEmpty() && !good.isEmpty());

    Program clean;
    QVERIFY(clean.rr().openRecording(good));
    clean.playToEnd();
    QVERIFY(clean.tp.boxes.shown.isEmpty());
    Program p;
    QVERIFY(p.rr().openRecording(bad));
    // One message however many lines, naming the first of them.
    QCOMPARE(p.tp.boxes.shown.size(), 1);
    const QString told = p.tp.boxes.shown.first().text;
    QVERIFY2(told.contains(QStringLiteral("line %1: the bytes are not pairs").arg(numbers.first())),
             qPrintable(told));
    QVERIFY2(told.trimmed().endsWith(last), qPrintable(told));
    QCOMPARE(told.count(QStringLiteral("\nline ")), qMin(spoiled, 10));
    p.playToEnd();
    QVERIFY(p.shown.size() > m_live.size() / 2);
    QCOMPARE(p.shown, clean.shown);
    QVERIFY(p.status().contains(QStringLiteral("finished")));

    // Its export says the same in its one message.
    QVERIFY(p.rr().exportRecording(bad, ExportFormat::Csv, m_dir.filePath("spoiled.csv")));
    QCOMPARE(p.tp.boxes.shown.size(), 2);
    QVERIFY2(p.tp.boxes.shown.last().text.contains(
                 QStringLiteral("line %1: the bytes are not pairs").arg(numbers.first())),
             qPrintable(p.tp.boxes.shown.last().text));
}

void TestRecordReplay::lineEventsReplayInTheirPlace()
{
    // Line events are comments in a recording; the replay gives them back at their
    // times, between the bytes around them. Other comments are no events.
    const QByteArray nav = navFrame({{3, {0x04}}}).toHex().toUpper();
    const QString path = m_dir.filePath(QStringLiteral("events.krec"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(Recording::kMagic) + "\n# 0 ms: made by hand\n0 " + nav +
            "\n# 500 ms: ERR: Break\n# 600 ms: ERR: Nonsense\n1000 " + nav.left(20) +
            "\n# 1100 ms: ERR: RxParity\n1200 " + nav.mid(20) + "\n");
    f.close();
    Program p;
    QVERIFY(p.rr().openRecording(path));
    p.playToEnd();
    QStringList log;
    for (const Shown &s : std::as_const(p.shown))
        log << s.log;
    QCOMPARE(log, (QStringList{"CMD: CA", "ERR: Break", "ERR: RxParity", "CMD: CA"}));
}

void TestRecordReplay::replayControlsPaceThePlay_data()
{
    // Steps, space-separated: speed=F, pause (or play, or again: the button), seek=MS,
    // wait=MS; then the seconds of the lines played, in order, as ranges, where the
    // play ends and what the button then offers.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("played");
    QTest::addColumn<qint64>("positionMs");
    QTest::addColumn<QString>("button");
    QTest::newRow("real time") << "wait=3000"
                               << "0-3" << qint64(3000) << "Pause";
    QTest::newRow("4x") << "speed=4 wait=2000"
                        << "0-8" << qint64(8000) << "Pause";
    QTest::newRow("quarter speed") << "speed=0.25 wait=4000"
                                   << "0-1" << qint64(1000) << "Pause";
    QTest::newRow("16x to the end") << "speed=16 wait=5000"
                                    << "0-30" << qint64(30000) << "Play again";
    QTest::newRow("paused stands still") << "wait=1000 pause wait=5000"
                                         << "0-1" << qint64(1000) << "Play";
    QTest::newRow("play again") << "pause wait=5000 play wait=2000"
                                << "0-2" << qint64(2000) << "Pause";
    QTest::newRow("seek on") << "seek=10000 wait=1000"
                             << "0-0 10-11" << qint64(11000) << "Pause";
    QTest::newRow("seek back") << "wait=5000 seek=1000 wait=1000"
                               << "0-5 1-2" << qint64(2000) << "Pause";
    QTest::newRow("as fast as possible") << "speed=0 wait=10"
                                         << "0-30" << qint64(30000) << "Play again";
    QTest::newRow("played to the end, then again from the start")
        << "speed=16 wait=5000 again wait=1000"
        << "0-30 0-16" << qint64(16000) << "Pause";
}

void TestRecordReplay::replayControlsPaceThePlay()
{
    QFETCH(QString, steps);
    QFETCH(QString, played);
    QFETCH(qint64, positionMs);
    QFETCH(QString, button);
    // Half a minute, a line a second, each line two bytes of its second.
    const QString paced = m_dir.filePath(QStringLiteral("paced.krec"));
    QFile file(paced);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    RecordingWriter writer(file);
    QVERIFY(writer.writeHeader({}));
    for (int s = 0; s <= 30; ++s)
        QVERIFY(writer.writeChunk(s * 1000, QByteArray(2, char(s))));
    file.close();
    Program p;
    QVERIFY(p.rr().openRecording(paced));
    ReplayPort &port = *p.rr().replayPort();
    QList<int> got;
    connect(&port, &SerialPort::received, this, [&](const QByteArray &b) {
        for (qsizetype i = 0; i + 1 < b.size(); i += 2)
            got << b.at(i);
    });
    port.pump();
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        const QString value = step.section(QLatin1Char('='), 1);
        if (step.startsWith(QStringLiteral("speed=")))
            port.setSpeed(value.toDouble());
        else if (step == QStringLiteral("pause") || step == QStringLiteral("play") ||
                 step == QStringLiteral("again"))
            p.rr().replayWindow()->Pause_Click();
        else if (step.startsWith(QStringLiteral("seek=")))
            port.seek(value.toLongLong());
        else
            for (qint64 t = 0; t < value.toLongLong(); t += 10) {
                p.tp.clock.time = p.tp.clock.time.addMSecs(10);
                port.pump();
            }
    }
    QList<int> expected;
    for (const QString &range : played.split(QLatin1Char(' ')))
        for (int s = range.section(QLatin1Char('-'), 0, 0).toInt();
             s <= range.section(QLatin1Char('-'), 1, 1).toInt(); ++s)
            expected << s;
    QCOMPARE(got, expected);
    QCOMPARE(port.positionMs(), positionMs);
    QCOMPARE(port.finished(), positionMs == 30000);
    QCOMPARE(p.rr().replayWindow()->findChild<QPushButton *>("ReplayPause")->text(), button);
    QVERIFY2(p.status().contains(replayTimeText(positionMs) + QStringLiteral(" of 0:30")),
             qPrintable(p.status()));
}

void TestRecordReplay::replayTimesAreTheRecordings_data()
{
    // Played at a speed, perhaps held for a minute at a time in the recording, perhaps
    // played again from its start: the times shown are the recording's all the same.
    QTest::addColumn<double>("speed");
    QTest::addColumn<qint64>("pauseAtMs");
    QTest::addColumn<bool>("again");
    QTest::newRow("real time") << 1.0 << qint64(-1) << false;
    QTest::newRow("4x") << 4.0 << qint64(-1) << false;
    QTest::newRow("16x") << 16.0 << qint64(-1) << false;
    QTest::newRow("as fast as possible") << ReplayPacer::kAsFastAsPossible << qint64(-1) << false;
    QTest::newRow("paused for a minute before the fix") << 4.0 << qint64(10000) << false;
    QTest::newRow("paused for a minute after it") << 4.0 << qint64(20000) << false;
    QTest::newRow("back to the start and again") << 4.0 << qint64(-1) << true;
}

void TestRecordReplay::replayTimesAreTheRecordings()
{
    QFETCH(double, speed);
    QFETCH(qint64, pauseAtMs);
    QFETCH(bool, again);
    // `kestrelctl stats` of this file: 2D after 15.945 s, 3D after 18.946 s; by hand,
    // its last navigation message came at 22.945 s and its last line at 23.000 s.
    const QString rec = QStringLiteral(QT_TESTCASE_SOURCEDIR "/data/sim-acquisition.krec");
    Program p;
    p.nav->menuItem(QStringLiteral("NavHistory"))->trigger();
    auto *history = static_cast<HistoryWindow *>(p.nav->dataWindows().window(DataWindow::History));
    QVERIFY(history);
    QVERIFY(p.rr().openRecording(rec, speed));
    ReplayPort &port = *p.rr().replayPort();
    if (pauseAtMs >= 0) {
        while (port.positionMs() < pauseAtMs) {
            p.tp.clock.time = p.tp.clock.time.addMSecs(100);
            port.pump();
        }
        p.rr().replayWindow()->Pause_Click();
        const QString held = p.status();
        for (int i = 0; i < 600; ++i) {
            p.tp.clock.time = p.tp.clock.time.addMSecs(100);
            port.pump();
        }
        QCOMPARE(p.status(), held);
        p.rr().replayWindow()->Pause_Click();
    }
    p.playToEnd();
    history->refresh();
    if (again) {
        port.seek(0);
        while (port.positionMs() < 10000) {
            p.tp.clock.time = p.tp.clock.time.addMSecs(100);
            port.pump();
        }
        // The History shows the recording up to here, not what was played before.
        history->refresh();
        QCOMPARE(history->height().size(), qsizetype(10));
        QCOMPARE(history->timeTo(), 10.0);
        p.playToEnd();
        history->refresh();
    }
    const QString status = p.status();
    QVERIFY2(status.contains(QStringLiteral("TTFF 2D 15.9 s, 3D 18.9 s")), qPrintable(status));
    const std::deque<TtffRun> &runs = p.quality.quality().ttff.runs();
    QCOMPARE(runs.size(), std::size_t(1));
    QCOMPARE(*runs.back().to2DMs, qint64(15945));
    QCOMPARE(*runs.back().to3DMs, qint64(18946));
    // The History axis in the recording's seconds, one point a second.
    QCOMPARE(history->timeTo(), 23.0);
    QCOMPARE(history->height().size(), qsizetype(23));
    QCOMPARE(history->height().last().x(), 22.945);
    // The recording's clock stopped at its end: so do the ages.
    p.tp.clock.time = p.tp.clock.time.addSecs(60);
    QCOMPARE(p.status(), status);
    QVERIFY2(status.contains(QStringLiteral("nav 0.1 s ago")), qPrintable(status));
}

void TestRecordReplay::replayedFramesKeepTheirRecordedUtc_data()
{
    // The comments of a recording of two navigation messages naming 12:00:01 and
    // 12:00:02 UTC, recorded at 1000 and 2000 ms; the computer's UTC the console gives
    // them (its «started:» plus their time, or unknown) and the clock offset (none).
    QTest::addColumn<QStringList>("comments");
    QTest::addColumn<QStringList>("arrived");
    QTest::addColumn<std::optional<int>>("offsetMs");
    const QStringList unknown{"unknown", "unknown"};
    QTest::newRow("the recorded arrival times")
        << QStringList{"made by: a test", "started: 2026-12-07T12:00:00.250Z"}
        << QStringList{"2026-12-07T12:00:01.250Z", "2026-12-07T12:00:02.250Z"}
        << std::optional<int>(-250);
    QTest::newRow("the computer 2 s behind when it recorded")
        << QStringList{"started: 2026-12-07T11:59:58.000Z"}
        << QStringList{"2026-12-07T11:59:59.000Z", "2026-12-07T12:00:00.000Z"}
        << std::optional<int>(2000);
    QTest::newRow("started in whole seconds")
        << QStringList{"started: 2026-12-07T12:00:00Z"}
        << QStringList{"2026-12-07T12:00:01.000Z", "2026-12-07T12:00:02.000Z"}
        << std::optional<int>(0);
    QTest::newRow("started in another zone")
        << QStringList{"started: 2026-12-07T13:00:00.250+01:00"}
        << QStringList{"2026-12-07T12:00:01.250Z", "2026-12-07T12:00:02.250Z"}
        << std::optional<int>(-250);
    QTest::newRow("the first started that reads counts")
        << QStringList{"started: soon", "started: 2026-12-07T12:00:00.100Z",
                       "started: 2026-12-07T13:00:00.000Z"}
        << QStringList{"2026-12-07T12:00:01.100Z", "2026-12-07T12:00:02.100Z"}
        << std::optional<int>(-100);
    QTest::newRow("no started: unknown, no offset")
        << QStringList{"made by: a test"} << unknown << std::optional<int>();
    QTest::newRow("a started that does not read")
        << QStringList{"started: yesterday"} << unknown << std::optional<int>();
    QTest::newRow("a started before 1970 is no time a recorder wrote")
        << QStringList{"started: 1969-12-31T23:59:59.000Z"} << unknown << std::optional<int>();
}

void TestRecordReplay::replayedFramesKeepTheirRecordedUtc()
{
    QFETCH(QStringList, comments);
    QFETCH(QStringList, arrived);
    QFETCH(std::optional<int>, offsetMs);
    QByteArray text = QByteArray(Recording::kMagic) + "\n";
    for (const QString &c : comments)
        text += "# " + c.toUtf8() + "\n";
    for (int s = 1; s <= 2; ++s)
        text += QByteArray::number(s * 1000) + ' ' +
                navFrame({{25, {0x26, 0x12, 0x07, 0x12, 0x00, s}}}).toHex().toUpper() + "\n";
    const QString path = m_dir.filePath(QStringLiteral("started.krec"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
    f.close();
    Program p;
    MessageLog log(p.g);
    QVERIFY(p.rr().openRecording(path));
    // Played long after it was recorded: the computer's clock now is no arrival time.
    p.tp.clock.time = p.tp.clock.time.addYears(1);
    p.playToEnd();
    log.flush();
    QStringList got;
    for (int r = 0; r < log.rowCount(); ++r)
        if (log.index(r, MessageLog::Direction).data() == QStringLiteral("in"))
            got << log.index(r, MessageLog::Time).data().toString();
    // The console shows the computer's own zone.
    for (QString &t : arrived)
        if (t != QLatin1String("unknown"))
            t = QDateTime::fromString(t, Qt::ISODateWithMs)
                    .toLocalTime()
                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
    QCOMPARE(got, arrived);
    const OffsetSummary offsets = p.quality.clockOffsets().summary();
    QCOMPARE(offsets.count, qsizetype(offsetMs ? 2 : 0));
    if (offsetMs)
        QCOMPARE(qRound64(offsets.medianS * 1000), qint64(*offsetMs));
}

void TestRecordReplay::filesThatCannotServeAreRefusedWithAMessage_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("message");
    const QString dir = m_dir.path();
    QFile notes(dir + QStringLiteral("/notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("not a recording\n");
    notes.close();
    QFile(dir + QStringLiteral("/empty.krec")).open(QIODevice::WriteOnly);
    QVERIFY(makeHugeRecording(dir + QStringLiteral("/huge.krec")));
    QTest::newRow("record into a missing folder") << "record" << dir + "/missing/x.krec"
                                                  << "Cannot record to";
    QTest::newRow("record onto a folder") << "record" << dir << "is a folder";
    QTest::newRow("open a missing file") << "open" << dir + "/missing.krec"
                                         << "Cannot open";
    QTest::newRow("open a folder") << "open" << dir << "it is a folder";
    QTest::newRow("open a file that is no recording") << "open" << dir + "/notes.txt"
                                                      << "is not a Kestrel recording";
    QTest::newRow("open an empty file") << "open" << dir + "/empty.krec"
                                        << "is not a Kestrel recording that can be played: line 1";
    QTest::newRow("open a recording past 1 GB")
        << "open" << dir + "/huge.krec"
        << "is more than 1000 MB: a replay holds at most 1 GB";
    QTest::newRow("export into a missing folder") << "export" << dir + "/missing/x.gpx"
                                                  << "Export failed: cannot write";
}

void TestRecordReplay::filesThatCannotServeAreRefusedWithAMessage()
{
    QFETCH(QString, action);
    QFETCH(QString, path);
    QFETCH(QString, message);
    Program p;
    bool done = true;
    if (action == QLatin1String("record"))
        done = p.rr().startRecording(path);
    else if (action == QLatin1String("open"))
        done = p.rr().openRecording(path);
    else
        done = p.rr().exportRecording(m_recording, ExportFormat::Gpx, path);
    QVERIFY(!done);
    QCOMPARE(p.tp.boxes.shown.size(), 1);
    QVERIFY2(p.tp.boxes.shown.first().text.contains(message),
             qPrintable(p.tp.boxes.shown.first().text));
    QVERIFY(!p.rr().recorder().recording());
    QVERIFY(!p.status().contains(QStringLiteral("Recording")));
    QVERIFY(!p.status().contains(QStringLiteral("Replay")));
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("missing"))));
}

void TestRecordReplay::exportMenuWritesTheChosenFormat()
{
    Program p;
    const QString out = m_dir.filePath(QStringLiteral("menu.kml"));
    QList<RecordReplay::FileQuestion> asked;
    p.rr().setFileChooser([&](RecordReplay::FileQuestion q, ExportFormat &format) {
        asked << q;
        if (q == RecordReplay::FileQuestion::Export)
            format = ExportFormat::Kml;
        return q == RecordReplay::FileQuestion::OpenRecording ? m_recording : out;
    });
    // Nothing recorded or opened yet: nothing to export, and no question asked.
    p.nav->menuItem(QStringLiteral("mnuExport"))->trigger();
    QCOMPARE(p.tp.boxes.shown.size(), 1);
    QVERIFY(p.tp.boxes.shown.last().text.contains(QStringLiteral("nothing to export")));
    QVERIFY(asked.isEmpty());
    p.nav->menuItem(QStringLiteral("mnuOpenRecording"))->trigger();
    p.nav->menuItem(QStringLiteral("mnuExport"))->trigger();
    QCOMPARE(asked, (QList{RecordReplay::FileQuestion::OpenRecording,
                           RecordReplay::FileQuestion::Export}));
    QCOMPARE(p.tp.boxes.shown.size(), 2);
    QVERIFY2(p.tp.boxes.shown.last().text.contains(QStringLiteral("track points")),
             qPrintable(p.tp.boxes.shown.last().text));
    QVERIFY(readAll(out).contains("<LineString>"));
}

void TestRecordReplay::recordingTroubleNeverHoldsTheReceiverBack_data()
{
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("message");
    QTest::newRow("disk full") << true << "could not be written";
    QTest::newRow("file deleted") << false << "was deleted while it was being recorded";
}

// The recording stops and says so in a box; while the box is open (a modal box runs
// the event loop) the receiver's frames keep reaching the windows.
void TestRecordReplay::recordingTroubleNeverHoldsTheReceiverBack()
{
    QFETCH(bool, diskFull);
    QFETCH(QString, message);
    Pty pty;
    QVERIFY(pty.ok());
    Program live;
    SerialPort &port = live.nav->MSComm1().port();
    port.setDevice(pty.slavePath());
    QVERIFY(live.nav->MSComm1().open());
    const QString path = m_dir.filePath(QStringLiteral("trouble.krec"));
    QVERIFY(live.rr().startRecording(path));

    const QList<QByteArray> frames = receiverFrames();
    qsizetype written = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        if (pty.write(frames[written % (frames.size() - 2)]))
            ++written;
    });
    qsizetype duringBox = -1, writtenDuringBox = 0;
    live.tp.boxes.whileShown = [&] {
        const qsizetype shownBefore = live.shown.size(), writtenBefore = written;
        QEventLoop modal;
        QTimer::singleShot(600, &modal, &QEventLoop::quit);
        modal.exec();
        duringBox = live.shown.size() - shownBefore;
        writtenDuringBox = written - writtenBefore;
    };

    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    if (diskFull) {
        rlimit small = before;
        small.rlim_cur = rlim_t(QFileInfo(path).size() + 2000);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    } else {
        QVERIFY(QFile::remove(path));
    }
    feed.start(20);
    QTRY_COMPARE_WITH_TIMEOUT(live.tp.boxes.shown.size(), 1, 5000);
    feed.stop();
    ::setrlimit(RLIMIT_FSIZE, &before);
    ::signal(SIGXFSZ, oldHandler);

    QVERIFY2(live.tp.boxes.shown.first().text.contains(message),
             qPrintable(live.tp.boxes.shown.first().text));
    QVERIFY(!live.status().contains(QStringLiteral("Recording")));
    QVERIFY(writtenDuringBox >= 10);
    // Frames written in the box's last moments may still be on their way.
    QVERIFY2(duringBox >= writtenDuringBox / 2,
             qPrintable(QStringLiteral("%1 of %2 frames shown while the box was open")
                            .arg(duringBox)
                            .arg(writtenDuringBox)));
}

void TestRecordReplay::replayCommandLineIsChecked_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("message");
    const QString rec = m_recording;
    QTest::newRow("speed above 16") << QStringList{"--replay", rec, "--speed", "20"} << 2
                                    << "--speed wants a factor from 0.25 to 16";
    QTest::newRow("speed not a number")
        << QStringList{"--replay", rec, "--speed", "fast"} << 2 << "--speed wants";
    QTest::newRow("speed without replay")
        << QStringList{"--speed", "4"} << 2 << "--speed goes with --replay";
    QTest::newRow("replay and port") << QStringList{"--replay", rec, "--port", "/dev/null"} << 2
                                     << "leave out --port and --simulate";
    QTest::newRow("simulated receiver standing off the earth")
        << QStringList{"--simulate", "--static", "0,200,0"} << 2
        << "--static: the longitude 200 is outside";
    QTest::newRow("missing recording")
        << QStringList{"--replay", m_dir.filePath("none.krec")} << 1 << "cannot read";
    QTest::newRow("a folder") << QStringList{"--replay", m_dir.path()} << 1 << "it is a folder";
    QTest::newRow("not a recording")
        << QStringList{"--replay", QStringLiteral(KESTREL)} << 1 << "not a Kestrel recording";
    // 20,000 characters that would set the terminal's title and clear it: a message
    // quotes 60 of them at one end, its escapes shown.
    const QString hostile = QStringLiteral("\x1b]0;t\x07") + QString(19'990, QLatin1Char('x')) +
                            QStringLiteral("\x1b[2J");
    const QString head = QStringLiteral("\\x1b]0;t\\x07") + QString(48, QLatin1Char('x')) + "...";
    QTest::newRow("unknown option quoted short")
        << QStringList{"--" + hostile} << 1 << "Unknown option '" + head + "'.\n";
    QTest::newRow("speed quoted short")
        << QStringList{"--replay", rec, "--speed", hostile} << 2 << "not \"" + head + "\"\n";
    QTest::newRow("file name quoted short")
        << QStringList{"--replay", "/nonexistent/" + hostile} << 1
        << "cannot read ..." + QString(53, QLatin1Char('x')) + "\\x1b[2J: ";
    QVERIFY(makeHugeRecording(m_dir.filePath(QStringLiteral("huge.krec"))));
    QTest::newRow("a recording past 1 GB") << QStringList{"--replay", m_dir.filePath("huge.krec")}
                                           << 1 << "a replay holds at most 1 GB";
}

void TestRecordReplay::replayCommandLineIsChecked()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, message);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KESTREL), args);
    QVERIFY(p.waitForFinished(20000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), exit);
    QVERIFY2(err.contains(QStringLiteral("kestrel: ")) && err.contains(message), qPrintable(err));
}

void TestRecordReplay::fifoIsReadOnceInTheBackgroundAndCanBeCancelled()
{
    const QByteArray fifo = QFile::encodeName(m_dir.filePath(QStringLiteral("play.fifo")));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    Program p;
    // The writer comes after the open, as `kestrel --replay <(zcat ...)` has it.
    QVERIFY(p.rr().openRecording(QFile::decodeName(fifo)));
    QVERIFY(p.rr().loading());
    std::thread writer([&] {
        QFile w(QFile::decodeName(fifo));
        if (w.open(QIODevice::WriteOnly))
            w.write("KESTREL RECORDING 1\n0 B7B7920D\n2500 B7B7920D\n");
    });
    QTRY_VERIFY(!p.rr().loading());
    writer.join();
    ReplayPort &port = *p.rr().replayPort();
    QVERIFY(port.PortOpen());
    QCOMPARE(port.durationMs(), qint64(2500));
    QVERIFY(p.tp.boxes.shown.isEmpty());

    // Nobody writes this time: Cancel ends the wait, and the replay before stays.
    QVERIFY(p.rr().openRecording(QFile::decodeName(fifo)));
    auto *progress = p.nav->findChild<QProgressDialog *>(QStringLiteral("RecordingProgress"));
    QVERIFY(progress);
    auto *cancel = progress->findChild<QPushButton *>();
    QVERIFY(cancel);
    cancel->click();
    QTRY_VERIFY(!p.rr().loading());
    QVERIFY(p.tp.boxes.shown.isEmpty());
    QCOMPARE(port.durationMs(), qint64(2500));
}

void TestRecordReplay::fastReplayLeavesTheEventLoopTurning()
{
    const QString path = m_dir.filePath(QStringLiteral("fast.krec"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("KESTREL RECORDING 1\n");
    for (int i = 0; i < 30000; ++i)
        f.write(QByteArray::number(i * 100) + " B7B7920D\n");
    f.close();
    Program p;
    QVERIFY(p.rr().openRecording(path, ReplayPacer::kAsFastAsPossible));
    ReplayPort &port = *p.rr().replayPort();
    int ticks = 0;
    QTimer other;
    QObject::connect(&other, &QTimer::timeout, [&] { ticks += port.finished() ? 0 : 1; });
    other.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(port.finished(), 60000);
    // A replay done in one turn of the loop would let the timer fire never.
    QVERIFY2(ticks >= 3, qPrintable(QString::number(ticks)));
    QVERIFY(port.fastTurns() >= 3);
}

void TestRecordReplay::sliderSpansTheWholeRecording_data()
{
    QTest::addColumn<qint64>("lastMs");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<qint64>("endMs");
    // Tenths of a second while an int holds them.
    QTest::newRow("30 s") << qint64(30000) << 300 << qint64(30000);
    QTest::newRow("6.8 years") << qint64(214748364700) << 2147483647 << qint64(214748364700);
    // 100 years: steps of 3155760000000 / 2147483647 + 1 = 1470 ms.
    QTest::newRow("100 years") << qint64(3155760000000) << 2146775510 << qint64(3155759999700);
}

void TestRecordReplay::sliderSpansTheWholeRecording()
{
    QFETCH(qint64, lastMs);
    QFETCH(int, maximum);
    QFETCH(qint64, endMs);
    const QString path = m_dir.filePath(QStringLiteral("long.krec"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("KESTREL RECORDING 1\n0 B7B7920D\n" + QByteArray::number(lastMs) + " B7B7920D\n");
    f.close();
    Program p;
    QVERIFY(p.rr().openRecording(path));
    ReplayWindow *window = p.rr().replayWindow();
    p.rr().replayPort()->setPaused(true);
    window->refresh();
    auto *slider = window->findChild<QSlider *>();
    QVERIFY(slider);
    QCOMPARE(slider->maximum(), maximum);
    slider->setValue(slider->maximum());
    window->Position_Change();
    QCOMPARE(p.rr().replayPort()->positionMs(), endMs);
}

QTEST_MAIN(TestRecordReplay)
#include "tst_recordreplay.moc"
