#pragma once

#include "decoders/framedecode.h"
#include "decoders/messagevalues.h"
#include "recording/recording.h"
#include "share/nmea.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

// A recording turned into files that maps, spreadsheets and NMEA readers open. The
// bytes go through the program's own framer and dispatcher; the positions come from
// the navigation messages' values. Only messages with a 2D or 3D fix and a valid UTC
// time become track points, in every format; the rest are counted in the summary.

enum class ExportFormat { Gpx, Kml, Csv, Nmea };

// "gpx", "kml", "csv", "nmea" (any case); nothing for another name.
std::optional<ExportFormat> exportFormatNamed(const QString &name);
QString exportFormatName(ExportFormat format);
// What a file of the format ends in: ".gpx", ".kml", ".csv", ".nmea".
QString exportSuffix(ExportFormat format);

struct TrackPoint {
    NavigationMessage nav;
    QDateTime utc;
    // The frame as received and the satellites of the last satellite message before
    // it, for the NMEA sentences.
    QByteArray frame;
    QList<NmeaSatellite> satellites;
    bool haveSatellites = false;
};

struct RecordedTrack {
    // Empty when the points went to a sink as they came (see TrackBuilder::setSink).
    QList<TrackPoint> points;
    int pointCount = 0;
    int navigationMessages = 0;
    int withoutFix = 0;  // no 2D or 3D fix (fewer than three satellites, or invalid)
    int withoutTime = 0; // a fix, but a date or time no calendar has
    int offTheEarth = 0; // a fix whose latitude or longitude no place has
    int damagedFrames = 0;

    // «120 navigation messages: 98 track points, 22 without a 2D or 3D fix»
    QString summary() const;
};

// Decodes a recording's bytes in order, line by line as they are read.
class TrackBuilder {
public:
    void add(const QByteArray &bytes, qint64 timeMs);
    const RecordedTrack &track() const { return m_track; }
    // Each point to `sink` as it is decoded instead of into track().points.
    void setSink(std::function<void(const TrackPoint &)> sink) { m_sink = std::move(sink); }

private:
    RecordedTrack m_track;
    // Only the messages' values are used: no window texts, no time zone.
    FrameDecoder m_decoder{12, FrameDecoder::Texts::Skipped};
    QList<NmeaSatellite> m_satellites;
    bool m_haveSatellites = false;
    std::function<void(const TrackPoint &)> m_sink;
};

RecordedTrack trackFromChunks(const QList<RecordedChunk> &chunks);

// The file of a format piece by piece: begin(), point() for each point in order, end().
// `name` names the track inside GPX and KML.
class TrackWriter {
public:
    TrackWriter(ExportFormat format, QString name);
    QByteArray begin() const;
    QByteArray point(const TrackPoint &p);
    QByteArray end() const;

private:
    ExportFormat m_format;
    QString m_name;
    qint64 m_points = 0;
};

// The whole file of the format, from the points held.
QByteArray exportTrack(const RecordedTrack &track, ExportFormat format, const QString &name);

// The recording file in, the export file out, for the command line and the program.
struct ExportOutcome {
    enum class Status {
        Done,
        CannotRead,   // the recording could not be opened or read
        NotRecording, // the file is not a recording, or a damaged one
        CannotWrite,  // the output could not be written
        OutputClosed, // standard output is a pipe whose reader has gone (… | head)
    };
    Status status = Status::Done;
    QString error; // what went wrong, for the user
    RecordedTrack track;
    // The recording ended inside a line (interrupted while written); read up to it.
    bool cutShort = false;
    // Lines of the recording passed over; the export holds everything else.
    DamagedLines damaged;
    bool ok() const { return status == Status::Done; }
};

// Reads the recording at `recordingPath`; the export goes to `outPath`, or to
// standard output when it is "-".
// Told the bytes read so far and the file's size (-1 when not known).
using ReadProgress = std::function<void(qint64 done, qint64 total)>;
ExportOutcome exportRecordingFile(const QString &recordingPath, ExportFormat format,
                                  const QString &outPath, const ReadProgress &progress = {});
