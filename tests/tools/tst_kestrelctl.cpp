#include "framebuilder.h"
#include "pseudoterminal.h"
#include "recording/recording.h"
#include "share/nmea.h"
#include "simprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// The figures of kestrelctl stats worked out here by hand, from the recording's bytes,
// with the textbook WGS84 formulas instead of GeographicLib.
struct HandFigures {
    int navigation = 0, none = 0, twoD = 0, threeD = 0, invalid = 0;
    qint64 ttff2D = -1, ttff3D = -1;
    double lat = 0, lon = 0, heightMean = 0, heightStd = 0, cep50 = 0, drms2 = 0, r95 = 0;
};

double handPercentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const double h = (sorted.size() - 1) * p;
    const auto k = std::size_t(h);
    return k + 1 < sorted.size() ? sorted[k] + (h - k) * (sorted[k + 1] - sorted[k]) : sorted[k];
}

HandFigures handFigures(const RecordingContents &rec)
{
    constexpr double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
    constexpr double rad = 3.14159265358979323846 / 180;
    QByteArray all;
    QList<qint64> timeOf;
    for (const RecordedChunk &c : rec.chunks) {
        all += c.bytes;
        for (int i = 0; i < c.bytes.size(); ++i)
            timeOf << c.timeMs;
    }
    HandFigures h;
    std::vector<std::array<double, 3>> ecef;
    std::vector<double> heights;
    const auto u = [&](int i) { return quint8(all[i]); };
    for (int i = 0; i + 44 <= all.size(); ++i) {
        if (u(i) != 0xCA || u(i + 1) != 0xCA || u(i + 43) != 13)
            continue;
        quint8 sum = 0;
        for (int k = 0; k < 43; ++k)
            sum += u(i + k);
        if (sum != 0)
            continue;
        const int fix = u(i + 2) & 15;
        const qint64 t = timeOf[i + 43] - rec.chunks.first().timeMs;
        ++h.navigation;
        (fix <= 2 ? h.none : fix == 3 ? h.twoD : fix == 4 ? h.threeD : h.invalid)++;
        if (fix >= 3 && fix <= 4 && h.ttff2D < 0)
            h.ttff2D = t;
        if (fix == 4 && h.ttff3D < 0)
            h.ttff3D = t;
        if (fix != 4)
            continue;
        const auto int32 = [&](int at) {
            return qint32(quint32(u(at)) << 24 | quint32(u(at + 1)) << 16 |
                          quint32(u(at + 2)) << 8 | u(at + 3));
        };
        const auto degrees = [](double scaled) {
            const double m = std::fabs(scaled), d = std::floor(m / 100);
            return (scaled < 0 ? -1 : 1) * (d + (m - 100 * d) / 60);
        };
        const double lat = degrees(int32(i + 3) / 9216.0) * rad;
        const double lon = degrees(int32(i + 7) / 9216.0) * rad;
        const double height = qint16(quint16(u(i + 11) << 8 | u(i + 12))) / 2.0;
        const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        ecef.push_back({(n + height) * std::cos(lat) * std::cos(lon),
                        (n + height) * std::cos(lat) * std::sin(lon),
                        (n * (1 - e2) + height) * std::sin(lat)});
        heights.push_back(height);
    }
    if (ecef.empty())
        return h;
    double mx = 0, my = 0, mz = 0;
    for (const auto &p : ecef) {
        mx += p[0] / ecef.size();
        my += p[1] / ecef.size();
        mz += p[2] / ecef.size();
    }
    // Latitude of the mean vector by fixed-point iteration.
    const double lon = std::atan2(my, mx), r = std::hypot(mx, my);
    double lat = std::atan2(mz, r * (1 - e2));
    for (int k = 0; k < 10; ++k) {
        const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        const double hh = r / std::cos(lat) - n;
        lat = std::atan2(mz, r * (1 - e2 * n / (n + hh)));
    }
    h.lat = lat / rad;
    h.lon = lon / rad;
    std::vector<double> d;
    double squares = 0;
    for (const auto &p : ecef) {
        const double dx = p[0] - mx, dy = p[1] - my, dz = p[2] - mz;
        const double east = -std::sin(lon) * dx + std::cos(lon) * dy;
        const double north = -std::sin(lat) * std::cos(lon) * dx -
                             std::sin(lat) * std::sin(lon) * dy + std::cos(lat) * dz;
        d.push_back(std::hypot(east, north));
        squares += east * east + north * north;
    }
    h.cep50 = handPercentile(d, 0.5);
    h.r95 = handPercentile(d, 0.95);
    h.drms2 = 2 * std::sqrt(squares / d.size());
    for (double x : heights)
        h.heightMean += x / heights.size();
    for (double x : heights)
        h.heightStd += (x - h.heightMean) * (x - h.heightMean) / heights.size();
    h.heightStd = std::sqrt(h.heightStd);
    return h;
}

struct Run {
    int exit = -1;
    QByteArray out;
    QString err;
};

// Texts in the C locale and no saved settings of the user's: the output is the
// same on every machine.
QProcessEnvironment toolEnvironment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home);
    // Progress at once, were it shown: standard error here is a pipe, never a terminal.
    env.insert(QStringLiteral("KESTRELCTL_PROGRESS_AFTER_MS"), QStringLiteral("0"));
    return env;
}

QString dataFile(const QString &name)
{
    return QStringLiteral(KESTREL_TEST_DATA "/") + name;
}

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

bool startSim(QProcess &sim, const QStringList &args, QString &path)
{
    return startSimProcess(sim, QStringLiteral(KESTREL_SIM), args, path);
}

void stop(QProcess &p)
{
    if (p.state() == QProcess::NotRunning)
        return;
    ::kill(pid_t(p.processId()), SIGTERM);
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished(1000);
    }
}

// Waits, with the event loop running, until the process's standard error holds `text`.
bool waitForError(QProcess &p, QByteArray &seen, const QByteArray &text, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (!seen.contains(text) && t.elapsed() < timeoutMs) {
        p.waitForReadyRead(50);
        seen += p.readAllStandardError();
    }
    return seen.contains(text);
}

// gpsd, unprivileged and in the foreground, reading `device` and reporting on a free
// loopback port (without -G it listens on loopback only); the port, or 0 if it did not start.
quint16 startGpsd(QProcess &daemon, const QString &gpsd, const QTemporaryDir &dir,
                  const QString &device)
{
    quint16 port = 0;
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0))
            return 0;
        port = probe.serverPort();
    }
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    daemon.start(gpsd, {"-N", "-n", "-S", QString::number(port), "-F",
                        dir.filePath(QStringLiteral("gpsd.sock")), device});
    return daemon.waitForStarted(5000) ? port : 0;
}

} // namespace

class TestKestrelCtl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everySubcommandHasHelpWithExitStatus();
    void wrongCommandLinesAreRefused_data();
    void wrongCommandLinesAreRefused();
    void decodeOfRecordingsMatchesExpectedOutput_data();
    void decodeOfRecordingsMatchesExpectedOutput();
    void decodeJsonHasOneObjectPerFrame();
    void decodeHexShowsTheWindowsTexts_data();
    void unitsAndZoneAsGivenOrSaved_data();
    void unitsAndZoneAsGivenOrSaved();
    void decodeHexShowsTheWindowsTexts();
    void decodeReadsRawCaptures();
    void badInputIsRefused_data();
    void badInputIsRefused();
    void damagedLinesAreSkippedNamedAndEndWithStatus3_data();
    void damagedLinesAreSkippedNamedAndEndWithStatus3();
    void sendWritesTheWindowsBytesAndPrintsTheAnswer_data();
    void sendWritesTheWindowsBytesAndPrintsTheAnswer();
    void sendWithoutAnswerEndsWithItsStatus_data();
    void sendWithoutAnswerEndsWithItsStatus();
    void sendRefusesWhatTheWindowsRefuse_data();
    void sendRefusesWhatTheWindowsRefuse();
    void everyCommandIsAcknowledgedBySimulator();
    void monitorDecodesLive();
    void monitorTellsSilenceAndItsEnd();
    void recordingReplaysByteIdentical();
    void replayRefusesBadFilesAndSpeeds_data();
    void replayRefusesBadFilesAndSpeeds();
    void killedRecordingReadsUpToItsLastLine();
    void bridgeServesLoopbackTcpClients();
    void bridgeFeedsGpsd();
    void statsMatchHandComputation();
    void statsTellColdStartRunsAndRefuseNonRecordings();
    void everyReaderTellsWhatIsNotARecording_data();
    void everyReaderTellsWhatIsNotARecording();
    void statsTellAFixAtStart_data();
    void statsTellAFixAtStart();
    void monitorGivesNumbersAndFixLines();
    void statsTellTheClockOffset_data();
    void statsTellTheClockOffset();
    void bridgeTerminalTakesModeAndGroup();
    void bridgeOutlivesTheReceiverUnderGpsd();
    void recordTroubleEndsWithStatus1_data();
    void unwritableOutputEndsWithStatus1_data();
    void unwritableOutputEndsWithStatus1();
    void recordTroubleEndsWithStatus1();
    void hostileArgumentsAreQuotedShortAndEscaped_data();
    void hostileArgumentsAreQuotedShortAndEscaped();
    void hostileFilesUnderAMemoryLimit_data();
    void hostileFilesUnderAMemoryLimit();

private:
    Run run(const QStringList &args, const QByteArray &input = {});
    QTemporaryDir m_home;
};

void TestKestrelCtl::initTestCase()
{
    QVERIFY(m_home.isValid());
}

Run TestKestrelCtl::run(const QStringList &args, const QByteArray &input)
{
    QProcess p;
    p.setProcessEnvironment(toolEnvironment(m_home.path()));
    p.start(QStringLiteral(KESTRELCTL), args);
    Run r;
    if (!p.waitForStarted(5000))
        return r;
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(15000)) {
        p.kill();
        p.waitForFinished(1000);
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

void TestKestrelCtl::everySubcommandHasHelpWithExitStatus()
{
    const Run top = run({QStringLiteral("--help")});
    QCOMPARE(top.exit, 0);
    for (const char *sub : {"decode", "monitor", "send", "record", "nmea", "stats"}) {
        QVERIFY2(top.out.contains(sub), sub);
        const Run r = run({QString::fromLatin1(sub), QStringLiteral("--help")});
        QCOMPARE(r.exit, 0);
        QVERIFY2(r.out.startsWith("Usage: kestrelctl " + QByteArray(sub)), r.out.constData());
        QVERIFY2(r.out.contains("Exit status:") && r.out.contains("64"), sub);
    }
    QVERIFY(run({QStringLiteral("nmea"), QStringLiteral("--help")}).out.contains("knots"));
}

void TestKestrelCtl::wrongCommandLinesAreRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    QTest::newRow("no subcommand") << QStringList{} << 64 << "which subcommand";
    QTest::newRow("unknown subcommand") << QStringList{"frobnicate"} << 64 << "unknown subcommand";
    QTest::newRow("unknown option") << QStringList{"decode", "--bogus"} << 64 << "--help";
    QTest::newRow("two inputs") << QStringList{"decode", "a", "b"} << 64 << "one input";
    QTest::newRow("time zone out of range")
        << QStringList{"decode", "--time-zone", "25", "-"} << 64 << "0 to 24";
    QTest::newRow("unknown unit") << QStringList{"decode", "--units", "dms,feet", "-"} << 64
                                  << "dm, deg, dms, m, ft";
    QTest::newRow("send without port") << QStringList{"send", "reset"} << 64 << "--port";
    QTest::newRow("send bad settings")
        << QStringList{"send", "--port", "/dev/null", "--settings", "fast", "reset"} << 64
        << "9600,e,8,1";
    QTest::newRow("send no command")
        << QStringList{"send", "--port", "/dev/null"} << 64 << "which command";
    QTest::newRow("send unknown command")
        << QStringList{"send", "--port", "/dev/null", "launch"} << 64 << "unknown command";
    QTest::newRow("send unknown request")
        << QStringList{"send", "--port", "/dev/null", "request", "C7"} << 64 << "navigation (CA)";
    QTest::newRow("set-time with five fields")
        << QStringList{"send", "--port", "/dev/null", "set-time", "1", "2", "3", "4", "5"} << 64
        << "six fields";
    QTest::newRow("send to a missing device")
        << QStringList{"send", "--port", "/nonexistent/tty", "reset"} << 1 << "cannot open";
    QTest::newRow("stats without recording") << QStringList{"stats"} << 64 << "one recording";
    QTest::newRow("stats about a reference out of range")
        << QStringList{"stats", "--reference", "91,8", "x.krec"} << 64 << "--reference";
    QTest::newRow("stats about a reference without longitude")
        << QStringList{"stats", "--reference", "47.37", "x.krec"} << 64 << "LAT,LON";
    QTest::newRow("stats of a missing file")
        << QStringList{"stats", "/nonexistent/x.krec"} << 1 << "cannot read";
    QTest::newRow("record without file")
        << QStringList{"record", "--port", "/dev/null"} << 64 << "--out";
    QTest::newRow("monitor zero duration")
        << QStringList{"monitor", "--port", "/dev/null", "--duration", "0"} << 64 << "--duration";
    QTest::newRow("bridge with two outputs")
        << QStringList{"nmea", "--port", "/dev/null", "--link", "x", "--tcp", "127.0.0.1:0"} << 64
        << "one of";
    QTest::newRow("bridge on all addresses")
        << QStringList{"nmea", "--port", "/dev/null", "--tcp", "0.0.0.0:10110"} << 64 << "loopback";
    QTest::newRow("bridge on another host")
        << QStringList{"nmea", "--port", "/dev/null", "--tcp", "192.168.1.20:10110"} << 64
        << "loopback";
    QTest::newRow("bridge port not a number")
        << QStringList{"nmea", "--port", "/dev/null", "--tcp", "127.0.0.1:gps"} << 64
        << "127.0.0.1:PORT";
    QTest::newRow("bridge mode not octal")
        << QStringList{"nmea", "--port", "/dev/null", "--link", "x", "--mode", "rw-rw----"} << 64
        << "octal";
    QTest::newRow("bridge mode with 8")
        << QStringList{"nmea", "--port", "/dev/null", "--link", "x", "--mode", "680"} << 64
        << "octal";
    QTest::newRow("bridge mode with set-user-id")
        << QStringList{"nmea", "--port", "/dev/null", "--link", "x", "--mode", "4660"} << 64
        << "octal";
    QTest::newRow("bridge unknown group")
        << QStringList{"nmea", "--port", "/dev/null", "--link", "x", "--group", "no-such-grp"} << 64
        << "no group";
    QTest::newRow("bridge mode without terminal")
        << QStringList{"nmea", "--port", "/dev/null", "--tcp", "127.0.0.1:0", "--mode", "660"} << 64
        << "--link";
    QTest::newRow("monitor json and fix")
        << QStringList{"monitor", "--port", "/dev/null", "--json", "--fix"} << 64 << "not both";
}

void TestKestrelCtl::wrongCommandLinesAreRefused()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, says);
    const Run r = run(args);
    QCOMPARE(r.exit, exit);
    QVERIFY(r.out.isEmpty());
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
}

void TestKestrelCtl::decodeOfRecordingsMatchesExpectedOutput_data()
{
    QTest::addColumn<QString>("recording");
    const QStringList files =
        QDir(QStringLiteral(KESTREL_TEST_DATA)).entryList({QStringLiteral("*.krec")});
    QVERIFY(files.size() >= 3);
    for (const QString &f : files)
        QTest::newRow(qPrintable(f)) << dataFile(f);
}

void TestKestrelCtl::decodeOfRecordingsMatchesExpectedOutput()
{
    QFETCH(QString, recording);
    QFile expected(recording.chopped(5) + QStringLiteral(".decode"));
    QVERIFY2(expected.open(QIODevice::ReadOnly), qPrintable(expected.fileName()));
    const Run r = run(
        {QStringLiteral("decode"), QStringLiteral("--time-zone"), QStringLiteral("12"), recording});
    QCOMPARE(r.exit, 0);
    const QList<QByteArray> got = r.out.split('\n');
    const QList<QByteArray> want = expected.readAll().split('\n');
    // Line by line, so that a difference names its line (scripts/make-test-data.sh
    // regenerates the expected output after an intended change).
    for (qsizetype i = 0; i < std::min(got.size(), want.size()); ++i)
        QVERIFY2(got[i] == want[i],
                 qPrintable(QStringLiteral("line %1: «%2», expected «%3»")
                                .arg(i + 1)
                                .arg(QString::fromUtf8(got[i]), QString::fromUtf8(want[i]))));
    QCOMPARE(got.size(), want.size());
}

void TestKestrelCtl::decodeJsonHasOneObjectPerFrame()
{
    const QString rec = dataFile(QStringLiteral("sim-requests.krec"));
    const Run text =
        run({QStringLiteral("decode"), QStringLiteral("--time-zone"), QStringLiteral("12"), rec});
    const Run json = run({QStringLiteral("decode"), QStringLiteral("--json"),
                          QStringLiteral("--time-zone"), QStringLiteral("12"), rec});
    QCOMPARE(json.exit, 0);
    QStringList logLines;
    for (const QByteArray &line : text.out.split('\n'))
        if (line.startsWith("CMD: ") || line.startsWith("ERR: "))
            logLines << QString::fromUtf8(line);
    const QList<QByteArray> objects = json.out.trimmed().split('\n');
    QCOMPARE(objects.size(), logLines.size());
    QSet<QString> windows;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        const QJsonObject o = QJsonDocument::fromJson(objects[i]).object();
        QCOMPARE(o.value("log").toString(), logLines[i]);
        QVERIFY(o.value("time_ms").toInteger(-1) >= 0);
        for (const QString &w : o.value("windows").toObject().keys())
            windows << w;
    }
    // The recording holds an answer for every window.
    QCOMPARE(windows, (QSet<QString>{"Navigate", "Position", "Condition", "Mode", "Diagnosis",
                                     "TimeStamp", "RecSat"}));
}

void TestKestrelCtl::decodeHexShowsTheWindowsTexts_data()
{
    QTest::addColumn<QByteArray>("frames");
    QTest::addColumn<QStringList>("lines");
    const auto nav = [](int position, std::initializer_list<int> values) {
        QByteArray p;
        place(p, position, values);
        return buildFrameOfType(0xCA, p);
    };
    const auto sat = [](int position, std::initializer_list<int> values) {
        QByteArray p;
        place(p, position, values);
        return buildFrameOfType(0xCB, p);
    };
    QTest::newRow("acknowledgement") << bytes({0xB7, 0xB7, 0x92, 0x0D}) << QStringList{"CMD: B7"};
    QTest::newRow("bad checksum") << bytes({0xB7, 0xB7, 0x93, 0x0D}) << QStringList{"ERR: CkSum"};
    QTest::newRow("high bits of the fix state ignored")
        << nav(3, {0x13})
        << QStringList{"CMD: CA", "Navigate.Vality: 2D Fix", "Position.Validity: 13"};
    QTest::newRow("invalid fix state")
        << nav(3, {0x0F}) << QStringList{"Navigate.Vality: InValid 15"};
    QTest::newRow("latitude north")
        << nav(4, {0x00, 0xA0, 0x00, 0x00})
        << QStringList{"Navigate.CurLat:  11°37.7777", "Position.HexLat: 00A00000",
                       "Position.CurLat:  11°37.7777"};
    QTest::newRow("latitude south")
        << nav(4, {0xFF, 0x60, 0x00, 0x00}) << QStringList{"Navigate.CurLat: -11°37.7777"};
    QTest::newRow("position within a degree of zero")
        << nav(4, {0x00, 0x03, 0x2A, 0x00, 0xFF, 0xFE, 0xF3, 0x17})
        << QStringList{"Navigate.CurLat:  0°22.5", "Navigate.CurLon: -0°07.4697",
                       "Position.CurLat:  0°22.5", "Position.CurLon: -0°07.4697"};
    QTest::newRow("position all zero")
        << nav(3, {0}) << QStringList{"Navigate.CurLat:  0°00", "Navigate.CurHeight: 0"};
    QTest::newRow("height -0.5") << nav(12, {0xFF, 0xFF})
                                 << QStringList{"Navigate.CurHeight: -0.5",
                                                "Position.HexHeight: FFFF"};
    QTest::newRow("speed BCD") << nav(19, {0x01, 0x23})
                               << QStringList{"Navigate.CurSpeed: 30.75",
                                              "Position.CurSpeed: 30.75"};
    QTest::newRow("heading and its error")
        << nav(16, {0x03, 0xFF, 0x40})
        << QStringList{"Navigate.CurHead: 359.6484375", "Position.CurHeadErr: 22.5"};
    QTest::newRow("satellite state, levels and angles")
        << sat(4, {7, 0x1F, 255, 255, 255})
        << QStringList{"CMD: CB",
                       "RecSat.ID(1): 7",
                       "RecSat.Condition(1): Fix",
                       "RecSat.SVACC(1): 1",
                       "RecSat.Level(1): 51",
                       "RecSat.Azimuth(1): 358.59375",
                       "RecSat.Elevation(1): 179.296875",
                       "RecSat.ID(2): N/R"};
    QTest::newRow("almanac health")
        << sat(45, {0x01, 0, 0, 0x80})
        << QStringList{"RecSat.Health(1): H", "RecSat.Health(2): U", "RecSat.Health(32): H"};
    QTest::newRow("frames back to back")
        << bytes({0xB7, 0xB7, 0x92, 0x0D}) + nav(3, {4}) + bytes({0xB9, 0xB9, 0x8E, 0x0D})
        << QStringList{"CMD: B7", "Navigate.Vality: 3D Fix", "CMD: B9"};
}

void TestKestrelCtl::decodeHexShowsTheWindowsTexts()
{
    QFETCH(QByteArray, frames);
    QFETCH(QStringList, lines);
    const Run r = run({QStringLiteral("decode"), QStringLiteral("--hex"),
                       QStringLiteral("--time-zone"), QStringLiteral("12")},
                      hexText(frames).toLatin1());
    QCOMPARE(r.exit, 0);
    const QStringList out = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    qsizetype from = 0;
    for (const QString &line : lines) {
        const qsizetype at = out.indexOf(line, from);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("no line «%1» in order in:\n%2")
                                         .arg(line, QString::fromUtf8(r.out))));
        from = at + 1;
    }
}

void TestKestrelCtl::unitsAndZoneAsGivenOrSaved_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("saved"); // the program's settings file
    QTest::addColumn<QStringList>("lines");
    // 11°37.7777 N (11°37′46.67″), 200 m, 30.75 km/h at 1999-12-31 23:59:59 UTC.
    QTest::newRow("given: seconds, feet, knots")
        << QStringList{"--units", "dms,ft,kn", "--time-zone", "12"} << QByteArray()
        << QStringList{"Navigate.CurLat: 11°37′46.67″ N", "Navigate.CurHeight: 656.2 ft",
                       "Navigate.CurSpeed: 16.6 kn",      "Navigate.TimeDate: 31 Dec 1999 23:59:59",
                       "Position.CurLat:  11°37.7777",    "Position.CurSpeed: 30.75"};
    QTest::newRow("saved: mph and the computer's zone, Kolkata")
        << QStringList{} << QByteArray("[Units]\nSpeed=mph\n[Time%20Zone]\nZone=3\nComputer=True\n")
        << QStringList{"Navigate.CurLat:  11°37.7777", "Navigate.CurSpeed: 19.1 mph",
                       "Navigate.TimeDate: 1 Jan 2000 05:29:59"};
    QTest::newRow("given over saved")
        << QStringList{"--units", "kmh", "--time-zone", "5"}
        << QByteArray("[Units]\nSpeed=mph\n[Time%20Zone]\nComputer=True\n")
        << QStringList{"Navigate.CurSpeed: 30.75", "Navigate.TimeDate: 31 Dec 1999 16:59:59"};
    QTest::newRow("computer's zone given") << QStringList{"--time-zone", "computer"} << QByteArray()
                                           << QStringList{"Navigate.TimeDate: 1 Jan 2000 05:29:59"};
}

void TestKestrelCtl::unitsAndZoneAsGivenOrSaved()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, saved);
    QFETCH(QStringList, lines);
    QFile settings(m_home.filePath(QStringLiteral("Kestrel/Kestrel.conf")));
    QDir().mkpath(m_home.filePath(QStringLiteral("Kestrel")));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write(saved);
    settings.close();
    QByteArray p;
    place(p, 4, {0x00, 0xA0, 0x00, 0x00});
    place(p, 12, {0x01, 0x90});
    place(p, 19, {0x01, 0x23});
    place(p, 25, {0x99, 0x12, 0x31, 0x23, 0x59, 0x59});
    const QByteArray frame = buildFrameOfType(0xCA, p);
    qputenv("TZ", "Asia/Kolkata");
    const Run r = run(QStringList{"decode", "--hex"} + args, hexText(frame).toLatin1());
    const Run json =
        run(QStringList{"decode", "--hex", "--json"} + args, hexText(frame).toLatin1());
    qunsetenv("TZ");
    settings.remove();
    QCOMPARE(r.exit, 0);
    const QStringList out = QString::fromUtf8(r.out).split(QLatin1Char('\n'));
    for (const QString &line : lines)
        QVERIFY2(
            out.contains(line),
            qPrintable(QStringLiteral("no line «%1» in:\n%2").arg(line, QString::fromUtf8(r.out))));
    // Values for other programs keep their documented units and UTC.
    QVERIFY2(json.out.contains("\"speed_kmh\":30.75") && json.out.contains("\"alt_m\":200"),
             json.out.constData());
}

void TestKestrelCtl::decodeReadsRawCaptures()
{
    QTemporaryDir dir;
    QFile raw(dir.filePath(QStringLiteral("capture.bin")));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write(bytes({0x00, 0x55, 0xB7, 0xB7, 0x92, 0x0D, 0xC3}));
    raw.close();
    const Run r = run({QStringLiteral("decode"), raw.fileName()});
    QCOMPARE(r.exit, 0);
    QCOMPARE(r.out, QByteArray("CMD: B7\n"));
    // The capture stops inside a frame: said, not hidden.
    QVERIFY2(r.err.contains(QStringLiteral("inside a frame")), qPrintable(r.err));
}

void TestKestrelCtl::badInputIsRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    QTest::addColumn<QByteArray>("out");
    QTest::newRow("odd hex digits") << QStringList{"--hex"} << QByteArray("B7 B7 9 0D") << 3
                                    << "line 1, column 7" << QByteArray();
    QTest::newRow("not hex at all") << QStringList{"--hex"} << QByteArray("B7\nhello") << 3
                                    << "line 2, column 1" << QByteArray();
    // The line whose time goes back is skipped; the good line before it is decoded.
    QTest::newRow("damaged recording")
        << QStringList{} << QByteArray("KESTREL RECORDING 1\n5 B7B7920D\n3 B7B7920D\n") << 3
        << "line 3" << QByteArray("CMD: B7\n");
    QTest::newRow("missing file") << QStringList{"/nonexistent/capture.krec"} << QByteArray() << 1
                                  << "cannot read" << QByteArray();
    QTest::newRow("a directory") << QStringList{QDir::tempPath()} << QByteArray() << 1
                                 << "cannot read" << QByteArray();
}

void TestKestrelCtl::badInputIsRefused()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QFETCH(QByteArray, out);
    const Run r = run(QStringList{QStringLiteral("decode")} + args, input);
    QCOMPARE(r.exit, exit);
    QCOMPARE(r.out, out);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
}

void TestKestrelCtl::damagedLinesAreSkippedNamedAndEndWithStatus3_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("spoiled");
    const QStringList decode{"decode", "--time-zone", "12"};
    QTest::newRow("decode, one line in the middle") << decode << 1;
    QTest::newRow("decode --json, one line") << decode + QStringList{"--json"} << 1;
    QTest::newRow("stats, one line") << QStringList{"stats", "--json"} << 1;
    QTest::newRow("export, one line") << QStringList{"export", "--format", "csv"} << 1;
    QTest::newRow("decode, ten lines all named") << decode << 10;
    QTest::newRow("decode, twelve lines: ten named") << decode << 12;
    QTest::newRow("export, twelve lines") << QStringList{"export", "--format", "nmea"} << 12;
}

void TestKestrelCtl::damagedLinesAreSkippedNamedAndEndWithStatus3()
{
    QFETCH(QStringList, command);
    QFETCH(int, spoiled);
    QFile f(dataFile(QStringLiteral("sim-acquisition.krec")));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    // Every seventh data line from the middle on gets a stray letter; the same
    // recording without those lines is what the output must match.
    QList<QByteArray> damaged = lines, without;
    QList<int> numbers;
    for (qsizetype i = lines.size() / 2; i < lines.size() && numbers.size() < spoiled; i += 7) {
        while (lines[i].startsWith('#'))
            ++i;
        damaged[i] += 'Z';
        numbers << int(i + 1);
    }
    QCOMPARE(numbers.size(), spoiled);
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (!numbers.contains(int(i + 1)))
            without << lines[i];
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("good")));
    const QString bad = dir.filePath(QStringLiteral("trip.krec"));
    const QString good = dir.filePath(QStringLiteral("good/trip.krec"));
    for (const auto &[path, text] : {std::pair{bad, damaged}, std::pair{good, without}}) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(text.join('\n'));
    }

    const Run clean = run(command + QStringList{good});
    QCOMPARE(clean.exit, 0);
    const Run r = run(command + QStringList{bad});
    QCOMPARE(r.exit, 3);
    QVERIFY(r.out.size() > 200);
    QVERIFY(r.out == clean.out);
    QStringList want{QStringLiteral("kestrelctl: %1: %2 damaged line%3 skipped; everything else "
                                    "was read")
                         .arg(bad)
                         .arg(spoiled)
                         .arg(spoiled == 1 ? "" : "s")};
    for (int n : numbers.mid(0, 10))
        want << QStringLiteral("kestrelctl: %1: line %2: the bytes are not pairs of hexadecimal "
                               "digits")
                    .arg(bad)
                    .arg(n);
    if (spoiled > 10)
        want << QStringLiteral("kestrelctl: %1: ... and %2 more damaged lines")
                    .arg(bad)
                    .arg(spoiled - 10);
    // Named last, after whatever else the command says on standard error.
    const QStringList said = r.err.trimmed().split(QLatin1Char('\n'));
    QVERIFY2(said.size() >= want.size(), qPrintable(r.err));
    QCOMPARE(said.mid(said.size() - want.size()), want);
    QCOMPARE(said.mid(0, said.size() - want.size()),
             clean.err.trimmed().split(QLatin1Char('\n'), Qt::SkipEmptyParts));
}

void TestKestrelCtl::sendWritesTheWindowsBytesAndPrintsTheAnswer_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QByteArray>("printed");
    const QByteArray prepare = bytes({0xB8, 0xB8, 0x90, 0x0D});
    const auto ack = [](int t) { return buildFrame(quint8(t), {}); };
    QTest::newRow("request navigation")
        << QStringList{"request", "navigation"} << bytes({0xCA, 0xCA, 0x6C, 0x0D})
        << buildFrameOfType(0xCA, bytes({4})) << QByteArray("CMD: CA\nNavigate.Vality: 3D Fix\n");
    QTest::newRow("request by type byte")
        << QStringList{"request", "0xC4"} << bytes({0xC4, 0xC4, 0x78, 0x0D})
        << buildFrameOfType(0xC4) << QByteArray("CMD: C4\nDiagnosis.");
    QTest::newRow("request time stamps")
        << QStringList{"request", "time-stamps"} << bytes({0xC5, 0xC5, 0x00, 0x76, 0x0D})
        << buildFrameOfType(0xC5) << QByteArray("CMD: C5\nTimeStamp.TimeStamp(0): ");
    QTest::newRow("set time") << QStringList{"set-time", "99", "12", "31", "23", "59", "59"}
                              << prepare +
                                     buildFrame(0xB2, bytes({0x99, 0x12, 0x31, 0x23, 0x59, 0x59}))
                              << ack(0xB2) << QByteArray("CMD: B2\n");
    QTest::newRow("set position, south and west")
        << QStringList{"set-position", "-3312.3456", "-11710.5"}
        << prepare + buildFrame(0xB0, bytes({0xFE, 0x2E, 0x33, 0x8F, 0xF9, 0x91, 0x36, 0x00, 0x01}))
        << ack(0xB0) << QByteArray("CMD: B0\n");
    QTest::newRow("set height, accuracy left out")
        << QStringList{"set-height", "100.75"}
        << prepare + buildFrame(0xB1, bytes({0x00, 0xCA, 0x00, 0x00})) << ack(0xB1)
        << QByteArray("CMD: B1\n");
    QTest::newRow("set height and accuracy")
        << QStringList{"set-height", "-10", "2.5"}
        << prepare + buildFrame(0xB1, bytes({0xFF, 0xEC, 0x00, 0x05})) << ack(0xB1)
        << QByteArray("CMD: B1\n");
    QTest::newRow("cold start") << QStringList{"cold-start"} << bytes({0xB9, 0xB9, 0x8E, 0x0D})
                                << ack(0xB9) << QByteArray("CMD: B9\n");
    QTest::newRow("reset") << QStringList{"reset"} << bytes({0xB6, 0xB6, 0x94, 0x0D}) << ack(0xB6)
                           << QByteArray("CMD: B6\n");
    QTest::newRow("reset time stamps")
        << QStringList{"reset-time-stamps"} << bytes({0xB2, 0xB2, 0x00, 0x9C, 0x0D}) << ack(0xB2)
        << QByteArray("CMD: B2\n");
}

void TestKestrelCtl::sendWritesTheWindowsBytesAndPrintsTheAnswer()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, wire);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, printed);
    Pty pty;
    QVERIFY(pty.ok());
    QProcess p;
    p.setProcessEnvironment(toolEnvironment(m_home.path()));
    p.start(QStringLiteral(KESTRELCTL),
            QStringList{"send", "--port", pty.slavePath(), "--time-zone", "12"} + command);
    QVERIFY(p.waitForStarted(5000));
    const QByteArray got = pty.read(int(wire.size()), 5000);
    QCOMPARE(got, wire);
    // Noise and other frames first: only the awaited answer is printed.
    QVERIFY(pty.write(bytes({0x00, 0xB7, 0xB7, 0x92, 0x0D}) + answer.left(3)));
    QTest::qWait(50);
    QVERIFY(pty.write(answer.mid(3)));
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 0);
    const QByteArray out = p.readAllStandardOutput();
    QVERIFY2(out.startsWith(printed), out.constData());
}

void TestKestrelCtl::sendWithoutAnswerEndsWithItsStatus_data()
{
    QTest::addColumn<int>("signal"); // sent after 0.3 s; 0: none
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    QTest::newRow("time-out") << 0 << 2 << "no answer (CMD: B9)";
    QTest::newRow("Ctrl+C") << int(SIGINT) << 130 << "interrupted before the answer (CMD: B9)";
    QTest::newRow("SIGTERM") << int(SIGTERM) << 143 << "interrupted before the answer (CMD: B9)";
}

// No answer from the receiver: a time-out is told as one, an interruption as one.
void TestKestrelCtl::sendWithoutAnswerEndsWithItsStatus()
{
    QFETCH(int, signal);
    QFETCH(int, exit);
    QFETCH(QString, says);
    Pty pty;
    QVERIFY(pty.ok());
    QProcess p;
    p.setProcessEnvironment(toolEnvironment(m_home.path()));
    p.start(QStringLiteral(KESTRELCTL),
            {"send", "--port", pty.slavePath(), "--timeout", signal ? "6" : "0.3", "cold-start"});
    QVERIFY(p.waitForStarted(5000));
    QCOMPARE(pty.read(4, 3000), bytes({0xB9, 0xB9, 0x8E, 0x0D}));
    if (signal)
        ::kill(pid_t(p.processId()), signal);
    QVERIFY(p.waitForFinished(signal ? 3000 : 10000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exit);
    QVERIFY(p.readAllStandardOutput().isEmpty());
    QVERIFY2(err.contains(says), qPrintable(err));
}

void TestKestrelCtl::sendRefusesWhatTheWindowsRefuse_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("year above FF") << QStringList{"set-time", "100", "1", "1", "0", "0", "0"}
                                   << "Year \"100\" is out of range";
    QTest::newRow("second above FF") << QStringList{"set-time", "1", "1", "1", "0", "0", "1FF"}
                                     << "Second \"1FF\" is not a whole number";
    QTest::newRow("year A0") << QStringList{"set-time", "A0", "1", "1", "0", "0", "0"}
                             << "Year \"A0\" is not a whole number: enter a number from 00 to 99";
    QTest::newRow("empty hour") << QStringList{"set-time", "26", "1", "1", "", "0", "0"}
                                << "Hour is empty: enter a number from 00 to 23";
    QTest::newRow("31 April")
        << QStringList{"set-time", "26", "4", "31", "0", "0", "0"}
        << "Day \"31\" is out of range: April 2026 has 30 days; enter a number from 01 to 30";
    QTest::newRow("29 February 2027")
        << QStringList{"set-time", "27", "2", "29", "0", "0", "0"} << "Day \"29\" is out of range";
    QTest::newRow("minute 60") << QStringList{"set-time", "26", "1", "1", "0", "60", "0"}
                               << "Minute \"60\" is out of range: enter a number from 00 to 59";
    QTest::newRow("height beyond 16 bits")
        << QStringList{"set-height", "16384"} << "Height 16384 cannot be sent";
    QTest::newRow("accuracy beyond 16 bits")
        << QStringList{"set-height", "0", "-20000"} << "Accuracy -20000 cannot be sent";
    QTest::newRow("latitude beyond 90 degrees")
        << QStringList{"set-position", "300000", "0"} << "Latitude 300000 lies beyond 90°";
    QTest::newRow("longitude with 99 minutes")
        << QStringList{"set-position", "0", "-99999"} << "Longitude -99999 has 60 minutes or more";
    QTest::newRow("height not a number")
        << QStringList{"set-height", "100abc"} << "Height \"100abc\" is not a number";
}

void TestKestrelCtl::sendRefusesWhatTheWindowsRefuse()
{
    QFETCH(QStringList, command);
    QFETCH(QString, message);
    Pty pty;
    QVERIFY(pty.ok());
    const Run r = run(QStringList{"send", "--port", pty.slavePath()} + command);
    QCOMPARE(r.exit, 4);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY2(r.err.contains(QStringLiteral("Nothing was sent")), qPrintable(r.err));
    // Not even the 0xB8 that goes before a setup command.
    QVERIFY(pty.read(1, 200).isEmpty());
}

void TestKestrelCtl::everyCommandIsAcknowledgedBySimulator()
{
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--rate", "0", "--verbose"}, path));
    const QList<QPair<QStringList, QByteArray>> commands = {
        {{"request", "condition"}, "CMD: C6\nCondition.Condition: "},
        {{"request", "mode"}, "CMD: C3\nMode.Mode: "},
        {{"request", "satellites"}, "CMD: CB\nRecSat.ID(1): "},
        {{"request", "B7"}, "CMD: B7\n"},
        {{"set-time", "now"}, "CMD: B2\n"},
        {{"set-position", "4722.2", "00832.4"}, "CMD: B0\n"},
        {{"set-height", "500"}, "CMD: B1\n"},
        {{"reset-time-stamps"}, "CMD: B2\n"},
        {{"cold-start"}, "CMD: B9\n"},
        {{"reset"}, "CMD: B6\n"},
    };
    for (const auto &[command, printed] : commands) {
        const Run r = run(QStringList{"send", "--port", path, "--timeout", "3"} + command);
        QVERIFY2(r.exit == 0, qPrintable(command.join(' ') + QLatin1String(": ") + r.err));
        QVERIFY2(r.out.startsWith(printed), r.out.constData());
    }
    // The height set reaches the receiver: its next navigation message shows it.
    const Run nav = run({"send", "--port", path, "request", "navigation"});
    QVERIFY2(nav.out.contains("Navigate.CurHeight: 500\n"), nav.out.constData());
    stop(sim);
    const QByteArray said = sim.readAllStandardOutput();
    for (const char *type : {"C6", "C3", "CB", "B7", "B8", "B2", "B0", "B1", "B9", "B6", "CA"})
        QVERIFY2(said.contains(QByteArray("received ") + type), type);
}

void TestKestrelCtl::monitorDecodesLive()
{
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--rate", "10", "--baud", "115200"}, path));
    const Run r = run({"monitor", "--port", path, "--duration", "1.5", "--json"});
    stop(sim);
    QCOMPARE(r.exit, 0);
    int navigation = 0;
    for (const QByteArray &line : r.out.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        QVERIFY2(!o.isEmpty(), line.constData());
        if (o.value("log").toString() == QLatin1String("CMD: CA")) {
            ++navigation;
            QVERIFY(o.value("windows").toObject().contains(QStringLiteral("Position")));
        }
    }
    QVERIFY2(navigation >= 5, qPrintable(QString::number(navigation)));
}

void TestKestrelCtl::monitorTellsSilenceAndItsEnd()
{
    Pty pty;
    QVERIFY(pty.ok());
    QProcess p;
    p.setProcessEnvironment(toolEnvironment(m_home.path()));
    p.start(QStringLiteral(KESTRELCTL), {"monitor", "--port", pty.slavePath(), "--duration", "5"});
    QVERIFY(p.waitForStarted());
    QTest::qWait(500);
    const QByteArray nav = buildFrameOfType(0xCA);
    QVERIFY(pty.write(nav));
    QTest::qWait(3800);
    QVERIFY(pty.write(nav));
    QVERIFY(p.waitForFinished(10000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains(pty.slavePath() + ": no data for 3."), qPrintable(err));
    QVERIFY2(err.contains(pty.slavePath() + ": navigation messages again"), qPrintable(err));
    // Standard output stays the frames alone.
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).count(QStringLiteral("CMD: CA")), 2);
}

void TestKestrelCtl::recordingReplaysByteIdentical()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.krec"));
    const QString second = dir.filePath(QStringLiteral("second.krec"));
    {
        QProcess sim;
        QString path;
        QVERIFY(startSim(sim, {"--rate", "5", "--garbage", "0.2", "--seed", "3"}, path));
        const Run r = run({"record", "--port", path, "--out", first, "--duration", "2", "--comment",
                           "round trip"});
        stop(sim);
        QCOMPARE(r.exit, 0);
    }
    QFile f1(first);
    QVERIFY(f1.open(QIODevice::ReadOnly));
    const RecordingContents made = readRecording(f1.readAll());
    QVERIFY2(made.ok(), qPrintable(made.error));
    QVERIFY(made.comments.contains(QStringLiteral("round trip")));
    QVERIFY(made.comments.first().startsWith(QStringLiteral("made by: kestrelctl record")));
    QVERIFY(made.bytes().size() > 500);
    // Arrival times follow the simulator's five messages a second.
    QVERIFY(made.chunks.last().timeMs - made.chunks.first().timeMs >= 1200);

    QProcess replay;
    QString path;
    QVERIFY(startSim(replay, {"--replay", first, "--speed", "4"}, path));
    QProcess recorder;
    recorder.setProcessEnvironment(toolEnvironment(m_home.path()));
    recorder.start(QStringLiteral(KESTRELCTL), {"record", "--port", path, "--out", second});
    QVERIFY(recorder.waitForStarted(5000));
    QByteArray said;
    QVERIFY2(waitForError(replay, said, "replay finished", 10000), said.constData());
    QTest::qWait(300);
    stop(recorder);
    QCOMPARE(recorder.exitCode(), 0);
    stop(replay);

    QFile f2(second);
    QVERIFY(f2.open(QIODevice::ReadOnly));
    const RecordingContents played = readRecording(f2.readAll());
    QVERIFY2(played.ok(), qPrintable(played.error));
    QCOMPARE(played.bytes(), made.bytes());
    // Four times faster, the same stretch takes about a quarter of the time.
    const qint64 span = played.chunks.last().timeMs - played.chunks.first().timeMs;
    const qint64 madeSpan = made.chunks.last().timeMs - made.chunks.first().timeMs;
    QVERIFY2(span < madeSpan * 3 / 4, qPrintable(QStringLiteral("%1 %2").arg(span).arg(madeSpan)));
}

void TestKestrelCtl::replayRefusesBadFilesAndSpeeds_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("says");
    const QString good = dataFile(QStringLiteral("sim-requests.krec"));
    QTest::newRow("missing file") << QStringList{"--replay", "/nonexistent.krec"} << "cannot read";
    QTest::newRow("not a recording")
        << QStringList{"--replay", dataFile(QStringLiteral("sim-requests.decode"))}
        << "not a recording";
    QTest::newRow("speed zero") << QStringList{"--replay", good, "--speed", "0"} << "--speed";
    QTest::newRow("speed not a number")
        << QStringList{"--replay", good, "--speed", "fast"} << "--speed";
}

void TestKestrelCtl::replayRefusesBadFilesAndSpeeds()
{
    QFETCH(QStringList, args);
    QFETCH(QString, says);
    QProcess sim;
    sim.start(QStringLiteral(KESTREL_SIM), args);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    const QString err = QString::fromUtf8(sim.readAllStandardError());
    QVERIFY2(err.contains(says), qPrintable(err));
}

void TestKestrelCtl::killedRecordingReadsUpToItsLastLine()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("killed.krec"));
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--rate", "20", "--baud", "115200"}, path));
    QProcess recorder;
    recorder.setProcessEnvironment(toolEnvironment(m_home.path()));
    recorder.start(QStringLiteral(KESTRELCTL), {"record", "--port", path, "--out", file});
    QVERIFY(recorder.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file).size() > 2000, 5000);
    recorder.kill(); // no chance to close the file
    recorder.waitForFinished(2000);
    stop(sim);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const RecordingContents r = readRecording(f.readAll());
    QVERIFY2(r.ok(), qPrintable(r.error));
    QVERIFY(r.bytes().size() > 500);
    const Run decoded = run({"decode", file});
    QCOMPARE(decoded.exit, 0);
    QVERIFY(decoded.out.contains("CMD: CA\n"));
}

void TestKestrelCtl::bridgeServesLoopbackTcpClients()
{
    QProcess replay;
    QString path;
    QVERIFY(startSim(
        replay, {"--replay", dataFile(QStringLiteral("sim-acquisition.krec")), "--speed", "10"},
        path));
    QProcess bridge;
    bridge.start(QStringLiteral(KESTRELCTL), {"nmea", "--port", path, "--tcp", "127.0.0.1:0"});
    QVERIFY(bridge.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.canReadLine(), 5000);
    const QString listening = QString::fromLatin1(bridge.readLine()).trimmed();
    QVERIFY2(listening.startsWith(QStringLiteral("127.0.0.1:")), qPrintable(listening));
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost,
                         listening.section(QLatin1Char(':'), 1).toUShort());
    QVERIFY(client.waitForConnected(3000));
    QByteArray got;
    QElapsedTimer t;
    t.start();
    while (!got.contains("$GPGGA,") || !got.contains(",1,05,")) {
        if (t.elapsed() > 8000)
            break;
        client.waitForReadyRead(100);
        got += client.readAll();
    }
    stop(bridge);
    stop(replay);
    QVERIFY2(got.contains(",1,05,"), got.right(400).constData()); // a fix with five satellites
    const QList<QByteArray> lines = got.split('\n');
    int checked = 0;
    for (const QByteArray &line : lines) {
        if (!line.startsWith('$') || !line.endsWith('\r'))
            continue; // a sentence cut by the start or end of reading
        const qsizetype star = line.indexOf('*');
        QVERIFY2(star > 0, line.constData());
        QCOMPARE(line.mid(star + 1, 2), nmeaChecksum(line.mid(1, star - 1)));
        ++checked;
    }
    QVERIFY(checked >= 10);
}

void TestKestrelCtl::bridgeFeedsGpsd()
{
    const QString gpsd = QStandardPaths::findExecutable(
        QStringLiteral("gpsd"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin")});
    const QString gpspipe = QStandardPaths::findExecutable(QStringLiteral("gpspipe"));
    if (gpsd.isEmpty() || gpspipe.isEmpty())
        QSKIP("gpsd and gpspipe are not installed (Debian's gpsd and gpsd-clients; "
              "scripts/test.sh installs them where it can)");

    // What the receiver said in its 3D fixes, as gpsd should report it.
    QFile recording(dataFile(QStringLiteral("sim-acquisition.krec")));
    QVERIFY(recording.open(QIODevice::ReadOnly));
    const QByteArray stream = readRecording(recording.readAll()).bytes();
    QList<NmeaFix> fixes;
    QSet<int> prns;
    for (qsizetype at = stream.indexOf("\xCA\xCA"); at >= 0;
         at = stream.indexOf("\xCA\xCA", at + 2)) {
        const NmeaFix fix = nmeaFixFromFrame(stream.mid(at, 44));
        if (fix.fixState == 4)
            fixes << fix;
    }
    for (qsizetype at = stream.indexOf("\xCB\xCB"); at >= 0;
         at = stream.indexOf("\xCB\xCB", at + 2))
        for (const NmeaSatellite &s : nmeaSatellitesFromFrame(stream.mid(at, 50)))
            prns << s.prn;
    QVERIFY(!fixes.isEmpty());

    QTemporaryDir dir;
    QProcess replay;
    QString path;
    QVERIFY(startSim(replay, {"--replay", recording.fileName(), "--speed", "2"}, path));
    QProcess bridge;
    const QString link = dir.filePath(QStringLiteral("nmea"));
    bridge.start(QStringLiteral(KESTRELCTL), {"nmea", "--port", path, "--link", link});
    QVERIFY(bridge.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 5000);

    QProcess daemon;
    const quint16 port = startGpsd(daemon, gpsd, dir, link);
    QVERIFY(port != 0);
    QProcess pipe;
    QElapsedTimer t;
    t.start();
    QByteArray reports;
    bool tpv = false, sky = false;
    // gpsd takes a moment to listen; gpspipe is started again until it connects.
    while (!(tpv && sky) && t.elapsed() < 20000) {
        if (pipe.state() == QProcess::NotRunning) {
            QTest::qWait(200);
            pipe.start(gpspipe, {"-w", QStringLiteral("127.0.0.1:%1").arg(port)});
            pipe.waitForStarted(2000);
        }
        pipe.waitForReadyRead(200);
        while (pipe.canReadLine()) {
            const QByteArray line = pipe.readLine();
            reports += line;
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value("class") == QLatin1String("TPV") && o.value("mode").toInt() == 3) {
                const double lat = o.value("lat").toDouble();
                const double lon = o.value("lon").toDouble();
                const double alt =
                    o.contains("altMSL") ? o.value("altMSL").toDouble() : o.value("alt").toDouble();
                for (const NmeaFix &f : fixes) {
                    const auto degrees = [](qint32 raw) {
                        const double scaled = raw / 9216.0;
                        const double d = std::trunc(scaled / 100);
                        return d + (scaled - 100 * d) / 60.0;
                    };
                    if (std::abs(lat - degrees(f.latitude)) < 2e-6 &&
                        std::abs(lon - degrees(f.longitude)) < 2e-6 &&
                        std::abs(alt - f.heightM) < 0.01)
                        tpv = true;
                }
            }
            if (o.value("class") == QLatin1String("SKY") && o.contains("satellites")) {
                const QJsonArray sats = o.value("satellites").toArray();
                bool all = !sats.isEmpty();
                for (const QJsonValue &s : sats)
                    all = all && prns.contains(s.toObject().value("PRN").toInt());
                sky = sky || (all && sats.size() == 8);
            }
        }
    }
    stop(pipe);
    stop(daemon);
    stop(bridge);
    stop(replay);
    QVERIFY2(tpv, reports.right(1500).constData());
    QVERIFY2(sky, reports.right(1500).constData());
}

void TestKestrelCtl::statsMatchHandComputation()
{
    const QString rec = dataFile(QStringLiteral("sim-acquisition.krec"));
    QFile f(rec);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const HandFigures h = handFigures(readRecording(f.readAll()));
    QVERIFY(h.threeD >= 3);

    const Run r = run({QStringLiteral("stats"), QStringLiteral("--json"), rec});
    QCOMPARE(r.exit, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(o.value("navigation_messages").toInt(), h.navigation);
    const QJsonObject fixes = o.value("fixes").toObject();
    QCOMPARE(fixes.value("none").toInt(), h.none);
    QCOMPARE(fixes.value("2d").toInt(), h.twoD);
    QCOMPARE(fixes.value("3d").toInt(), h.threeD);
    QCOMPARE(fixes.value("invalid").toInt(), h.invalid);
    QCOMPARE(o.value("fixes_3d_used").toInt(), h.threeD);
    QCOMPARE(qRound64(o.value("ttff_2d_s").toDouble() * 1000), h.ttff2D);
    QCOMPARE(qRound64(o.value("ttff_3d_s").toDouble() * 1000), h.ttff3D);
    QCOMPARE(o.value("fix_at_start"), QJsonValue(false)); // it starts with no satellites
    const auto near = [&](const char *key, double want, double tol) {
        const double got = o.value(QLatin1String(key)).toDouble(-1e9);
        if (std::fabs(got - want) <= tol)
            return true;
        qWarning("%s: %.9f, by hand %.9f", key, got, want);
        return false;
    };
    QVERIFY(near("mean_latitude_deg", h.lat, 1e-9));
    QVERIFY(near("mean_longitude_deg", h.lon, 1e-9));
    QVERIFY(near("mean_height_m", h.heightMean, 1e-9));
    QVERIFY(near("height_std_m", h.heightStd, 1e-9));
    QVERIFY(near("cep50_m", h.cep50, 1e-4));
    QVERIFY(near("drms2_m", h.drms2, 1e-4));
    QVERIFY(near("r95_m", h.r95, 1e-4));

    // The text says the same, rounded.
    const Run t = run({QStringLiteral("stats"), rec});
    QCOMPARE(t.exit, 0);
    const QString text = QString::fromUtf8(t.out);
    QVERIFY2(text.contains(QStringLiteral("navigation messages: %1\n").arg(h.navigation)),
             qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("3D fixes: %1\n").arg(h.threeD)));
    QVERIFY(text.contains(
        QStringLiteral("time to first 3D fix: %1 s\n").arg(h.ttff3D / 1000.0, 0, 'f', 3)));
    QVERIFY(text.contains(QStringLiteral("CEP50: %1 m\n").arg(h.cep50, 0, 'f', 3)));
    QVERIFY(text.contains(QStringLiteral("2DRMS: %1 m\n").arg(h.drms2, 0, 'f', 3)));
    QVERIFY(text.contains(QStringLiteral("R95: %1 m\n").arg(h.r95, 0, 'f', 3)));
    QVERIFY(text.contains(QStringLiteral("mean latitude: %1 deg\n").arg(h.lat, 0, 'f', 7)));

    // About a reference at the mean position: no horizontal bias, and the horizontal
    // figures are those about the mean (the RMS half the 2DRMS), under the same names in
    // the JSON and the text.
    const QString at = QStringLiteral("%1,%2,%3")
                           .arg(h.lat, 0, 'f', 12)
                           .arg(h.lon, 0, 'f', 12)
                           .arg(h.heightMean, 0, 'f', 6);
    const Run rj = run({QStringLiteral("stats"), QStringLiteral("--json"),
                        QStringLiteral("--reference"), at, rec});
    QCOMPARE(rj.exit, 0);
    const QJsonObject ref = QJsonDocument::fromJson(rj.out).object().value("reference").toObject();
    QCOMPARE(ref.value("fixes_3d_used").toInt(), h.threeD);
    const struct {
        const char *name;
        double want;
    } figures[] = {{"bias_east_m", 0},
                   {"bias_north_m", 0},
                   {"horizontal_rms_m", h.drms2 / 2},
                   {"cep50_m", h.cep50},
                   {"r95_m", h.r95}};
    const Run rt = run({QStringLiteral("stats"), QStringLiteral("--reference"), at, rec});
    const QString refText = QString::fromUtf8(rt.out);
    for (const auto &f : figures) {
        const double got = ref.value(QLatin1String(f.name)).toDouble(-1e9);
        QVERIFY2(std::fabs(got - f.want) < 1e-3,
                 qPrintable(QStringLiteral("%1: %2, by hand %3").arg(f.name).arg(got).arg(f.want)));
        QVERIFY2(refText.contains(QStringLiteral("%1: %2\n").arg(f.name).arg(got, 0, 'f', 3)),
                 qPrintable(refText));
    }
    QVERIFY(ref.contains("bias_up_m") && ref.contains("vertical_rms_m"));

    // Each of the simulated receiver's eight satellites, tracked for most of the recording.
    const QJsonArray sats = o.value("satellites").toArray();
    QList<int> numbers;
    for (const QJsonValue &v : sats) {
        numbers << v.toObject().value("number").toInt();
        QVERIFY(v.toObject().value("tracked_s").toDouble() > 0);
        QVERIFY(v.toObject().value("mean_level_db").toDouble() > 0);
    }
    QCOMPARE(numbers, (QList<int>{2, 5, 9, 12, 17, 21, 26, 29}));
}

void TestKestrelCtl::everyReaderTellsWhatIsNotARecording_data()
{
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    const QList<QPair<const char *, QStringList>> commands{
        {"decode", {"decode"}},
        {"stats", {"stats"}},
        {"export", {"export", "--format", "csv", "-o", "-"}}};
    for (const auto &[name, command] : commands) {
        QTest::addRow("%s, byte order mark", name)
            << command << QByteArray("\xEF\xBB\xBFKESTREL RECORDING 1\n0 B7B7920D\n") << 3
            << "line 1: not a Kestrel recording (it must begin with \"KESTREL RECORDING 1\"; "
               "this one begins with a UTF-8 byte order mark)";
        QTest::addRow("%s, version 2", name)
            << command << QByteArray("KESTREL RECORDING 2\n0 B7B7920D\n") << 3
            << "\"KESTREL RECORDING 2\" is a format this version does not read";
        QTest::addRow("%s, empty file", name)
            << command << QByteArray() << 3
            << "line 1: not a Kestrel recording (it must begin with \"KESTREL RECORDING 1\"; "
               "the file is empty)";
        // Escape sequences in the file reach the terminal as text.
        QTest::addRow("%s, escape sequence in a time", name)
            << command << QByteArray("KESTREL RECORDING 1\n\x1b[2J5 B7B7920D\n") << 3
            << "line 2: the time \"\\x1b[2J5\" is not a whole number";
    }
    // Standard error is no terminal here: no progress line, however long reading took.
    QTest::newRow("decode, no progress into a pipe")
        << QStringList{"decode"} << QByteArray("KESTREL RECORDING 1\n0 B7B7920D\n") << 0
        << QString();
}

void TestKestrelCtl::everyReaderTellsWhatIsNotARecording()
{
    QFETCH(QStringList, command);
    QFETCH(QByteArray, content);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("input.krec")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
    const Run r = run(command + QStringList{f.fileName()});
    QCOMPARE(r.exit, exit);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QVERIFY2(!r.err.contains(QChar(0x1b)) && !r.err.contains(QStringLiteral("reading ")),
             qPrintable(r.err));
}

void TestKestrelCtl::statsTellAFixAtStart_data()
{
    // Lines of a recording made by hand, "MS FRAME" with FRAME n0..n4 (a navigation
    // message with that fix state), s (a satellite message) or c (the receiver's echo
    // of a Cold Start); then what the text says of each run and the JSON's flags.
    QTest::addColumn<QString>("lines");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<bool>>("fixAtStart");
    QTest::addColumn<double>("ttff2D");
    QTest::newRow("a receiver that had its fix")
        << "0 s; 52 n4; 1052 n4"
        << "time to first 2D fix: fix at start\ntime to first 3D fix: fix at start\n"
        << QList<bool>{true} << 0.052;
    QTest::newRow("2D at start, 3D later")
        << "0 s; 52 n3; 3052 n4"
        << "time to first 2D fix: fix at start\ntime to first 3D fix: 3.052 s\n"
        << QList<bool>{true} << 0.052;
    QTest::newRow("acquired") << "0 s; 52 n0; 5052 n4"
                              << "time to first 2D fix: 5.052 s\ntime to first 3D fix: 5.052 s\n"
                              << QList<bool>{false} << 5.052;
    QTest::newRow("a cold start that kept the fix")
        << "0 n0; 4000 n4; 6000 c; 6500 n4"
        << "time to first 3D fix: 4.000 s\nafter Cold Start at 6.000 s: 2D fix at start, 3D fix "
           "at start\n"
        << QList<bool>{false, true} << 4.0;
    // x4: a 3D fix whose latitude field says 2330 degrees, left out of the figures.
    QTest::newRow("a fix off the earth")
        << "0 s; 52 x4; 1052 n4"
        << "3D fixes off the earth (latitude beyond 90 deg or longitude beyond 180 deg), left "
           "out: 1\nover 1 3D fixes:\n"
        << QList<bool>{true} << 0.052;
}

void TestKestrelCtl::statsTellAFixAtStart()
{
    QFETCH(QString, lines);
    QFETCH(QString, text);
    QFETCH(QList<bool>, fixAtStart);
    QFETCH(double, ttff2D);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("start.krec"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    RecordingWriter writer(f);
    QVERIFY(writer.writeHeader({}));
    for (const QString &line : lines.split(QLatin1Char(';'))) {
        const QStringList w = line.simplified().split(QLatin1Char(' '));
        const QString frame = w[1];
        const QByteArray bytes =
            frame == QLatin1String("s")   ? buildFrame(0xCB, QByteArray(46, '\0'))
            : frame == QLatin1String("c") ? buildFrame(0xB9, {})
            : frame.startsWith(QLatin1Char('x'))
                ? navFrame({{3, {frame.mid(1).toInt()}}, {4, {0x7f, 0xff, 0xff, 0xff}}})
                : navFrame({{3, {frame.mid(1).toInt()}}});
        QVERIFY(writer.writeChunk(w[0].toLongLong(), bytes));
    }
    f.close();

    const Run t = run({QStringLiteral("stats"), path});
    QCOMPARE(t.exit, 0);
    QVERIFY2(t.out.contains(text.toUtf8()), t.out.constData());
    const Run j = run({QStringLiteral("stats"), QStringLiteral("--json"), path});
    QCOMPARE(j.exit, 0);
    const QJsonObject o = QJsonDocument::fromJson(j.out).object();
    // The documented keys stay as they were; the flag comes with them.
    QCOMPARE(o.value("ttff_2d_s").toDouble(), ttff2D);
    QCOMPARE(o.value("fix_at_start"), QJsonValue(fixAtStart.first()));
    QCOMPARE(o.value("fixes_3d_off_the_earth").toInt(), lines.count(QLatin1Char('x')));
    const QJsonArray runs = o.value("runs").toArray();
    QCOMPARE(runs.size(), fixAtStart.size());
    for (qsizetype i = 0; i < runs.size(); ++i)
        QCOMPARE(runs[i].toObject().value("fix_at_start"), QJsonValue(fixAtStart[i]));
}

void TestKestrelCtl::statsTellColdStartRunsAndRefuseNonRecordings()
{
    // The requests recording has a Cold Start answered by the receiver.
    const Run r =
        run({QStringLiteral("stats"), QStringLiteral("--json"), dataFile("sim-requests.krec")});
    QCOMPARE(r.exit, 0);
    const QJsonArray runs = QJsonDocument::fromJson(r.out).object().value("runs").toArray();
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs[0].toObject().value("start").toString(), QStringLiteral("recording start"));
    QCOMPARE(runs[1].toObject().value("start").toString(), QStringLiteral("Cold Start"));
    QVERIFY(runs[1].toObject().value("start_s").toDouble() > 0);
    const Run t = run({QStringLiteral("stats"), dataFile("sim-requests.krec")});
    QVERIFY2(t.out.contains("no 3D fix: no position figures"), t.out.constData());
    QVERIFY(t.out.contains("after Cold Start at "));

    QTemporaryDir dir;
    QFile raw(dir.filePath(QStringLiteral("raw.bin")));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write(buildFrameOfType(0xCA));
    raw.close();
    const Run bad = run({QStringLiteral("stats"), raw.fileName()});
    QCOMPARE(bad.exit, 3);
    QVERIFY(bad.err.contains("not a recording"));
}

void TestKestrelCtl::monitorGivesNumbersAndFixLines()
{
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--rate", "10", "--baud", "115200"}, path));
    const Run json = run({"monitor", "--port", path, "--duration", "1.2", "--json"});
    const Run fix = run({"monitor", "--port", path, "--duration", "1.2", "--fix"});
    stop(sim);
    QCOMPARE(json.exit, 0);
    QCOMPARE(fix.exit, 0);
    int navigation = 0, satellites = 0;
    for (const QByteArray &line : json.out.trimmed().split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QJsonObject v = o.value("values").toObject();
        if (o.value("type") == QLatin1String("CA")) {
            ++navigation;
            for (const char *key : {"lat", "lon", "alt_m", "speed_kmh", "heading_deg", "sats"})
                QVERIFY2(v.value(key).isDouble(), line.constData());
            QVERIFY(v.value("fix").isString());
            // The simulator names the second it sends in: the computer is at most a
            // second (and a little scheduling) past it.
            const double offset = o.value("clock_offset_s").toDouble(99);
            QVERIFY2(offset > -1.5 && offset < 0.1, line.constData());
        } else if (o.value("type") == QLatin1String("CB")) {
            ++satellites;
            QVERIFY2(!v.value("channels").toArray().isEmpty(), line.constData());
        } else {
            QVERIFY2(!o.contains("values"), line.constData());
        }
    }
    QVERIFY(navigation >= 5 && satellites >= 5);
    const QList<QByteArray> lines = fix.out.trimmed().split('\n');
    QVERIFY2(lines.size() >= 6 && lines[0].startsWith("# time"), fix.out.constData());
    for (const QByteArray &line : lines.mid(1)) {
        QCOMPARE(line.size(), lines[0].size());
        QCOMPARE(line.simplified().split(' ').size(), 8);
    }
}

void TestKestrelCtl::statsTellTheClockOffset_data()
{
    // The recording's «started:» comment (none: left out), then navigation messages at
    // recording ms naming 12:00:00, :01, :02 and :03, the last torn across two lines;
    // offsets -0.052, -0.040, -0.060, -0.050 s by hand: median -0.051, 95th percentile
    // -0.050 + 0.85 x 0.010, 5th -0.060 + 0.15 x 0.008, spread 0.0173.
    QTest::addColumn<QString>("started");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("text");
    QTest::newRow("started said") << "started: 2026-12-07T12:00:00.000Z" << 4
                                  << "clock offset median: -0.051 s\nclock offset spread (5th to "
                                     "95th percentile): 0.017 s\n";
    QTest::newRow("no start: no offset")
        << "" << 0
        << "clock offset: none (no dated navigation message, or the recording does "
           "not say when it started)\n";
}

void TestKestrelCtl::statsTellTheClockOffset()
{
    QFETCH(QString, started);
    QFETCH(int, count);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("clock.krec"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    RecordingWriter writer(f);
    QVERIFY(writer.writeHeader(started.isEmpty() ? QStringList() : QStringList{started}));
    const auto at = [](int second) {
        return navFrame({{3, {4}}, {25, {0x26, 0x12, 0x07, 0x12, 0x00, second}}});
    };
    QVERIFY(writer.writeChunk(52, at(0x00)));
    QVERIFY(writer.writeChunk(1040, at(0x01)));
    QVERIFY(writer.writeChunk(2060, at(0x02)));
    QVERIFY(writer.writeChunk(3050, at(0x03).left(5)));
    QVERIFY(writer.writeChunk(3100, at(0x03).mid(5)));
    f.close();
    const Run t = run({QStringLiteral("stats"), path});
    QCOMPARE(t.exit, 0);
    QVERIFY2(t.out.contains(text.toUtf8()), t.out.constData());
    const Run j = run({QStringLiteral("stats"), QStringLiteral("--json"), path});
    const QJsonObject o = QJsonDocument::fromJson(j.out).object();
    QCOMPARE(o.value("clock_offsets").toInt(-1), count);
    if (count == 0) {
        QVERIFY(o.value("clock_offset_median_s").isNull());
        return;
    }
    QVERIFY(std::fabs(o.value("clock_offset_median_s").toDouble() - -0.051) < 1e-9);
    QVERIFY(std::fabs(o.value("clock_offset_spread_s").toDouble() - 0.0173) < 1e-9);
}

namespace {

QString findGpsd()
{
    return QStandardPaths::findExecutable(
        QStringLiteral("gpsd"),
        {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin")});
}

} // namespace

void TestKestrelCtl::bridgeTerminalTakesModeAndGroup()
{
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--rate", "0"}, path));
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("nmea"));
    const QString group = QString::number(::getgid()); // a group one belongs to
    QProcess bridge;
    bridge.start(QStringLiteral(KESTRELCTL),
                 {"nmea", "--port", path, "--link", link, "--mode", "0660", "--group", group});
    QVERIFY(bridge.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 5000);
    const QFileInfo terminal(QFileInfo(link).symLinkTarget());
    const QFile::Permissions groupRw = QFile::ReadGroup | QFile::WriteGroup;
    QCOMPARE(terminal.permissions() & (groupRw | QFile::ReadOther | QFile::WriteOther), groupRw);
    QCOMPARE(terminal.groupId(), uint(::getgid()));
    stop(bridge);
    stop(sim);
}

// Five times the receiver goes away under a bridge that gpsd reads, and comes back.
void TestKestrelCtl::bridgeOutlivesTheReceiverUnderGpsd()
{
    const QString gpsd = findGpsd();
    const QString gpspipe = QStandardPaths::findExecutable(QStringLiteral("gpspipe"));
    if (gpsd.isEmpty() || gpspipe.isEmpty())
        QSKIP("gpsd and gpspipe are not installed (Debian's gpsd and gpsd-clients)");

    QTemporaryDir dir;
    const QString receiver = dir.filePath(QStringLiteral("receiver"));
    const QString link = dir.filePath(QStringLiteral("nmea"));
    const QStringList simArgs{"--rate", "4", "--link", receiver};
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, simArgs, path));
    QProcess bridge;
    bridge.start(QStringLiteral(KESTRELCTL), {"nmea", "--port", receiver, "--link", link});
    QVERIFY(bridge.waitForStarted(5000));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(link).isSymLink(), 5000);
    const QString terminal = QFileInfo(link).symLinkTarget();

    QProcess daemon;
    const quint16 port = startGpsd(daemon, gpsd, dir, link);
    QVERIFY(port != 0);
    QProcess pipe;
    QByteArray reports, said;
    int tpv = 0;
    // Reads gpsd's reports until `more` further TPV objects came, or the time is up.
    const auto awaitTpv = [&](int more, int timeoutMs) {
        const int goal = tpv + more;
        QElapsedTimer t;
        t.start();
        while (tpv < goal && t.elapsed() < timeoutMs) {
            if (pipe.state() == QProcess::NotRunning) {
                QTest::qWait(200); // gpsd takes a moment to listen
                pipe.start(gpspipe, {"-w", QStringLiteral("127.0.0.1:%1").arg(port)});
                pipe.waitForStarted(2000);
            }
            pipe.waitForReadyRead(100);
            while (pipe.canReadLine()) {
                const QByteArray line = pipe.readLine();
                reports += line;
                if (QJsonDocument::fromJson(line).object().value("class") == QLatin1String("TPV"))
                    ++tpv;
            }
        }
        return tpv >= goal;
    };
    QVERIFY2(awaitTpv(2, 20000), reports.right(1500).constData());
    for (int cycle = 1; cycle <= 5; ++cycle) {
        stop(sim);
        QVERIFY2(waitForError(bridge, said, "went away", 3000), said.constData());
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(startSim(sim, simArgs, path));
        QVERIFY2(awaitTpv(2, 8000), qPrintable(QStringLiteral("cycle %1: %2")
                                                   .arg(cycle)
                                                   .arg(QString::fromUtf8(reports.right(1500)))));
        QVERIFY2(waitForError(bridge, said, "is back", 3000), said.constData());
        // Each cycle waits for its own messages.
        said.replace("went away", "gone").replace("is back", "was back");
    }
    // gpsd still has the device: it never reported it deactivated, and lists it.
    QVERIFY2(!reports.contains("\"activated\":0"), reports.right(1500).constData());
    QTcpSocket ask;
    ask.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(ask.waitForConnected(3000));
    ask.write("?DEVICES;\n");
    QByteArray devices;
    QTRY_VERIFY_WITH_TIMEOUT((devices += ask.readAll()).contains("\"class\":\"DEVICES\""), 5000);
    QVERIFY2(devices.contains(link.toUtf8()), devices.constData());
    QCOMPARE(QFileInfo(link).symLinkTarget(), terminal); // the same terminal throughout
    stop(pipe);
    stop(daemon);
    stop(bridge);
    stop(sim);
}

void TestKestrelCtl::recordTroubleEndsWithStatus1_data()
{
    QTest::addColumn<int>("fileLimit");     // bytes a file may hold (ulimit -f), 0: no limit
    QTest::addColumn<int>("deleteAfterMs"); // -1: never
    QTest::addColumn<QString>("says");
    QTest::addColumn<bool>("fileLeft");
    QTest::newRow("header does not fit") << 90 << -1 << "File too large" << false;
    QTest::newRow("file fills under way") << 1500 << -1 << "File too large" << true;
    QTest::newRow("file deleted under way") << 0 << 500 << "was deleted while recording" << false;
}

// Every way the file can fail ends with status 1, the system's reason, and a byte
// count that is what the file holds.
void TestKestrelCtl::recordTroubleEndsWithStatus1()
{
    QFETCH(int, fileLimit);
    QFETCH(int, deleteAfterMs);
    QFETCH(QString, says);
    QFETCH(bool, fileLeft);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("trouble.krec"));
    QProcess sim;
    QString path;
    QVERIFY(startSim(sim, {"--rate", "5"}, path));
    QProcess rec;
    rec.setProcessEnvironment(toolEnvironment(m_home.path()));
    rec.setChildProcessModifier([fileLimit] {
        if (fileLimit == 0)
            return;
        rlimit r{};
        ::getrlimit(RLIMIT_FSIZE, &r);
        r.rlim_cur = rlim_t(fileLimit);
        ::setrlimit(RLIMIT_FSIZE, &r);
    });
    rec.start(QStringLiteral(KESTRELCTL),
              {"record", "--port", path, "--out", out, "--duration", "4"});
    QVERIFY(rec.waitForStarted(5000));
    if (deleteAfterMs >= 0) {
        // Once the recording is under way, however slowly the tool started.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(out).size() > 100, 10000);
        QTest::qWait(deleteAfterMs);
        QVERIFY(QFile::remove(out));
    }
    QVERIFY(rec.waitForFinished(10000));
    stop(sim);
    const QString err = QString::fromUtf8(rec.readAllStandardError());
    QCOMPARE(rec.exitStatus(), QProcess::NormalExit);
    QCOMPARE(rec.exitCode(), 1);
    QVERIFY2(err.contains(says), qPrintable(err));
    QCOMPARE(QFile::exists(out), fileLeft);
    if (fileLeft) {
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const qsizetype held = readRecording(f.readAll()).bytes().size();
        QVERIFY2(err.contains(QStringLiteral("recorded %1 bytes").arg(held)), qPrintable(err));
    }
}

void TestKestrelCtl::unwritableOutputEndsWithStatus1_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("fullDisk"); // else a pipe whose reader has gone
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    const QString rec = dataFile(QStringLiteral("sim-acquisition.krec"));
    const QString full = QStringLiteral("No space left on device");
    QTest::newRow("decode, full disk") << QStringList{"decode", rec} << true << 1 << full;
    QTest::newRow("decode --json, full disk")
        << QStringList{"decode", "--json", rec} << true << 1 << full;
    QTest::newRow("stats, full disk") << QStringList{"stats", rec} << true << 1 << full;
    QTest::newRow("export, full disk")
        << QStringList{"export", "--format", "gpx", rec} << true << 1 << full;
    QTest::newRow("decode, reader gone") << QStringList{"decode", rec} << false << 0 << "";
    QTest::newRow("stats, reader gone") << QStringList{"stats", rec} << false << 0 << "";
    QTest::newRow("export, reader gone")
        << QStringList{"export", "--format", "csv", rec} << false << 0 << "";
}

// Output that cannot be written is a failure, told; a reader that has read enough
// (… | head) is none.
void TestKestrelCtl::unwritableOutputEndsWithStatus1()
{
    QFETCH(QStringList, args);
    QFETCH(bool, fullDisk);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QProcess p;
    p.setProcessEnvironment(toolEnvironment(m_home.path()));
    if (fullDisk) {
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(KESTRELCTL), args);
    } else {
        p.start(QStringLiteral("bash"),
                QStringList{"-c", "\"$0\" \"$@\" | true; exit ${PIPESTATUS[0]}", KESTRELCTL} +
                    args);
    }
    QVERIFY(p.waitForFinished(30000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), exit);
    if (says.isEmpty())
        QVERIFY2(!err.contains(QLatin1String("cannot write")), qPrintable(err));
    else
        QVERIFY2(err.contains(QStringLiteral("cannot write to standard output: ") + says),
                 qPrintable(err));
}

QTEST_GUILESS_MAIN(TestKestrelCtl)
// Arguments of 20,000 characters with terminal escapes at both ends ("HOSTILE" in the
// rows): each message quotes one end of them, short and with its escapes shown.
void TestKestrelCtl::hostileArgumentsAreQuotedShortAndEscaped_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    const QString ctl = QStringLiteral(KESTRELCTL);
    const QString sim = QStringLiteral(KESTREL_SIM);
    const QString port = QStringLiteral("/dev/null");
    QTest::newRow("unknown subcommand") << ctl << QStringList{"HOSTILE"} << 64;
    QTest::newRow("unknown option") << ctl << QStringList{"decode", "--HOSTILE"} << 64;
    QTest::newRow("unexpected argument")
        << ctl << QStringList{"monitor", "--port", port, "HOSTILE"} << 64;
    QTest::newRow("time zone") << ctl << QStringList{"decode", "--time-zone", "HOSTILE", "-"} << 64;
    QTest::newRow("units") << ctl << QStringList{"decode", "--units", "HOSTILE", "-"} << 64;
    QTest::newRow("line settings")
        << ctl << QStringList{"send", "--port", port, "--settings", "HOSTILE", "reset"} << 64;
    QTest::newRow("send command") << ctl << QStringList{"send", "--port", port, "HOSTILE"} << 64;
    QTest::newRow("request type") << ctl
                                  << QStringList{"send", "--port", port, "request", "HOSTILE"}
                                  << 64;
    QTest::newRow("typed height") << ctl
                                  << QStringList{"send", "--port", port, "set-height", "HOSTILE"}
                                  << 4;
    QTest::newRow("export format")
        << ctl << QStringList{"export", "--format", "HOSTILE", "x.krec"} << 64;
    QTest::newRow("pseudo-terminal mode")
        << ctl << QStringList{"nmea", "--port", port, "--link", "x", "--mode", "HOSTILE"} << 64;
    QTest::newRow("pseudo-terminal group")
        << ctl << QStringList{"nmea", "--port", port, "--link", "x", "--group", "HOSTILE"} << 64;
    QTest::newRow("NMEA address") << ctl
                                  << QStringList{"nmea", "--port", port, "--tcp", "HOSTILE:1"}
                                  << 64;
    QTest::newRow("reference") << ctl << QStringList{"stats", "--reference", "HOSTILE", "x"} << 64;
    QTest::newRow("decode file") << ctl << QStringList{"decode", "/nonexistent/HOSTILE"} << 1;
    QTest::newRow("stats file") << ctl << QStringList{"stats", "/nonexistent/HOSTILE"} << 1;
    QTest::newRow("export file") << ctl
                                 << QStringList{"export", "--format", "gpx", "/nonexistent/HOSTILE"}
                                 << 1;
    QTest::newRow("device") << ctl << QStringList{"send", "--port", "/nonexistent/HOSTILE", "reset"}
                            << 1;
    QTest::newRow("network device")
        << ctl << QStringList{"send", "--port", "tcp://HOSTILE", "reset"} << 1;
    QTest::newRow("simulator replay file")
        << sim << QStringList{"--replay", "/nonexistent/HOSTILE"} << 2;
    QTest::newRow("simulator speed")
        << sim << QStringList{"--replay", "x", "--speed", "HOSTILE"} << 2;
    QTest::newRow("simulator unknown option") << sim << QStringList{"--HOSTILE"} << 1;
    QTest::newRow("simulator chance") << sim << QStringList{"--garbage", "HOSTILE"} << 2;
    QTest::newRow("simulator position") << sim << QStringList{"--static", "HOSTILE"} << 2;
}

void TestKestrelCtl::hostileArgumentsAreQuotedShortAndEscaped()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    const QString hostile = QStringLiteral("\x1b]0;t\x07") + QString(19'990, QLatin1Char('x')) +
                            QStringLiteral("\x1b[2J");
    args.replaceInStrings(QStringLiteral("HOSTILE"), hostile);
    QProcess p;
    p.setProcessEnvironment(toolEnvironment(m_home.path()));
    p.start(program, args);
    QVERIFY(p.waitForFinished(10000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitCode(), exit);
    QVERIFY2(err.contains(QLatin1String("\\x1b")), qPrintable(err));
    for (QChar c : err)
        QVERIFY2(c.unicode() >= 0x20 || c == QLatin1Char('\n'), qPrintable(err));
    qsizetype run = 0, longest = 0;
    for (QChar c : err)
        longest = std::max(longest, run = c == QLatin1Char('x') ? run + 1 : 0);
    QVERIFY2(longest <= 60, qPrintable(err));
}

void TestKestrelCtl::hostileFilesUnderAMemoryLimit_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("says");
    const QString ctl = QStringLiteral(KESTRELCTL), sim = QStringLiteral(KESTREL_SIM);
    const QString notRecording =
        QStringLiteral("line 1: not a Kestrel recording (it must begin with");
    const QString tooLong = QStringLiteral("line 2: the line is longer than 65536 bytes");
    const QList<QPair<const char *, QStringList>> commands{
        {"stats", {"stats"}}, {"export", {"export", "--format", "csv", "-o", "-"}}};
    for (const auto &[name, command] : commands) {
        QTest::addRow("%s, /dev/zero", name) << ctl << command << "/dev/zero" << 3 << notRecording;
        QTest::addRow("%s, 2.2 GB of holes", name)
            << ctl << command << "sparse" << 3 << notRecording;
        QTest::addRow("%s, a 60 MB line", name) << ctl << command << "hugeline" << 3 << tooLong;
    }
    QTest::newRow("decode, a 60 MB line")
        << ctl << QStringList{"decode"} << "hugeline" << 3 << tooLong;
    QTest::newRow("kestrel-sim, /dev/zero")
        << sim << QStringList{"--replay"} << "/dev/zero" << 2 << notRecording;
    QTest::newRow("kestrel-sim, 2.2 GB of holes")
        << sim << QStringList{"--replay"} << "sparse" << 2 << notRecording;
}

void TestKestrelCtl::hostileFilesUnderAMemoryLimit()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer reserves terabytes of address space: no memory limit here");
#endif
    QFETCH(QString, program);
    QFETCH(QStringList, command);
    QFETCH(QString, file);
    QFETCH(int, exit);
    QFETCH(QString, says);
    QTemporaryDir dir;
    if (file == QLatin1String("sparse")) {
        // A file of 2.2 GB that takes no room: all of it reads as zeros.
        QFile f(file = dir.filePath(QStringLiteral("holes.krec")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(qint64(2200) << 20));
    } else if (file == QLatin1String("hugeline")) {
        QFile f(file = dir.filePath(QStringLiteral("huge.krec")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("KESTREL RECORDING 1\n0 ");
        const QByteArray block(1 << 20, 'C');
        for (int i = 0; i < 60; ++i)
            f.write(block);
        f.write("\n10 B7B7920D\n");
    }
    // Under 256 MB of address space: a reader that holds a line or the file whole runs
    // out of memory and aborts instead of giving its message.
    QProcess p;
    p.setProcessEnvironment(toolEnvironment(m_home.path()));
    p.setChildProcessModifier([] {
        const rlimit limit{256u << 20, 256u << 20};
        ::setrlimit(RLIMIT_AS, &limit);
    });
    p.start(program, command + QStringList{file});
    QVERIFY(p.waitForStarted(5000));
    p.closeWriteChannel();
    // kestrel-sim plays what it could read until it is stopped.
    if (!p.waitForFinished(20000)) {
        p.kill();
        QVERIFY(p.waitForFinished(5000));
    }
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), exit);
    QVERIFY2(err.contains(says), qPrintable(err));
}

#include "tst_kestrelctl.moc"
