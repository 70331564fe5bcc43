#include "streams.h"

#include "link/encoder.h"
#include "link/messagetypes.h"
#include "platform/clock.h"
#include "sim/simulator.h"

namespace {

// The receiver's clock, moved on by hand so that a stream is the same at every run.
class SteppedClock : public Clock {
public:
    QDateTime now() const override { return m_now; }
    void step(int ms) { m_now = m_now.addMSecs(ms); }

private:
    QDateTime m_now{QDate(2026, 12, 7), QTime(9, 30), Qt::UTC};
};

} // namespace

struct BenchReceiver::Parts {
    SteppedClock clock;
    Simulator simulator{clock};
    int stepMs = 100;
};

BenchReceiver::BenchReceiver(int stepMs) : m_parts(new Parts)
{
    m_parts->stepMs = stepMs;
}

BenchReceiver::~BenchReceiver()
{
    delete m_parts;
}

void BenchReceiver::next()
{
    m_parts->clock.step(m_parts->stepMs);
}

QByteArray BenchReceiver::navigation() const
{
    return m_parts->simulator.navigationFrame();
}

QByteArray BenchReceiver::satellites() const
{
    return m_parts->simulator.satelliteFrame();
}

QByteArray BenchReceiver::condition() const
{
    return m_parts->simulator.conditionFrame();
}

QByteArray BenchReceiver::mode() const
{
    return m_parts->simulator.modeFrame();
}

QByteArray BenchReceiver::diagnosis() const
{
    return m_parts->simulator.diagnosisFrame();
}

QByteArray BenchReceiver::timeStamps() const
{
    return m_parts->simulator.timeStampFrame();
}

QByteArray BenchReceiver::acknowledgement()
{
    return requestFrame(Msg::B7);
}

BenchStream mixedStream(int rounds)
{
    BenchReceiver rx(100);
    BenchStream s;
    for (int r = 0; r < rounds; ++r, rx.next()) {
        s.bytes += rx.navigation() + rx.satellites() + rx.condition() + rx.mode() + rx.diagnosis() +
                   rx.timeStamps() + BenchReceiver::acknowledgement();
        s.frames += 7;
    }
    return s;
}

BenchStream navSatStream(int rounds)
{
    BenchReceiver rx(100);
    BenchStream s;
    for (int r = 0; r < rounds; ++r, rx.next()) {
        s.bytes += rx.navigation() + rx.satellites();
        s.frames += 2;
    }
    return s;
}
