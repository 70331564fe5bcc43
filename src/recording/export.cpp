#include "recording/export.h"

#include "decoders/framedecode.h"
#include "link/coordinate.h"
#include "link/messagetypes.h"
#include "platform/quotedtext.h"
#include "recording/recordingreader.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
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

QByteArray gpxPoint(const TrackPoint &p)
{
    const NavigationMessage &m = p.nav;
    // The element order is the one GPX 1.1 prescribes.
    QByteArray out = "      <trkpt lat=\"" + degrees(m.latitudeDeg) + "\" lon=\"" +
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
    return out;
}

QByteArray csvPoint(const TrackPoint &p)
{
    const NavigationMessage &m = p.nav;
    return isoTime(p.utc) + ',' + degrees(m.latitudeDeg) + ',' + degrees(m.longitudeDeg) + ',' +
           fixed(m.heightM, 1) + ',' + fixed(m.speedKmh, 2) + ',' + fixed(course(m), 2) + ',' +
           fixName(m) + ',' + QByteArray::number(m.satellitesUsed) + '\n';
}

QByteArray nmeaPoint(const TrackPoint &p)
{
    QByteArray out;
    for (const QByteArray &s :
         nmeaSentences(nmeaFixFromFrame(p.frame), p.satellites, p.haveSatellites))
        out += s;
    return out;
}

} // namespace

TrackWriter::TrackWriter(ExportFormat format, QString name)
    : m_format(format), m_name(std::move(name))
{
}

QByteArray TrackWriter::begin() const
{
    switch (m_format) {
    case ExportFormat::Gpx:
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<gpx version=\"1.1\" creator=\"Kestrel " KESTREL_VERSION "\"\n"
               "     xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
               "     xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
               "     xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1 "
               "http://www.topografix.com/GPX/1/1/gpx.xsd\">\n"
               "  <trk>\n    <name>" +
               xmlText(m_name) + "</name>\n    <trkseg>\n";
    case ExportFormat::Kml:
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n"
               "  <Document>\n    <name>" +
               xmlText(m_name) + "</name>\n";
    case ExportFormat::Csv:
        return "iso_time,lat,lon,height,speed_kmh,heading,fix,satellites\n";
    case ExportFormat::Nmea:
        return {};
    }
    return {};
}

QByteArray TrackWriter::point(const TrackPoint &p)
{
    const bool first = m_points++ == 0;
    switch (m_format) {
    case ExportFormat::Gpx:
        return gpxPoint(p);
    case ExportFormat::Kml: {
        // A LineString needs a point at least: it opens with the first.
        QByteArray out;
        if (first)
            out = "    <Placemark>\n      <name>" + xmlText(m_name) +
                  "</name>\n      <LineString>\n        <altitudeMode>absolute</altitudeMode>\n"
                  "        <coordinates>\n";
        return out + "          " + degrees(p.nav.longitudeDeg) + ',' + degrees(p.nav.latitudeDeg) +
               ',' + fixed(p.nav.heightM, 1) + '\n';
    }
    case ExportFormat::Csv:
        return csvPoint(p);
    case ExportFormat::Nmea:
        return nmeaPoint(p);
    }
    return {};
}

QByteArray TrackWriter::end() const
{
    switch (m_format) {
    case ExportFormat::Gpx:
        return "    </trkseg>\n  </trk>\n</gpx>\n";
    case ExportFormat::Kml:
        return QByteArray(m_points ? "        </coordinates>\n      </LineString>\n    "
                                     "</Placemark>\n"
                                   : "") +
               "  </Document>\n</kml>\n";
    case ExportFormat::Csv:
    case ExportFormat::Nmea:
        return {};
    }
    return {};
}

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
                       .arg(pointCount);
    if (withoutFix)
        text += QStringLiteral(", %1 without a 2D or 3D fix").arg(withoutFix);
    if (withoutTime)
        text += QStringLiteral(", %1 without a valid UTC time").arg(withoutTime);
    if (offTheEarth)
        text += QStringLiteral(", %1 off the earth").arg(offTheEarth);
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
        if (!onTheEarth(p.nav.latitudeDeg, p.nav.longitudeDeg, p.nav.heightM)) {
            ++track.offTheEarth;
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
        ++track.pointCount;
        if (m_sink)
            m_sink(p);
        else
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
    TrackWriter writer(format, name);
    QByteArray out = writer.begin();
    for (const TrackPoint &p : track.points)
        out += writer.point(p);
    return out + writer.end();
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
        return fail(
            ExportOutcome::Status::CannotRead,
            QStringLiteral("cannot read %1: %2").arg(quotedPath(recordingPath), in.errorString()));
    RecordingReader reader(in);
    if (!reader.readHeader())
        return fail(reader.error().startsWith(QLatin1String("line 1:"))
                        ? ExportOutcome::Status::NotRecording
                        : ExportOutcome::Status::CannotRead,
                    QStringLiteral("%1: %2").arg(quotedPath(recordingPath), reader.error()));
    // The output is opened once the input is known to be a recording, and each point
    // goes out as it is decoded: a day's recording is never held whole.
    std::unique_ptr<QFileDevice> file;
    if (outPath == QLatin1String("-")) {
        auto out = std::make_unique<QFile>();
        if (!out->open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered))
            return fail(
                ExportOutcome::Status::CannotWrite,
                QStringLiteral("cannot write to standard output: %1").arg(out->errorString()));
        file = std::move(out);
    } else {
        // A FIFO, a device or a terminal is written into as it is: replacing it with a
        // file would destroy what belongs to someone else. Symbolic links are followed.
        const QByteArray native = QFile::encodeName(outPath);
        struct stat st {};
        if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            file = std::make_unique<QFile>(outPath);
        else
            // A file is written aside and renamed at the end: a failed export leaves no
            // half file, and an old file of the same name stays until the new one is whole.
            file = std::make_unique<QSaveFile>(outPath);
        if (!file->open(QIODevice::WriteOnly))
            return fail(ExportOutcome::Status::CannotWrite,
                        QStringLiteral("cannot write %1: %2")
                            .arg(quotedPath(outPath), file->errorString()));
    }
    bool written = true;
    int writeErrno = 0;
    const auto put = [&](const QByteArray &bytes) {
        if (!written || bytes.isEmpty())
            return;
        errno = 0;
        written = file->write(bytes) == bytes.size();
        if (!written)
            writeErrno = errno;
    };
    TrackWriter writer(format, QFileInfo(recordingPath).completeBaseName());
    put(writer.begin());
    TrackBuilder builder;
    builder.setSink([&](const TrackPoint &p) { put(writer.point(p)); });
    for (auto item = reader.next(); item != RecordingReader::Item::End && written;
         item = reader.next()) {
        if (item == RecordingReader::Item::Data)
            builder.add(reader.bytes(), reader.timeMs());
        if (progress)
            progress(reader.bytesRead(), in.size());
    }
    const auto discard = [&] {
        if (auto *save = qobject_cast<QSaveFile *>(file.get()))
            save->cancelWriting();
    };
    if (!reader.error().isEmpty()) {
        discard();
        return fail(
            ExportOutcome::Status::CannotRead,
            QStringLiteral("cannot read %1: %2").arg(quotedPath(recordingPath), in.errorString()));
    }
    put(writer.end());
    if (written) {
        errno = 0;
        if (auto *save = qobject_cast<QSaveFile *>(file.get()))
            written = save->commit();
        else
            written = file->flush();
        if (!written)
            writeErrno = errno;
    }
    if (!written) {
        discard();
        if (writeErrno == EPIPE)
            return fail(ExportOutcome::Status::OutputClosed, {});
        const QString why =
            writeErrno ? QString::fromLocal8Bit(std::strerror(writeErrno)) : file->errorString();
        return fail(ExportOutcome::Status::CannotWrite,
                    outPath == QLatin1String("-")
                        ? QStringLiteral("cannot write to standard output: %1").arg(why)
                        : QStringLiteral("cannot write %1: %2").arg(quotedPath(outPath), why));
    }
    outcome.cutShort = reader.cutShort();
    outcome.damaged = reader.damaged();
    outcome.track = builder.track();
    return outcome;
}
