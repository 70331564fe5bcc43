// The receive path without windows: the framer alone, then framer, dispatcher and
// every decoder turning frames into the texts the windows would show.

#include "decoders/condition.h"
#include "decoders/diagnosis.h"
#include "decoders/fieldstore.h"
#include "decoders/messagevalues.h"
#include "decoders/mode.h"
#include "decoders/navstatus.h"
#include "decoders/position.h"
#include "decoders/sattable.h"
#include "decoders/timestamp.h"
#include "link/framer.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "streams.h"

#include <benchmark/benchmark.h>

#include <array>
#include <vector>

namespace {

// Keeps what the decoders produce as the windows do, in texts kept from one message to
// the next, and counts the characters of the texts that changed, as a window would
// show them, so none of it is optimised away.
class TextSink {
public:
    // The main window's subscribers always; each data window's when every one is open.
    TextSink(GPS_Main &g, bool everyWindow) : m_g(g)
    {
        FrameDispatcher &d = g.frames();
        on(d.subscribe(Msg::Satellites, [this](const Frame &f) { FillSatTable(m_g, f.bytes()); }));
        on(d.subscribe(Msg::Navigation, [this](const Frame &f) {
            keep(decodeNavStatus(f.bytes(), m_g.TimeZoneIndex).fields);
        }));
        if (!everyWindow)
            return;
        on(d.subscribe(Msg::Navigation, [this](const Frame &f) {
            positionTexts(f.bytes(), m_g.TimeZoneIndex, m_position), keep(m_position);
        }));
        on(d.subscribe(Msg::Condition, [this](const Frame &f) {
            conditionTexts(f.bytes(), m_condition), keep(m_condition);
        }));
        on(d.subscribe(Msg::Diagnosis, [this](const Frame &f) {
            diagnosisTexts(f.bytes(), m_diagnosis), keep(m_diagnosis);
        }));
        on(d.subscribe(Msg::Mode,
                       [this](const Frame &f) { modeTexts(f.bytes(), m_mode), keep(m_mode); }));
        on(d.subscribe(Msg::TimeStamps, [this](const Frame &f) {
            timeStampTexts(f.bytes(), m_timeStamp), keep(m_timeStamp);
        }));
        on(d.subscribe(Msg::Satellites, [this](const Frame &f) {
            recSatTexts(f.bytes(), m_recSat), keep(m_recSat);
        }));
    }

    qsizetype characters = 0;
    int decoded = 0;

private:
    void keep(const Fields &fields)
    {
        for (const Field &f : fields)
            characters += f.text.size();
        ++decoded;
    }
    void keep(const FieldStore &store)
    {
        for (const qsizetype i : store.changed())
            characters += store.fields().at(i).text.size();
        ++decoded;
    }
    void on(FrameDispatcher::Subscription s) { m_subscriptions.push_back(std::move(s)); }
    GPS_Main &m_g;
    FieldStore m_position, m_condition, m_diagnosis, m_mode, m_timeStamp, m_recSat;
    std::vector<FrameDispatcher::Subscription> m_subscriptions;
};

// Framing and checksums with each good frame counted by type: a dispatch to nothing.
void framerAlone(benchmark::State &state, const BenchStream &stream, bool byteByByte)
{
    GPS_Main g{Platform{}};
    Framer framer(g.MsgTable);
    const auto *data = reinterpret_cast<const quint8 *>(stream.bytes.constData());
    const qsizetype n = stream.bytes.size();
    std::array<qint64, 256> perType{};
    for (auto _ : state) {
        if (byteByByte) {
            for (qsizetype i = 0; i < n; ++i)
                if (framer.step(data[i]) == FrameStep::FrameGood)
                    ++perType[framer.frame().type()];
        } else {
            for (qsizetype at = 0; at < n;) {
                FrameStep step;
                at += framer.scan(data + at, n - at, step);
                if (step == FrameStep::FrameGood)
                    ++perType[framer.frame().type()];
            }
        }
        benchmark::DoNotOptimize(perType);
    }
    qint64 good = 0;
    for (qint64 c : perType)
        good += c;
    if (good != qint64(state.iterations()) * stream.frames)
        state.SkipWithError("frames lost in the framer");
    state.SetBytesProcessed(qint64(state.iterations()) * n);
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()) * stream.frames, benchmark::Counter::kIsRate);
}

// The serial port hands over what has arrived since the last read; 4 KiB is a
// full receive buffer at high line speeds.
void receivePath(benchmark::State &state, const BenchStream &stream, qsizetype readSize,
                 bool everyWindow = true)
{
    GPS_Main g{Platform{}};
    TextSink sink(g, everyWindow);
    QList<QByteArray> reads;
    for (qsizetype at = 0; at < stream.bytes.size(); at += readSize)
        reads.append(stream.bytes.mid(at, readSize));
    for (auto _ : state) {
        for (const QByteArray &r : reads)
            g.OnReceive(r);
    }
    benchmark::DoNotOptimize(sink.characters);
    if (!g.ErrorDis().startsWith(QLatin1String("CMD: ")))
        state.SkipWithError("the last frame was not taken");
    state.SetBytesProcessed(qint64(state.iterations()) * stream.bytes.size());
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()) * stream.frames, benchmark::Counter::kIsRate);
}

void BM_FramerAlone_Mixed(benchmark::State &state)
{
    static const BenchStream stream = mixedStream(2000);
    framerAlone(state, stream, false);
}
BENCHMARK(BM_FramerAlone_Mixed);

void BM_FramerAlone_NavSat(benchmark::State &state)
{
    static const BenchStream stream = navSatStream(5000);
    framerAlone(state, stream, false);
}
BENCHMARK(BM_FramerAlone_NavSat);

// One call per byte, as the receive handler once stepped: the cost of the call itself.
void BM_FramerByteByByte_Mixed(benchmark::State &state)
{
    static const BenchStream stream = mixedStream(2000);
    framerAlone(state, stream, true);
}
BENCHMARK(BM_FramerByteByByte_Mixed);

void BM_ReceivePath_Mixed(benchmark::State &state)
{
    static const BenchStream stream = mixedStream(2000);
    receivePath(state, stream, state.range(0));
}
BENCHMARK(BM_ReceivePath_Mixed)->Arg(4096)->Arg(64);

void BM_ReceivePath_NavSat(benchmark::State &state)
{
    static const BenchStream stream = navSatStream(5000);
    receivePath(state, stream, state.range(0));
}
BENCHMARK(BM_ReceivePath_NavSat)->Arg(4096);

// Only the main window: the navigation status and the satellite table.
void BM_ReceivePath_MainWindowOnly_Mixed(benchmark::State &state)
{
    static const BenchStream stream = mixedStream(2000);
    receivePath(state, stream, 4096, false);
}
BENCHMARK(BM_ReceivePath_MainWindowOnly_Mixed);

} // namespace

BENCHMARK_MAIN();
