// kestrelctl export as its users run it, its files read back by the programs people
// open them with: gpsbabel for GPX, KML and CSV, gpsd's decoder for NMEA.

#include "decoders/framedecode.h"
#include "decoders/messagevalues.h"
#include "link/messagetypes.h"
#include "recording/export.h"
#include "recording/recording.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <cmath>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

struct Point {
    QDateTime utc; // invalid where the format carries no time (KML)
    double lat = 0, lon = 0, ele = 0;
};

struct Run {
    int exit = -1;
    QByteArray out;
    QString err;
};

Run run(const QString &program, const QStringList &args, const QByteArray &input = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            QString::fromUtf8(p.readAllStandardError())};
}

QString dataFile(const QString &name)
{
    return QStringLiteral(KESTREL_TEST_DATA "/") + name;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The recording's navigation messages with a 2D or 3D fix, decoded as the windows
// decode them: what every export must hold, in order.
QList<Point> recordedFixes(const QByteArray &recording)
{
    QList<Point> out;
    FrameDecoder decoder(12);
    for (const RecordedChunk &c : readRecording(recording).chunks) {
        for (const DecodedFrame &f : decoder.feed(c.bytes)) {
            if (!f.good || quint8(f.bytes.at(0)) != Msg::Navigation)
                continue;
            const NavigationMessage m = parseNavigation(f.bytes);
            if ((m.fix != 3 && m.fix != 4) || std::fabs(m.latitudeDeg) > 90)
                continue;
            const BcdDateTime &t = m.utc;
            out.append({QDateTime(QDate(2000 + t.year, t.month, t.day),
                                  QTime(t.hour, t.minute, t.second), Qt::UTC),
                        m.latitudeDeg, m.longitudeDeg, m.heightM});
        }
    }
    return out;
}

// Track points and waypoints of gpsbabel's GPX, which keeps nine decimals.
QList<Point> gpxPoints(const QByteArray &gpx)
{
    QList<Point> out;
    QXmlStreamReader xml(gpx);
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        const QStringView name = xml.name();
        if (name == u"trkpt" || name == u"wpt" || name == u"rtept") {
            out.append({{},
                        xml.attributes().value(QLatin1String("lat")).toDouble(),
                        xml.attributes().value(QLatin1String("lon")).toDouble(),
                        0});
        } else if (name == u"ele" && !out.isEmpty()) {
            out.last().ele = xml.readElementText().toDouble();
        } else if (name == u"time" && !out.isEmpty()) {
            out.last().utc = QDateTime::fromString(xml.readElementText(), Qt::ISODate);
        }
    }
    return out;
}

QString gpsbabel()
{
    return QStandardPaths::findExecutable(QStringLiteral("gpsbabel"));
}

} // namespace

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyPointReadsBackInGpsbabel_data();
    void everyPointReadsBackInGpsbabel();
    void nmeaDecodesInGpsd();
    void recordingsWithoutFixGiveValidEmptyFiles_data();
    void recordingsWithoutFixGiveValidEmptyFiles();
    void badInputIsRefusedWithItsExitStatus_data();
    void badInputIsRefusedWithItsExitStatus();
    void specialOutputsAreWrittenIntoNotReplaced_data();
    void specialOutputsAreWrittenIntoNotReplaced();
    void pointsGoOutAsTheyComeNotHeld();
    void controlCharactersInTheNameLeaveValidXml_data();
    void controlCharactersInTheNameLeaveValidXml();

private:
    Run exportTo(const QString &format, const QString &recording, const QString &out);
    QTemporaryDir m_dir;
};

void TestExport::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // Installed from scripts/test-deps.txt: without it nothing here is checked.
    QVERIFY2(!gpsbabel().isEmpty(), "gpsbabel is not installed (scripts/test-deps.txt)");
}

Run TestExport::exportTo(const QString &format, const QString &recording, const QString &out)
{
    return run(QStringLiteral(KESTRELCTL), {QStringLiteral("export"), QStringLiteral("--format"),
                                            format, recording, QStringLiteral("-o"), out});
}

void TestExport::everyPointReadsBackInGpsbabel_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("babelFormat");
    QTest::addColumn<QString>("recording");
    QTest::addColumn<bool>("hasTime");
    // The acquisition again with its last navigation message damaged in its latitude:
    // that fix must not become a point.
    QByteArray damaged = readAll(dataFile(QStringLiteral("sim-acquisition.krec")));
    const qsizetype lastNav = damaged.lastIndexOf(" CACA");
    QVERIFY(lastNav > 0);
    // The frame goes on in the next line; its first byte there is in the latitude.
    const qsizetype next = damaged.indexOf(' ', damaged.indexOf('\n', lastNav)) + 1;
    damaged[next] = damaged[next] == '0' ? '1' : '0';
    const QString damagedPath = m_dir.filePath(QStringLiteral("damaged-fix.krec"));
    QFile f(damagedPath);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(damaged);
    f.close();
    // Fixes whose latitude field says 2330 degrees, between good ones: left out.
    const QString offTheEarth =
        dataFile(QStringLiteral("../fuzz/regressions/recordingtools/fix-off-the-earth"));
    for (const QString &rec :
         {dataFile(QStringLiteral("sim-acquisition.krec")), damagedPath, offTheEarth}) {
        QTest::newRow(qPrintable(QStringLiteral("gpx %1").arg(QFileInfo(rec).fileName())))
            << "gpx"
            << "gpx" << rec << true;
        QTest::newRow(qPrintable(QStringLiteral("kml %1").arg(QFileInfo(rec).fileName())))
            << "kml"
            << "kml" << rec << false;
        QTest::newRow(qPrintable(QStringLiteral("csv %1").arg(QFileInfo(rec).fileName())))
            << "csv"
            << "unicsv" << rec << true;
    }
}

void TestExport::everyPointReadsBackInGpsbabel()
{
    QFETCH(QString, format);
    QFETCH(QString, babelFormat);
    QFETCH(QString, recording);
    QFETCH(bool, hasTime);
    const QString out = m_dir.filePath(QStringLiteral("out.") + format);
    const Run r = exportTo(format, recording, out);
    QCOMPARE(r.exit, 0);
    QVERIFY2(r.err.contains(QStringLiteral("track points")), qPrintable(r.err));

    const Run babel =
        run(gpsbabel(), {QStringLiteral("-t"), QStringLiteral("-i"), babelFormat,
                         QStringLiteral("-f"), out, QStringLiteral("-o"), QStringLiteral("gpx"),
                         QStringLiteral("-F"), QStringLiteral("-")});
    QCOMPARE(babel.exit, 0);
    QVERIFY2(babel.err.isEmpty(), qPrintable(babel.err));
    const QList<Point> expected = recordedFixes(readAll(recording));
    const QList<Point> got = gpxPoints(babel.out);
    QVERIFY(expected.size() > 3);
    QCOMPARE(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        const QByteArray where = "point " + QByteArray::number(i);
        QVERIFY2(qAbs(got[i].lat - expected[i].lat) < 1e-7, where);
        QVERIFY2(qAbs(got[i].lon - expected[i].lon) < 1e-7, where);
        QVERIFY2(qAbs(got[i].ele - expected[i].ele) < 0.05, where);
        if (hasTime)
            QCOMPARE(got[i].utc, expected[i].utc);
    }
}

void TestExport::nmeaDecodesInGpsd()
{
    const QString gpsdecode = QStandardPaths::findExecutable(QStringLiteral("gpsdecode"));
    if (gpsdecode.isEmpty())
        QSKIP("gpsdecode is not installed (Debian's gpsd-clients); the NMEA export is not "
              "checked against gpsd");
    const QString out = m_dir.filePath(QStringLiteral("out.nmea"));
    QCOMPARE(exportTo(QStringLiteral("nmea"), dataFile(QStringLiteral("sim-acquisition.krec")), out)
                 .exit,
             0);
    const QList<Point> expected =
        recordedFixes(readAll(dataFile(QStringLiteral("sim-acquisition.krec"))));
    const Run decoded = run(gpsdecode, {}, readAll(out));
    QCOMPARE(decoded.exit, 0);
    // gpsd reports a cycle when the next one starts: the last fix may stay unreported.
    int reports = 0;
    for (const QByteArray &line : decoded.out.split('\n')) {
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        if (o.value(u"class").toString() != u"TPV")
            continue;
        ++reports;
        const QDateTime t = QDateTime::fromString(o.value(u"time").toString(), Qt::ISODateWithMs);
        const auto match = std::find_if(expected.cbegin(), expected.cend(),
                                        [&](const Point &p) { return p.utc == t; });
        QVERIFY2(match != expected.cend(), qPrintable(o.value(u"time").toString()));
        // NMEA keeps ten-thousandths of a minute: within 1e-6 degrees.
        QVERIFY(qAbs(o.value(u"lat").toDouble() - match->lat) < 1e-6);
        QVERIFY(qAbs(o.value(u"lon").toDouble() - match->lon) < 1e-6);
        QVERIFY(qAbs(o.value(u"altMSL").toDouble() - match->ele) < 0.05);
    }
    QVERIFY2(reports >= expected.size() - 1, qPrintable(QString::number(reports)));
}

void TestExport::recordingsWithoutFixGiveValidEmptyFiles_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("babelFormat");
    QTest::addColumn<QByteArray>("recording");
    // The first ten seconds of the acquisition: navigation messages, no fix yet.
    QByteArray beforeFix;
    for (const QByteArray &line :
         readAll(dataFile(QStringLiteral("sim-acquisition.krec"))).split('\n')) {
        if (line.split(' ').value(0).toLongLong() > 10000)
            break;
        beforeFix += line + '\n';
    }
    const QByteArray empty = QByteArray(Recording::kMagic) + "\n# nothing came\n";
    for (const auto &[legend, rec] : {std::pair{"empty", empty}, std::pair{"no fix", beforeFix}}) {
        QTest::newRow(qPrintable(QStringLiteral("gpx %1").arg(legend))) << "gpx"
                                                                        << "gpx" << rec;
        QTest::newRow(qPrintable(QStringLiteral("kml %1").arg(legend))) << "kml"
                                                                        << "kml" << rec;
        QTest::newRow(qPrintable(QStringLiteral("csv %1").arg(legend))) << "csv"
                                                                        << "unicsv" << rec;
        QTest::newRow(qPrintable(QStringLiteral("nmea %1").arg(legend))) << "nmea"
                                                                         << "nmea" << rec;
    }
}

void TestExport::recordingsWithoutFixGiveValidEmptyFiles()
{
    QFETCH(QString, format);
    QFETCH(QString, babelFormat);
    QFETCH(QByteArray, recording);
    const QString in = m_dir.filePath(QStringLiteral("nofix.krec"));
    QFile f(in);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(recording);
    f.close();
    const QString out = m_dir.filePath(QStringLiteral("nofix.") + format);
    QFile::remove(out);
    const Run r = exportTo(format, in, out);
    QCOMPARE(r.exit, 0);
    QVERIFY2(r.err.contains(QStringLiteral("no navigation message with a 2D or 3D fix")),
             qPrintable(r.err));
    QVERIFY(QFile::exists(out));
    const Run babel =
        run(gpsbabel(), {QStringLiteral("-t"), QStringLiteral("-i"), babelFormat,
                         QStringLiteral("-f"), out, QStringLiteral("-o"), QStringLiteral("gpx"),
                         QStringLiteral("-F"), QStringLiteral("-")});
    QCOMPARE(babel.exit, 0);
    QCOMPARE(gpxPoints(babel.out).size(), 0);
}

void TestExport::badInputIsRefusedWithItsExitStatus_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("written");
    const QString good = dataFile(QStringLiteral("sim-acquisition.krec"));
    const QString dir = m_dir.path();
    const QString notRecording = dir + QStringLiteral("/notes.txt");
    const QString damaged = dir + QStringLiteral("/damaged.krec");
    const QString unreadable = dir + QStringLiteral("/unreadable.krec");
    QFile(notRecording).open(QIODevice::WriteOnly);
    {
        QFile f(notRecording);
        f.open(QIODevice::WriteOnly);
        f.write("lat,lon\n47,8\n");
        QFile d(damaged);
        d.open(QIODevice::WriteOnly);
        d.write(QByteArray(Recording::kMagic) + "\n0 CACA\n10 ZZ\n20 CA\n");
        QFile u(unreadable);
        u.open(QIODevice::WriteOnly);
        u.write(readAll(good));
    }
    QFile::setPermissions(unreadable, QFileDevice::Permissions());
    const QString out = dir + QStringLiteral("/bad.gpx");
    const auto args = [&](const QString &format, const QString &in, const QString &o) {
        return QStringList{QStringLiteral("export"),
                           QStringLiteral("--format"),
                           format,
                           in,
                           QStringLiteral("-o"),
                           o};
    };
    QTest::newRow("no such recording")
        << args("gpx", dir + "/missing.krec", out) << 1 << "cannot read" << false;
    QTest::newRow("a folder") << args("gpx", dir, out) << 1 << "it is a folder" << false;
    if (::geteuid() != 0)
        QTest::newRow("no permission to read")
            << args("gpx", unreadable, out) << 1 << "cannot read" << false;
    QTest::newRow("not a recording")
        << args("kml", notRecording, out) << 3 << "not a Kestrel recording" << false;
    // The damaged line is skipped and named; the rest is exported, and the status says so.
    QTest::newRow("damaged recording")
        << args("csv", damaged, out) << 3 << "line 3: the bytes are not pairs" << true;
    QTest::newRow("output in a missing folder")
        << args("gpx", good, dir + "/no/such/dir/out.gpx") << 1 << "cannot write" << false;
    QTest::newRow("output is a folder") << args("gpx", good, dir) << 1 << "cannot write" << false;
    QTest::newRow("unknown format") << args("shp", good, out) << 64 << "--format wants" << false;
    QTest::newRow("no format") << QStringList{"export", good} << 64 << "--format" << false;
    QTest::newRow("no recording") << QStringList{"export", "--format", "gpx"} << 64
                                  << "which recording" << false;
    QTest::newRow("two recordings") << QStringList{"export", "--format", "gpx", good, good} << 64
                                    << "one recording at a time" << false;
    QTest::newRow("empty output name") << args("gpx", good, QString()) << 64 << "-o wants" << false;
}

void TestExport::badInputIsRefusedWithItsExitStatus()
{
    QFETCH(QStringList, args);
    QFETCH(int, exit);
    QFETCH(QString, message);
    QFETCH(bool, written);
    const QString out = m_dir.filePath(QStringLiteral("bad.gpx"));
    QFile::remove(out);
    const Run r = run(QStringLiteral(KESTRELCTL), args);
    QCOMPARE(r.exit, exit);
    QVERIFY2(r.err.startsWith(QStringLiteral("kestrelctl: ")) && r.err.contains(message),
             qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    // Nothing half-made is left where the export was to go.
    QCOMPARE(QFile::exists(out), written);
}

void TestExport::specialOutputsAreWrittenIntoNotReplaced_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << "fifo";
    QTest::newRow("symbolic link to a file") << "symlink";
    QTest::newRow("character device") << "device";
}

// Only a regular file is written aside and renamed; what else -o names is written into,
// and stays what it was.
void TestExport::specialOutputsAreWrittenIntoNotReplaced()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    const QByteArray native = QFile::encodeName(out);
    const QString good = dataFile(QStringLiteral("sim-acquisition.krec"));
    const QStringList args{QStringLiteral("export"), QStringLiteral("--format"),
                           QStringLiteral("gpx"),    good,
                           QStringLiteral("-o"),     out};
    QProcess reader;
    if (kind == QLatin1String("fifo")) {
        QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        reader.start(QStringLiteral("cat"), {out});
        QVERIFY(reader.waitForStarted());
    } else if (kind == QLatin1String("symlink")) {
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("target.gpx")), out));
    } else {
        if (::geteuid() != 0)
            QSKIP("making a device node needs root: run as root to check this row");
        // The null device's numbers, in a folder of our own: never a node under /dev.
        QCOMPARE(::mknod(native.constData(), S_IFCHR | 0600, makedev(1, 3)), 0);
    }
    const Run r = run(QStringLiteral(KESTRELCTL), args);
    QVERIFY2(r.exit == 0, qPrintable(r.err));
    struct stat st {};
    QCOMPARE(::lstat(native.constData(), &st), 0);
    if (kind == QLatin1String("fifo")) {
        QVERIFY(S_ISFIFO(st.st_mode));
        QVERIFY(reader.waitForFinished(10000));
        QVERIFY(reader.readAllStandardOutput().contains("</gpx>"));
    } else if (kind == QLatin1String("symlink")) {
        QVERIFY(S_ISLNK(st.st_mode));
        QVERIFY(readAll(dir.filePath(QStringLiteral("target.gpx"))).contains("</gpx>"));
    } else {
        QVERIFY(S_ISCHR(st.st_mode));
    }
}

// A day's recording is never held whole: each point is written as it is decoded, and
// the file is the one the points held in memory would make.
void TestExport::pointsGoOutAsTheyComeNotHeld()
{
    const QString rec = dataFile(QStringLiteral("sim-acquisition.krec"));
    const QString out = m_dir.filePath(QStringLiteral("streamed.kml"));
    const ExportOutcome outcome = exportRecordingFile(rec, ExportFormat::Kml, out);
    QVERIFY2(outcome.ok(), qPrintable(outcome.error));
    QVERIFY(outcome.track.points.isEmpty());
    const RecordedTrack held = trackFromChunks(readRecording(readAll(rec)).chunks);
    QCOMPARE(outcome.track.pointCount, held.points.size());
    QVERIFY(held.points.size() > 1);
    QCOMPARE(readAll(out), exportTrack(held, ExportFormat::Kml, QStringLiteral("sim-acquisition")));
}

void TestExport::controlCharactersInTheNameLeaveValidXml_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("gpx, escape sequence") << "gpx"
                                          << "trip\x1b[31m" << QByteArray("trip[31m");
    QTest::newRow("kml, bell and DEL") << "kml"
                                       << "a\x07"
                                          "b\x7f"
                                       << QByteArray("ab");
    QTest::newRow("gpx, markup") << "gpx"
                                 << "<b>&" << QByteArray("&lt;b&gt;&amp;");
}

// The track is named after the recording's file, whatever that name holds.
void TestExport::controlCharactersInTheNameLeaveValidXml()
{
    QFETCH(QString, format);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, name);
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (xmllint.isEmpty())
        QSKIP("xmllint is missing: apt-get install libxml2-utils");
    QTemporaryDir dir;
    const QString in = dir.filePath(fileName + QStringLiteral(".krec"));
    QVERIFY(QFile::copy(dataFile(QStringLiteral("sim-acquisition.krec")), in));
    const QString out = dir.filePath(QStringLiteral("out.") + format);
    const Run r = exportTo(format, in, out);
    QCOMPARE(r.exit, 0);
    const Run lint = run(xmllint, {QStringLiteral("--noout"), out});
    QVERIFY2(lint.exit == 0, qPrintable(lint.err));
    QVERIFY(readAll(out).contains("<name>" + name + "</name>"));
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
