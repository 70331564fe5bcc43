// What export, stats and record make of a recording: every export format of what it
// holds is well formed, the figures of its fixes are numbers, the recording written
// again reads back the same, and the replay sought anywhere plays what lies after.
#include "decoders/framedecode.h"
#include "fuzzcheck.h"
#include "quality/fixstatistics.h"
#include "recording/export.h"
#include "recording/recording.h"
#include "recording/recordingreader.h"
#include "recording/replaypacer.h"

#include <QBuffer>
#include <QXmlStreamReader>

#include <cmath>
#include <cstdint>

namespace {

bool wellFormedXml(const QByteArray &document)
{
    QXmlStreamReader xml(document);
    while (!xml.atEnd())
        xml.readNext();
    return !xml.hasError();
}

// Every sentence is "$...*HH" with the checksum of what lies between.
bool checkedSentences(const QByteArray &nmea)
{
    for (const QByteArray &line : nmea.split('\n')) {
        const QByteArray s = line.trimmed();
        if (s.isEmpty())
            continue;
        const qsizetype star = s.lastIndexOf('*');
        if (!s.startsWith('$') || star < 1 || star + 3 != s.size())
            return false;
        quint8 sum = 0;
        for (qsizetype i = 1; i < star; ++i)
            sum ^= quint8(s[i]);
        if (s.mid(star + 1).toUpper() !=
            QByteArray::number(sum, 16).rightJustified(2, '0').toUpper())
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    RecordingReader reader(in);
    if (!reader.readHeader())
        return 0;

    QByteArray again;
    QBuffer out(&again);
    out.open(QIODevice::WriteOnly);
    RecordingWriter writer(out);
    FUZZ_CHECK(writer.writeHeader({QStringLiteral("written again")}));
    TrackBuilder track;
    ReceiverQuality quality;
    FrameDecoder decoder(12, FrameDecoder::Texts::Skipped);
    ReplayLines lines;
    QByteArray read;
    bool started = false;
    for (auto item = reader.next(); item != RecordingReader::Item::End; item = reader.next()) {
        if (item != RecordingReader::Item::Data)
            continue;
        const qint64 ms = reader.timeMs();
        const QByteArray &bytes = reader.bytes();
        FUZZ_CHECK(writer.writeChunk(ms, bytes));
        track.add(bytes, ms);
        if (!started) {
            quality.start(ms, TtffStart::RecordingStart);
            started = true;
        }
        for (const DecodedFrame &f : decoder.feed(bytes, ms))
            if (f.good && !f.bytes.isEmpty())
                quality.frame(f.bytes, ms);
        lines.append(ms, bytes);
        read += bytes;
    }

    // Written again, it reads back whole: the same bytes, nothing damaged.
    const RecordingContents back = readRecording(again);
    FUZZ_CHECK(back.ok() && back.damaged.isEmpty() && !back.cutShort);
    FUZZ_CHECK(back.bytes() == read);

    // Every format, whatever the fixes hold; the name holds what XML cannot carry.
    const RecordedTrack &t = track.track();
    const QString name = QStringLiteral("trip\x1b[0m<&>\x01");
    FUZZ_CHECK(wellFormedXml(exportTrack(t, ExportFormat::Gpx, name)));
    FUZZ_CHECK(wellFormedXml(exportTrack(t, ExportFormat::Kml, name)));
    FUZZ_CHECK(exportTrack(t, ExportFormat::Csv, name).count('\n') == t.points.size() + 1);
    FUZZ_CHECK(checkedSentences(exportTrack(t, ExportFormat::Nmea, name)));

    // The figures kestrelctl stats prints are numbers.
    PositionStatistics positions;
    for (const TrackPoint &p : t.points)
        if (p.nav.fix == 4)
            positions.add(p.nav.latitudeDeg, p.nav.longitudeDeg, p.nav.heightM);
    const PositionSummary &s = positions.summary();
    for (const double v : {s.meanLatitudeDeg, s.meanLongitudeDeg, s.meanHeightM, s.heightStdM,
                           s.cep50M, s.drms2M, s.r95M, s.farthestM})
        FUZZ_CHECK(std::isfinite(v));

    // Sought to a point chosen by the input, the replay plays every line from there on.
    if (!lines.isEmpty()) {
        ReplayPacer pacer(lines, ReplayPacer::kAsFastAsPossible);
        const qint64 duration = pacer.durationMs();
        FUZZ_CHECK(duration >= 0);
        pacer.seek(duration > 0 ? qint64(size * 7919) % (duration + 1) : 0);
        FUZZ_CHECK(pacer.positionMs() >= 0 && pacer.positionMs() <= duration);
        const qsizetype from = pacer.nextLine();
        QByteArray played;
        while (!pacer.finished())
            played += pacer.advance(0);
        FUZZ_CHECK(played == lines.bytes(from, lines.size()));
    }
    return 0;
}
