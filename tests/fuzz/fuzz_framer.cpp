// Received bytes through the framer, the dispatcher and every decoder, with every
// data window open. The bytes are anything a noisy line can carry.
#include "decoders/condition.h"
#include "decoders/diagnosis.h"
#include "decoders/mode.h"
#include "decoders/navstatus.h"
#include "decoders/position.h"
#include "decoders/sattable.h"
#include "decoders/timestamp.h"
#include "fuzzcheck.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Every frame handed to a decoder must be one that came off the line whole:
// doubled type, its table length, checksum zero, carriage return last.
void checkGoodFrame(const Frame &f)
{
    FUZZ_CHECK(f.good && f.length >= 4 && f.length <= 50);
    FUZZ_CHECK(f.at(2) == f.type());
    FUZZ_CHECK(f.at(f.length) == 13);
    quint8 sum = 0;
    for (int i = 1; i < f.length; ++i)
        sum = quint8(sum + f.at(i));
    FUZZ_CHECK(sum == 0);
}

void checkFields(const Fields &fields)
{
    FUZZ_CHECK(!fields.isEmpty());
    for (const Field &f : fields)
        FUZZ_CHECK(!f.name.isEmpty() && f.text.size() < 400);
}

// Runs every decoder as the main window and the open windows would.
class AllDecoders {
public:
    explicit AllDecoders(GPS_Main &g) : m_g(g)
    {
        FrameDispatcher &d = g.frames();
        on(d, Msg::Satellites, [this](QByteArrayView f) { FillSatTable(m_g, f); });
        on(d, Msg::Navigation, [this](QByteArrayView f) {
            const NavStatus s = decodeNavStatus(f, m_g.TimeZoneIndex);
            checkFields(s.fields);
            FUZZ_CHECK(std::isfinite(s.headingFraction));
        });
        on(d, Msg::Navigation,
           [this](QByteArrayView f) { checkFields(positionFields(f, m_g.TimeZoneIndex)); });
        on(d, Msg::Condition, [](QByteArrayView f) { checkFields(conditionFields(f)); });
        on(d, Msg::Diagnosis, [](QByteArrayView f) { checkFields(diagnosisFields(f)); });
        on(d, Msg::Mode, [](QByteArrayView f) { checkFields(modeFields(f)); });
        on(d, Msg::TimeStamps, [](QByteArrayView f) { checkFields(timeStampFields(f)); });
        on(d, Msg::Satellites, [this](QByteArrayView f) {
            checkFields(recSatFields(f));
            for (int row = 1; row <= 8; ++row)
                for (int col = 1; col <= 5; ++col)
                    FUZZ_CHECK(std::isfinite(m_g.SatTable[std::size_t(row)][std::size_t(col)]));
        });
    }
    int frames = 0;

private:
    template <typename Decode> void on(FrameDispatcher &d, quint8 type, Decode decode)
    {
        m_subscriptions.push_back(d.subscribe(type, [this, type, decode](const Frame &f) {
            FUZZ_CHECK(f.type() == type);
            checkGoodFrame(f);
            ++frames;
            decode(f.bytes());
        }));
    }
    GPS_Main &m_g;
    std::vector<FrameDispatcher::Subscription> m_subscriptions;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte picks the time zone and how the stream is cut into reads,
    // the second which line events come between reads.
    const int zone = data[0] % 25;
    const size_t chunk = 1 + (data[0] >> 5) * 7;
    const quint8 events = data[1];
    data += 2;
    size -= 2;

    Platform platform;
    GPS_Main g(platform);
    AllDecoders sink(g);
    g.TimeZoneIndex = qint16(zone);

    static constexpr int kEvents[] = {1001, 1004, 1006, 1008, 1009, 3, 4, 5, 77};
    int turn = 0;
    for (size_t at = 0; at < size; at += chunk) {
        const size_t n = std::min(chunk, size - at);
        g.OnReceive(QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(n)));
        // A line event at most every eighth read: each one copies the whole log, and
        // more of them would spend the time there instead of in the framer.
        if (turn % 8 == 0 && (events & (1u << (turn / 8 % 8))))
            g.OnCommEvent(kEvents[(events + turn) % 9]);
        ++turn;
        FUZZ_CHECK(g.framer().position() >= 1 && g.framer().position() <= 51);
        FUZZ_CHECK(g.ErrorDis().size() <= 4096);
    }

    // Whatever came before, the line recovers: zeros (no type byte) long enough to
    // complete any frame left open, then a good frame, which must be decoded.
    g.OnReceive(QByteArray(50, '\0'));
    const int before = sink.frames;
    QByteArray probe(44, '\0');
    probe[0] = probe[1] = char(0xCA);
    probe[42] = char(quint8(-2 * 0xCA));
    probe[43] = 13;
    g.OnReceive(probe);
    FUZZ_CHECK(sink.frames == before + 2); // the main window's decoder and Position's
    FUZZ_CHECK(g.ErrorDis().startsWith(QLatin1String("CMD: CA\r\n")));
    return 0;
}
