#include "recording/export.h"

#include "decoders/framedecode.h"
#include "link/messagetypes.h"
#include "recording/recordingreader.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

// A raw coordinate step is 1/9216 of a minute, about 1.8e-6 degrees; nine decimals
// keep every one of them exactly enough for any reader.
QByteArray degrees(double v)
{
    return QByteArray::number(v, 'f', 9);
}

QByteArray fixed(double v, int decimals)
{
    return QByteArray::number(v, 'f', decimals);
}

// The windows show a heading as it comes, negative ones included; files want 0..360.
double course(const NavigationMessage &m)
{
    return std::fmod(m.headingDeg + 360.0, 360.0);
}

QByteArray fixName(const NavigationMessage &m)
{
    return m.fix == 4 ? "3d" : "2d";
}

QByteArray isoTime(const QDateTime &utc)
{
    return utc.toString(Qt::ISODate).toLatin1();
}

// XML 1.0 has no way to write control characters (a file name may hold them): they
// are left out, so that every reader takes the file.
QByteArray xmlText(const QString &s)
{
    QString kept;
    kept.reserve(s.size());
    for (const QChar c : s)
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F && c.unicode() != 0xFFFE &&
            c.unicode() != 0xFFFF)
            kept += c;
    return kept.toHtmlEscaped().toUtf8();
}

QByteArray gpx(const RecordedTrack &track, const QString &name)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<gpx version=\"1.1\" creator=\"Kestrel " KESTREL_VERSION "\"\n"
                     "     xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
                     "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
                     "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
                     "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n";
    out += "  <trk>\n    <name>" + xmlText(name) + "</name>\n    <trkseg>\n";
    for (const TrackPoint &p : track.points) {
        const NavigationMessage &m = p.nav;
        // The element order is the one GPX 1.1 prescribes.
        out += "      <trkpt lat=\"" + degrees(m.latitudeDeg) + "\" lon=\"" +
               degrees(m.longitudeDeg) + "\">\n";
        out += "        <ele>" + fixed(m.heightM, 1) + "</ele>\n";
        out += "        <time>" + isoTime(p.utc) + "</time>\n";
        out += "        <fix>" + fixName(m) + "</fix>\n";
        out += "        <sat>" + QByteArray::number(m.satellitesUsed) + "</sat>\n";
        // A dilution of 0 is the receiver saying it has none (VDOP without a 3D fix).
        if (m.hdop > 0)
            out += "        <hdop>" + fixed(m.hdop, 1) + "</hdop>\n";
        if (m.vdop > 0)
            out += "        <vdop>" + fixed(m.vdop, 1) + "</vdop>\n";
        out += "      </trkpt>\n";
    }
    out += "    </trkseg>\n  </trk>\n</gpx>\n";
    return out;
}

QByteArray kml(const RecordedTrack &track, const QString &name)
{
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
                     "  <Document>\n    <name>" +
                     xmlText(name) + "</name>\n";
    // A LineString needs two points at least; with none there is only the document.
    if (!track.points.isEmpty()) {
        out += "    <Placemark>\n      <name>" + xmlText(name) +
               "</name>\n      <LineString>\n        <altitudeMode>absolute</altitudeMode>\n"
               "        <coordinates>\n";
        for (const TrackPoint &p : track.points)
            out += "          " + degrees(p.nav.longitudeDeg) + ',' + degrees(p.nav.latitudeDeg) +
                   ',' + fixed(p.nav.heightM, 1) + '\n';
        out += "        </coordinates>\n      </LineString>\n    </Placemark>\n";
    }
    out += "  </Document>\n</kml>\n";
    return out;
}

QByteArray csv(const RecordedTrack &track)
{
    QByteArray out = "iso_time,lat,lon,height,speed_kmh,heading,fix,satellites\n";
    for (const TrackPoint &p : track.points) {
        const NavigationMessage &m = p.nav;
        out += isoTime(p.utc) + ',' + degrees(m.latitudeDeg) + ',' + degrees(m.longitudeDeg) + ',' +
               fixed(m.heightM, 1) + ',' + fixed(m.speedKmh, 2) + ',' + fixed(course(m), 2) + ',' +
               fixName(m) + ',' + QByteArray::number(m.satellitesUsed) + '\n';
    }
    return out;
}

QByteArray nmea(const RecordedTrack &track)
{
    QByteArray out;
    for (const TrackPoint &p : track.points)
        for (const QByteArray &s :
             nmeaSentences(nmeaFixFromFrame(p.frame), p.satellites, p.haveSatellites))
            out += s;
    return out;
}

} // namespace

std::optional<ExportFormat> exportFormatNamed(const QString &name)
{
    for (ExportFormat f :
         {ExportFormat::Gpx, ExportFormat::Kml, ExportFormat::Csv, ExportFormat::Nmea})
        if (name.compare(exportFormatName(f), Qt::CaseInsensitive) == 0)
            return f;
    return std::nullopt;
}

QString exportFormatName(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Gpx:
        return QStringLiteral("gpx");
    case ExportFormat::Kml:
        return QStringLiteral("kml");
    case ExportFormat::Csv:
        return QStringLiteral("csv");
    case ExportFormat::Nmea:
        return QStringLiteral("nmea");
    }
    return {};
}

QString exportSuffix(ExportFormat format)
{
    return QLatin1Char('.') + exportFormatName(format);
}

QString RecordedTrack::summary() const
{
    QString text = QStringLiteral("%1 navigation messages: %2 track points")
                       .arg(navigationMessages)
                       .arg(points.size());
    if (withoutFix)
        text += QStringLiteral(", %1 without a 2D or 3D fix").arg(withoutFix);
    if (withoutTime)
        text += QStringLiteral(", %1 without a valid UTC time").arg(withoutTime);
    if (damagedFrames)
        text += QStringLiteral("; %1 damaged frames").arg(damagedFrames);
    return text;
}

void TrackBuilder::add(const QByteArray &bytes, qint64 timeMs)
{
    RecordedTrack &track = m_track;
    QList<NmeaSatellite> &satellites = m_satellites;
    bool &haveSatellites = m_haveSatellites;
    for (const DecodedFrame &f : m_decoder.feed(bytes, timeMs)) {
        if (f.bytes.isEmpty())
            continue;
        if (!f.good) {
            ++track.damagedFrames;
            continue;
        }
        const quint8 type = quint8(f.bytes.at(0));
        if (type == Msg::Satellites) {
            satellites = nmeaSatellitesFromFrame(f.bytes);
            haveSatellites = true;
            continue;
        }
        if (type != Msg::Navigation)
            continue;
        ++track.navigationMessages;
        TrackPoint p;
        p.nav = parseNavigation(f.bytes);
        if (p.nav.fix != 3 && p.nav.fix != 4) {
            ++track.withoutFix;
            continue;
        }
        const BcdDateTime &t = p.nav.utc;
        const QDate date(2000 + t.year, t.month, t.day);
        const QTime time(t.hour, t.minute, t.second);
        if (!date.isValid() || !time.isValid()) {
            ++track.withoutTime;
            continue;
        }
        p.utc = QDateTime(date, time, Qt::UTC);
        p.frame = f.bytes;
        p.satellites = satellites;
        p.haveSatellites = haveSatellites;
        track.points.append(p);
    }
}

RecordedTrack trackFromChunks(const QList<RecordedChunk> &chunks)
{
    TrackBuilder builder;
    for (const RecordedChunk &c : chunks)
        builder.add(c.bytes, c.timeMs);
    return builder.track();
}

QByteArray exportTrack(const RecordedTrack &track, ExportFormat format, const QString &name)
{
    switch (format) {
    case ExportFormat::Gpx:
        return gpx(track, name);
    case ExportFormat::Kml:
        return kml(track, name);
    case ExportFormat::Csv:
        return csv(track);
    case ExportFormat::Nmea:
        return nmea(track);
    }
    return {};
}

ExportOutcome exportRecordingFile(const QString &recordingPath, ExportFormat format,
                                  const QString &outPath, const ReadProgress &progress)
{
    ExportOutcome outcome;
    const auto fail = [&](ExportOutcome::Status status, const QString &error) {
        outcome.status = status;
        outcome.error = error;
        return outcome;
    };
    RecordingInput in;
    if (!in.open(recordingPath))
        return fail(ExportOutcome::Status::CannotRead,
                    QStringLiteral("cannot read %1: %2").arg(recordingPath, in.errorString()));
    RecordingReader reader(in);
    if (!reader.readHeader())
        return fail(reader.error().startsWith(QLatin1String("line 1:"))
                        ? ExportOutcome::Status::NotRecording
                        : ExportOutcome::Status::CannotRead,
                    QStringLiteral("%1: %2").arg(recordingPath, reader.error()));
    TrackBuilder builder;
    for (auto item = reader.next(); item != RecordingReader::Item::End; item = reader.next()) {
        if (item == RecordingReader::Item::Data)
            builder.add(reader.bytes(), reader.timeMs());
        if (progress)
            progress(reader.bytesRead(), in.size());
    }
    if (!reader.error().isEmpty())
        return fail(ExportOutcome::Status::CannotRead,
                    QStringLiteral("cannot read %1: %2").arg(recordingPath, in.errorString()));
    outcome.cutShort = reader.cutShort();
    outcome.damaged = reader.damaged();
    outcome.track = builder.track();
    const QByteArray out =
        exportTrack(outcome.track, format, QFileInfo(recordingPath).completeBaseName());

    if (outPath == QLatin1String("-")) {
        if (std::fwrite(out.constData(), 1, size_t(out.size()), stdout) != size_t(out.size()) ||
            std::fflush(stdout) != 0) {
            if (errno == EPIPE)
                return fail(ExportOutcome::Status::OutputClosed, {});
            return fail(ExportOutcome::Status::CannotWrite,
                        QStringLiteral("cannot write to standard output: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
        }
        return outcome;
    }
    // A FIFO, a device or a terminal is written into as it is: replacing it with a
    // file would destroy what belongs to someone else. Symbolic links are followed.
    const QByteArray native = QFile::encodeName(outPath);
    struct stat st {};
    if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        QFile special(outPath);
        if (!special.open(QIODevice::WriteOnly | QIODevice::Unbuffered) ||
            special.write(out) != out.size())
            return fail(ExportOutcome::Status::CannotWrite,
                        QStringLiteral("cannot write %1: %2").arg(outPath, special.errorString()));
        return outcome;
    }
    // A file is written aside and renamed at the end: a failed export leaves no half
    // file, and an old file of the same name stays until the new one is whole.
    QSaveFile file(outPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit())
        return fail(ExportOutcome::Status::CannotWrite,
                    QStringLiteral("cannot write %1: %2").arg(outPath, file.errorString()));
    return outcome;
}
