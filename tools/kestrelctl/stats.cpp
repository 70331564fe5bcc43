// stats: how good the receiver was in a recording: fixes by kind, time to first fix and
// the accuracy figures of the 3D fixes, computed by the core the windows use.

#include "cli.h"
#include "commands.h"

#include "decoders/framedecode.h"
#include "decoders/messagevalues.h"
#include "link/messagetypes.h"
#include "quality/clockoffset.h"
#include "quality/fixstatistics.h"
#include "quality/reference.h"
#include "quality/satellitelevels.h"
#include "recording/recording.h"
#include "recording/recordingreader.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

QJsonValue secondsValue(const std::optional<qint64> &ms)
{
    return ms ? QJsonValue(double(*ms) / 1000.0) : QJsonValue(QJsonValue::Null);
}

QString secondsLine(const std::optional<qint64> &ms, bool atStart)
{
    // A receiver that had its fix before the run began has no time to it.
    if (atStart)
        return QStringLiteral("fix at start");
    return ms ? QStringLiteral("%1 s").arg(double(*ms) / 1000.0, 0, 'f', 3)
              : QStringLiteral("none");
}

// The figures about the reference point, by the names both the text and the JSON use.
QList<QPair<QString, double>> referenceFigures(const ReferenceSummary &r)
{
    QList<QPair<QString, double>> f = {{QStringLiteral("bias_east_m"), r.biasEastM},
                                       {QStringLiteral("bias_north_m"), r.biasNorthM}};
    if (r.hasVertical)
        f.append({QStringLiteral("bias_up_m"), r.biasUpM});
    f.append({QStringLiteral("horizontal_rms_m"), r.horizontalRmsM});
    if (r.hasVertical)
        f.append({QStringLiteral("vertical_rms_m"), r.verticalRmsM});
    f.append({QStringLiteral("cep50_m"), r.cep50M});
    f.append({QStringLiteral("r95_m"), r.r95M});
    return f;
}

QJsonObject referenceJson(const ReferencePoint &point, const ReferenceSummary &r)
{
    QJsonObject o{{QStringLiteral("latitude_deg"), point.latitudeDeg},
                  {QStringLiteral("longitude_deg"), point.longitudeDeg},
                  {QStringLiteral("fixes_3d_used"), double(r.count)}};
    if (point.heightM)
        o[QStringLiteral("height_m")] = *point.heightM;
    if (r.count > 0)
        for (const auto &[name, value] : referenceFigures(r))
            o[name] = value;
    return o;
}

QString referenceText(const ReferencePoint &point, const ReferenceSummary &r)
{
    QString t = QStringLiteral("about the reference %1:\n").arg(referencePointText(point));
    if (r.count == 0)
        return t + QStringLiteral("no 3D fix: no reference figures\n");
    for (const auto &[name, value] : referenceFigures(r))
        t += QStringLiteral("%1: %2\n").arg(name).arg(value, 0, 'f', 3);
    return t;
}

QJsonArray satellitesJson(const std::vector<SatelliteSummary> &sats)
{
    QJsonArray a;
    for (const SatelliteSummary &s : sats)
        a.append(QJsonObject{{QStringLiteral("number"), s.number},
                             {QStringLiteral("mean_level_db"), s.meanLevelDb},
                             {QStringLiteral("tracked_s"), double(s.trackedMs) / 1000.0},
                             {QStringLiteral("messages"), double(s.samples)}});
    return a;
}

QString satellitesText(const std::vector<SatelliteSummary> &sats)
{
    if (sats.empty())
        return QStringLiteral("no satellite tracked\n");
    QString t = QStringLiteral("satellite  mean level  tracked  messages\n");
    for (const SatelliteSummary &s : sats)
        t += QStringLiteral("%1  %2 dB  %3 s  %4\n")
                 .arg(s.number, 9)
                 .arg(s.meanLevelDb, 7, 'f', 1)
                 .arg(double(s.trackedMs) / 1000.0, 7, 'f', 1)
                 .arg(s.samples, 8);
    return t;
}

void addClockOffsetJson(QJsonObject &o, const OffsetSummary &c)
{
    o[QStringLiteral("clock_offsets")] = double(c.count);
    o[QStringLiteral("clock_offset_median_s")] =
        c.count > 0 ? QJsonValue(c.medianS) : QJsonValue(QJsonValue::Null);
    o[QStringLiteral("clock_offset_spread_s")] =
        c.count > 0 ? QJsonValue(c.spreadS) : QJsonValue(QJsonValue::Null);
}

QString clockOffsetLines(const OffsetSummary &c)
{
    if (c.count == 0)
        return QStringLiteral("clock offset: none (no dated navigation message, or the recording "
                              "does not say when it started)\n");
    return QStringLiteral("clock offset (receiver UTC - computer UTC at the first byte) over %1 "
                          "navigation messages:\nclock offset median: %2 s\nclock offset spread "
                          "(5th to 95th percentile): %3 s\n")
        .arg(c.count)
        .arg(c.medianS, 0, 'f', 3)
        .arg(c.spreadS, 0, 'f', 3);
}

} // namespace

int runStats(const QStringList &args)
{
    SubcommandParser sp(
        QStringLiteral("stats"), QStringLiteral("RECORDING"),
        QStringLiteral(
            "Prints how good the receiver was in a recording (kestrelctl record): the\n"
            "navigation messages, the fixes by kind, the time to the first 2D and 3D fix\n"
            "from the recording's first byte, and over the 3D fixes the mean position,\n"
            "CEP50, 2DRMS, R95 and the height's mean and standard deviation; each\n"
            "satellite's mean level and time tracked; with --reference the 3D fixes'\n"
            "bias, RMS, CEP50 and R95 about that point. The definitions are in\n"
            "kestrelctl(1)."));
    QCommandLineParser &p = sp.parser();
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("One JSON object instead of text."));
    p.addOption(json);
    const QCommandLineOption referenceOption(
        QStringLiteral("reference"),
        QStringLiteral("Also measure the 3D fixes against this surveyed point: decimal degrees "
                       "and, for the up figures, metres above the ellipsoid."),
        QStringLiteral("LAT,LON[,H]"));
    p.addOption(referenceOption);
    p.addPositionalArgument(QStringLiteral("RECORDING"), QStringLiteral("The recording."));
    if (const auto status = sp.parse(args))
        return *status;
    const QStringList files = p.positionalArguments();
    if (files.size() != 1)
        return usageError(QStringLiteral("stats"), QStringLiteral("one recording, please"));
    ReferenceStatistics aboutReference;
    if (p.isSet(referenceOption)) {
        QString error;
        const std::optional<ReferencePoint> point =
            parseReferenceOption(p.value(referenceOption), error);
        if (!point)
            return usageError(QStringLiteral("stats"), error);
        aboutReference.setReference(point);
    }
    SatelliteTracking satellites;

    const QString name = files.first();
    const QString shown = quotedPath(name);
    RecordingInput in;
    if (!in.open(name)) {
        complain(QStringLiteral("cannot read %1: %2").arg(shown, in.errorString()));
        return Exit::Failed;
    }
    RecordingReader reader(in);
    if (!reader.readHeader()) {
        complain(QStringLiteral("%1 is not a recording (kestrelctl record makes them): %2")
                     .arg(shown, reader.error()));
        return Exit::BadInput;
    }

    // The program's own receive loop frames the bytes; the core counts and measures.
    FrameDecoder decoder(12, FrameDecoder::Texts::Skipped);
    ReceiverQuality quality;
    PositionStatistics positions;
    ProgressLine progress(name, in.size());
    ClockOffsets offsets(ClockOffsets::Keep::All);
    // The computer's UTC at the recording's time 0, from its «started:» comment.
    qint64 startUtc = -1;
    bool started = false;
    for (auto item = reader.next(); item != RecordingReader::Item::End; item = reader.next()) {
        progress.update(reader.bytesRead());
        if (item == RecordingReader::Item::Comment && startUtc < 0)
            startUtc = recordingStartedUtcMs(reader.comment());
        if (item != RecordingReader::Item::Data)
            continue;
        const qint64 ms = reader.timeMs();
        if (!started) {
            quality.start(ms, TtffStart::RecordingStart);
            started = true;
        }
        for (const DecodedFrame &f :
             decoder.feed(reader.bytes(), ms, startUtc < 0 ? -1 : startUtc + ms)) {
            if (!f.good || f.bytes.isEmpty())
                continue;
            quality.frame(f.bytes, ms);
            if (quint8(f.bytes[0]) == Msg::Navigation) {
                offsets.add(f.bytes, ms, f.arrivedUtcMs);
                const NavigationMessage m = parseNavigation(f.bytes);
                if (m.fix == 4) {
                    positions.add(m.latitudeDeg, m.longitudeDeg, m.heightM);
                    aboutReference.add(ms, m.latitudeDeg, m.longitudeDeg, m.heightM);
                }
            } else if (quint8(f.bytes[0]) == Msg::Satellites && !quality.history.levels().empty()) {
                satellites.add(quality.history.levels().back());
            }
        }
    }
    if (!started)
        quality.start(0, TtffStart::RecordingStart);
    if (!reader.error().isEmpty()) {
        complain(QStringLiteral("cannot read %1: %2").arg(shown, in.errorString()));
        return Exit::Failed;
    }
    if (reader.cutShort())
        complain(QStringLiteral("%1 ends in an incomplete line (the recording was interrupted); "
                                "counting up to it")
                     .arg(shown));
    const DamagedLines damagedLines = reader.damaged();

    const FixCounts &n = quality.counts;
    const TtffRun &first = quality.ttff.runs().front();
    const PositionSummary &s = positions.summary();
    const OffsetSummary clock = offsets.summary();
    QByteArray out;
    if (p.isSet(json)) {
        QJsonObject o;
        o[QStringLiteral("navigation_messages")] = double(n.navigation);
        o[QStringLiteral("fixes")] = QJsonObject{{QStringLiteral("none"), double(n.none)},
                                                 {QStringLiteral("2d"), double(n.twoD)},
                                                 {QStringLiteral("3d"), double(n.threeD)},
                                                 {QStringLiteral("invalid"), double(n.invalid)}};
        o[QStringLiteral("ttff_2d_s")] = secondsValue(first.to2DMs);
        o[QStringLiteral("ttff_3d_s")] = secondsValue(first.to3DMs);
        o[QStringLiteral("fix_at_start")] = first.fixAtStart;
        QJsonArray runs;
        for (const TtffRun &r : quality.ttff.runs())
            runs.append(QJsonObject{{QStringLiteral("start"), ttffStartText(r.cause)},
                                    {QStringLiteral("start_s"), double(r.startMs) / 1000.0},
                                    {QStringLiteral("ttff_2d_s"), secondsValue(r.to2DMs)},
                                    {QStringLiteral("ttff_3d_s"), secondsValue(r.to3DMs)},
                                    {QStringLiteral("fix_at_start"), r.fixAtStart}});
        o[QStringLiteral("runs")] = runs;
        o[QStringLiteral("fixes_3d_used")] = double(s.count);
        o[QStringLiteral("fixes_3d_off_the_earth")] = double(positions.offTheEarth());
        if (s.count > 0) {
            o[QStringLiteral("mean_latitude_deg")] = s.meanLatitudeDeg;
            o[QStringLiteral("mean_longitude_deg")] = s.meanLongitudeDeg;
            o[QStringLiteral("mean_height_m")] = s.meanHeightM;
            o[QStringLiteral("height_std_m")] = s.heightStdM;
            o[QStringLiteral("cep50_m")] = s.cep50M;
            o[QStringLiteral("drms2_m")] = s.drms2M;
            o[QStringLiteral("r95_m")] = s.r95M;
        }
        o[QStringLiteral("satellites")] = satellitesJson(satellites.summaries());
        if (aboutReference.reference())
            o[QStringLiteral("reference")] =
                referenceJson(*aboutReference.reference(), aboutReference.summary());
        addClockOffsetJson(o, clock);
        out = QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
    } else {
        QString t;
        t += QStringLiteral("navigation messages: %1\n").arg(n.navigation);
        t += QStringLiteral("no fix: %1\n2D fixes: %2\n3D fixes: %3\ninvalid: %4\n")
                 .arg(n.none)
                 .arg(n.twoD)
                 .arg(n.threeD)
                 .arg(n.invalid);
        t += QStringLiteral("time to first 2D fix: %1\n")
                 .arg(secondsLine(first.to2DMs, first.fixAtStart));
        t += QStringLiteral("time to first 3D fix: %1\n")
                 .arg(secondsLine(first.to3DMs, first.threeDAtStart));
        for (std::size_t i = 1; i < quality.ttff.runs().size(); ++i) {
            const TtffRun &r = quality.ttff.runs()[i];
            t += QStringLiteral("after %1 at %2 s: 2D %3, 3D %4\n")
                     .arg(ttffStartText(r.cause))
                     .arg(double(r.startMs) / 1000.0, 0, 'f', 3)
                     .arg(secondsLine(r.to2DMs, r.fixAtStart),
                          secondsLine(r.to3DMs, r.threeDAtStart));
        }
        if (positions.offTheEarth() > 0)
            t += QStringLiteral("3D fixes off the earth (latitude beyond 90 deg or longitude "
                                "beyond 180 deg), left out: %1\n")
                     .arg(positions.offTheEarth());
        if (s.count == 0) {
            t += QStringLiteral("no 3D fix: no position figures\n");
        } else {
            t += QStringLiteral("over %1 3D fixes:\n").arg(s.count);
            t += QStringLiteral("mean latitude: %1 deg\n").arg(s.meanLatitudeDeg, 0, 'f', 7);
            t += QStringLiteral("mean longitude: %1 deg\n").arg(s.meanLongitudeDeg, 0, 'f', 7);
            t += QStringLiteral("mean height: %1 m\n").arg(s.meanHeightM, 0, 'f', 2);
            t += QStringLiteral("height std dev: %1 m\n").arg(s.heightStdM, 0, 'f', 3);
            t += QStringLiteral("CEP50: %1 m\n").arg(s.cep50M, 0, 'f', 3);
            t += QStringLiteral("2DRMS: %1 m\n").arg(s.drms2M, 0, 'f', 3);
            t += QStringLiteral("R95: %1 m\n").arg(s.r95M, 0, 'f', 3);
        }
        t += satellitesText(satellites.summaries());
        if (aboutReference.reference())
            t += referenceText(*aboutReference.reference(), aboutReference.summary());
        t += clockOffsetLines(clock);
        out = t.toUtf8();
    }
    StandardOutput standardOutput;
    standardOutput.write(out);
    return standardOutput.finish(reportDamagedLines(name, damagedLines));
}
