#include "sim/simulatedport.h"

#include "platform/clock.h"
#include "platform/quotedtext.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kStepMs = 5;
// Line time a step may make up for after a stall, so a late step does not burst.
constexpr qint64 kMaxCatchUpMs = 100;
} // namespace

int bitsPerByte(const LineSettings &s)
{
    return 1 + s.dataBits + (s.parity == 'n' ? 0 : 1) + s.stopBits;
}

SimulatorLine::SimulatorLine(Simulator &simulator, const Clock &clock, QObject *parent)
    : QObject(parent), m_sim(simulator), m_clock(clock)
{
    m_timer.setInterval(kStepMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimulatorLine::pump);
}

void SimulatorLine::setLineSettings(const LineSettings &settings)
{
    m_settings = settings;
    // About two seconds of line time may wait before messages are skipped.
    m_sim.setBacklogLimit(std::max(100, 2 * settings.speed / bitsPerByte(settings)));
}

void SimulatorLine::start()
{
    m_lastMs = -1;
    m_bitCredit = 0;
    m_timer.start();
}

void SimulatorLine::stop()
{
    m_timer.stop();
    m_sim.discardPending();
}

void SimulatorLine::input(const QByteArray &bytes)
{
    m_sim.receive(bytes);
}

void SimulatorLine::pump()
{
    const qint64 now = m_clock.now().toMSecsSinceEpoch();
    const qint64 elapsed = m_lastMs < 0 ? 0 : std::clamp<qint64>(now - m_lastMs, 0, kMaxCatchUpMs);
    m_lastMs = now;
    m_sim.poll();
    if (m_sim.pending() == 0) {
        m_bitCredit = 0;
        return;
    }
    m_bitCredit += double(elapsed) * m_settings.speed / 1000.0;
    const int bpb = bitsPerByte(m_settings);
    const auto n = qsizetype(std::floor(m_bitCredit / bpb));
    if (n <= 0)
        return;
    const QByteArray bytes = m_sim.take(n);
    m_bitCredit -= double(bytes.size() * bpb);
    if (m_sim.pending() == 0)
        m_bitCredit = 0;
    emit output(bytes);
}

QString SimulatedPort::deviceName()
{
    return QStringLiteral("Simulated receiver");
}

SimulatedPort::SimulatedPort(const Clock &clock, SimulatorOptions options, QObject *parent)
    : SerialPort(parent), m_sim(clock, options), m_line(m_sim, clock)
{
    connect(&m_line, &SimulatorLine::output, this, [this](const QByteArray &bytes) {
        if (m_open)
            emit received(bytes);
    });
}

bool SimulatedPort::open()
{
    close();
    const auto settings = LineSettings::parse(Settings());
    if (!settings) {
        m_error = QStringLiteral("invalid line settings «%1»").arg(quotedText(Settings()));
        return false;
    }
    m_error.clear();
    m_line.setLineSettings(*settings);
    m_line.start();
    m_open = true;
    return true;
}

void SimulatedPort::close()
{
    m_line.stop();
    m_open = false;
}

bool SimulatedPort::Output(const QByteArray &bytes, const void *owner)
{
    Q_UNUSED(owner); // the simulator takes every frame at once
    if (!m_open)
        return false;
    m_line.input(bytes);
    return true;
}
