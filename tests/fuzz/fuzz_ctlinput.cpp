// What `kestrelctl decode` reads: a recording or hexadecimal text from a file or a
// pipe, then the bytes through the program's receive path with every window open; and
// the recording as the replay holds and plays it.
#include "decoders/framedecode.h"
#include "fuzzcheck.h"
#include "link/hextext.h"
#include "recording/recording.h"
#include "recording/recordingreader.h"
#include "recording/replaypacer.h"
#include "recording/replayport.h"

#include <QBuffer>

#include <cstdint>

namespace {

void decode(const QByteArray &bytes)
{
    FrameDecoder decoder(5);
    for (const DecodedFrame &f : decoder.feed(bytes)) {
        FUZZ_CHECK(!f.logLine.isEmpty());
        frameText(f);
        frameJson(f);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));

    // Read as the tools read it, line by line; the replay holds the same bytes and
    // plays them all, in order, to the end.
    QByteArray copy = input;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    RecordingReader reader(buffer);
    QByteArray read;
    ReplayRecording replay;
    if (reader.readHeader()) {
        qint64 last = 0;
        for (auto item = reader.next(); item != RecordingReader::Item::End; item = reader.next()) {
            if (item != RecordingReader::Item::Data) {
                replay.addComment(reader.comment());
                continue;
            }
            FUZZ_CHECK(reader.timeMs() >= last && reader.timeMs() <= RecordingReader::kMaxTimeMs);
            FUZZ_CHECK(!reader.bytes().isEmpty());
            last = reader.timeMs();
            read += reader.bytes();
            replay.addLine(reader.timeMs(), reader.bytes());
        }
        replay.finish();
    }
    FUZZ_CHECK(reader.error().size() < 300);
    const DamagedLines &damaged = reader.damaged();
    FUZZ_CHECK(damaged.named.size() <= qMin<qsizetype>(10, damaged.count));
    for (const DamagedLines::Line &l : damaged.named)
        FUZZ_CHECK(l.reason.size() < 200);
    ReplayPacer pacer(replay.lines, ReplayPacer::kAsFastAsPossible);
    QByteArray played;
    while (!pacer.finished())
        played += pacer.advance(0);
    FUZZ_CHECK(played == read);
    FUZZ_CHECK(readRecording(input).bytes() == read);
    decode(read);

    const HexTextResult hex = parseHexText(QString::fromUtf8(input));
    FUZZ_CHECK(hex.ok() || hex.bytes.isEmpty() || !hex.error.isEmpty());
    if (hex.ok())
        decode(hex.bytes);
    return 0;
}
