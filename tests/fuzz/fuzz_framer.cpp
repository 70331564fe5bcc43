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

#include <cmath>
#include <cstdint>

namespace {

// Every frame handed to a decoder must be one that came off the line whole:
// doubled type, its table length, checksum zero, carriage return last.
void checkGoodFrame(const GPS_Main &g)
{
    FUZZ_CHECK(g.MsgLength >= 4 && g.MsgLength <= 50);
    FUZZ_CHECK(g.RxBuffer[1] == g.MsgType && g.RxBuffer[2] == g.MsgType);
    FUZZ_CHECK(g.RxBuffer[std::size_t(g.MsgLength)] == 13);
    quint8 sum = 0;
    for (int i = 1; i < g.MsgLength; ++i)
        sum = quint8(sum + g.RxBuffer[std::size_t(i)]);
    FUZZ_CHECK(sum == 0);
}

void checkFields(const Fields &fields)
{
    FUZZ_CHECK(!fields.isEmpty());
    for (const Field &f : fields)
        FUZZ_CHECK(!f.name.isEmpty() && f.text.size() < 400);
}

// Runs every decoder as the open windows would.
class AllDecoders : public MessageSink {
public:
    explicit AllDecoders(GPS_Main &g) : m_g(g) {}
    int frames = 0;

    void ShowNavStatus() override
    {
        check(0xCA);
        const NavStatus s = decodeNavStatus(m_g);
        checkFields(s.fields);
        FUZZ_CHECK(std::isfinite(s.headingFraction));
    }
    void ShowPosition() override
    {
        check(0xCA);
        checkFields(positionFields(m_g));
    }
    void ShowCondition() override
    {
        check(0xC6);
        checkFields(conditionFields(m_g));
    }
    void ShowDiagnosis() override
    {
        check(0xC4);
        checkFields(diagnosisFields(m_g));
    }
    void ShowMode() override
    {
        check(0xC3);
        checkFields(modeFields(m_g));
    }
    void ShowTimeStamp() override
    {
        check(0xC5);
        checkFields(timeStampFields(m_g));
    }
    void ShowRecSat() override
    {
        check(0xCB);
        checkFields(recSatFields(m_g));
        for (int row = 1; row <= 8; ++row)
            for (int col = 1; col <= 5; ++col)
                FUZZ_CHECK(std::isfinite(m_g.SatTable[std::size_t(row)][std::size_t(col)]));
    }

private:
    void check(quint8 type)
    {
        FUZZ_CHECK(m_g.MsgType == type);
        checkGoodFrame(m_g);
        ++frames;
    }
    GPS_Main &m_g;
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
    g.setSink(&sink);
    g.TimeZoneIndex = qint16(zone);
    g.PositionOpen = g.ConditionOpen = g.DiagnosisOpen = true;
    g.ModeOpen = g.TimeStampOpen = g.RecSatOpen = true;

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
        FUZZ_CHECK(g.RxPos >= 1 && g.RxPos <= 51);
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
