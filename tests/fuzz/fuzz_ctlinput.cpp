// What `kestrelctl decode` reads: a recording or hexadecimal text from a file or a
// pipe, then the bytes through the program's receive path with every window open.
#include "decoders/framedecode.h"
#include "fuzzcheck.h"
#include "link/hextext.h"
#include "recording/recording.h"

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

    const RecordingContents rec = readRecording(input);
    qint64 last = 0;
    for (const RecordedChunk &c : rec.chunks) {
        FUZZ_CHECK(c.timeMs >= last);
        last = c.timeMs;
    }
    FUZZ_CHECK(rec.damaged.named.size() <= qMin<qsizetype>(10, rec.damaged.count));
    if (rec.ok())
        decode(rec.bytes());

    const HexTextResult hex = parseHexText(QString::fromUtf8(input));
    FUZZ_CHECK(hex.ok() || hex.bytes.isEmpty() || !hex.error.isEmpty());
    if (hex.ok())
        decode(hex.bytes);
    return 0;
}
