#include "sim/simulator.h"

#include "link/bcd.h"
#include "link/coordinate.h"
#include "link/encoder.h"
#include "link/messagetypes.h"
#include "platform/clock.h"
#include "platform/quotedtext.h"

#include <GeographicLib/LocalCartesian.hpp>
#include <QStringList>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr double kMetresPerDegree = 111320.0;

// The frame lengths the program's commands come in.
QList<int> commandLengths(quint8 type)
{
    QList<int> lengths;
    if (const MessageType *m = findMessageType(type))
        for (const SentForm &s : m->sent)
            if (s.length)
                lengths.append(s.length);
    return lengths;
}

// Type bytes the program's framer would take as the start of a frame; line noise
// from the simulator never uses them, so a fault damages only its own frame.
bool isFrameType(quint8 b)
{
    return findMessageType(b) != nullptr;
}

int payloadLength(Msg::Type type)
{
    return findMessageType(type)->length - kFrameOverhead;
}

// Writes bytes at frame positions (position 3 is the first payload byte).
void put(QByteArray &payload, int position, std::initializer_list<int> values)
{
    int i = position - 3;
    for (int v : values)
        payload[i++] = char(quint8(v));
}

void put32(QByteArray &payload, int position, qint32 v)
{
    const auto u = quint32(v);
    put(payload, position, {int(u >> 24), int(u >> 16 & 255), int(u >> 8 & 255), int(u & 255)});
}

void putTime(QByteArray &payload, int position, const QDateTime &utc)
{
    const QDate d = utc.date();
    const QTime t = utc.time();
    put(payload, position,
        {toBcd(d.year() % 100), toBcd(d.month()), toBcd(d.day()), toBcd(t.hour()),
         toBcd(t.minute()), toBcd(t.second())});
}

// Degrees, minutes and whole seconds of a coordinate's magnitude.
struct Dms {
    int deg, min, sec;
};
Dms toDms(double degrees)
{
    const qint64 totalSec = std::llround(std::fabs(degrees) * 3600.0);
    return {int(totalSec / 3600), int(totalSec / 60 % 60), int(totalSec % 60)};
}

struct SkyTrack {
    quint8 prn;
    double azimuth0, azimuthRate; // degrees, degrees per second
    double elevationMid, elevationSwing, elevationPeriod, phase;
};
// Eight satellites spread over the sky, each drifting along its own slow arc.
constexpr SkyTrack kSky[8] = {
    {2, 40, 0.05, 62, 18, 2400, 0.3},    {5, 120, -0.04, 45, 25, 3000, 1.1},
    {9, 200, 0.06, 30, 20, 2200, 2.0},   {12, 290, 0.05, 55, 20, 2800, 4.0},
    {17, 330, -0.06, 22, 12, 2600, 0.7}, {21, 80, 0.07, 15, 8, 2000, 5.2},
    {26, 160, -0.05, 70, 12, 3200, 3.3}, {29, 250, 0.04, 12, 6, 2500, 1.9},
};
// Health of satellites 1..32, one bit each: 31 is flagged unhealthy.
constexpr quint8 kHealth[4] = {0xFF, 0xFF, 0xFF, 0xBF};
constexpr int kElapsedDays = 3;

} // namespace

std::optional<StaticPosition> parseStaticPosition(const QString &text, QString &error)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 3) {
        error = QStringLiteral("--static wants LAT,LON,H (decimal degrees and metres, such as "
                               "47.37,8.54,420), not «%1»")
                    .arg(quotedText(text));
        return std::nullopt;
    }
    const struct {
        const char *name;
        double low, high;
    } fields[] = {{"latitude", -90, 90}, {"longitude", -180, 180}, {"height", -1000, 9000}};
    double values[3] = {};
    for (int i = 0; i < 3; ++i) {
        bool ok = false;
        const QString part = parts[i].trimmed();
        values[i] = part.toDouble(&ok);
        // toDouble takes "nan" and "inf"; neither is a place.
        if (!ok || !std::isfinite(values[i])) {
            error = QStringLiteral("--static: the %1 «%2» is not a number")
                        .arg(QLatin1String(fields[i].name), quotedText(part));
            return std::nullopt;
        }
        if (values[i] < fields[i].low || values[i] > fields[i].high) {
            error = QStringLiteral("--static: the %1 %2 is outside %3 to %4")
                        .arg(QLatin1String(fields[i].name), quotedText(part),
                             QString::number(fields[i].low), QString::number(fields[i].high));
            return std::nullopt;
        }
    }
    return StaticPosition{values[0], values[1], values[2]};
}

StaticNoise::StaticNoise(quint32 seed) : m_seed(seed), m_rng(seed) {}

std::array<double, 3> StaticNoise::at(qint64 seconds)
{
    seconds = std::max<qint64>(0, seconds);
    if (seconds < m_second) {
        m_rng.seed(m_seed);
        m_second = -1;
    }
    // The exact discrete step of the process: x' = a x + sigma sqrt(1 - a^2) w, which
    // keeps each axis at its sigma from the first second on.
    const double a = std::exp(-1.0 / kCorrelationS);
    const double spread = std::sqrt(1 - a * a);
    const double sigma[3] = {kHorizontalSigmaM, kHorizontalSigmaM, kVerticalSigmaM};
    std::normal_distribution<double> normal;
    for (; m_second < seconds; ++m_second)
        for (int i = 0; i < 3; ++i) {
            const double w = normal(m_rng);
            m_enu[std::size_t(i)] =
                m_second < 0 ? sigma[i] * w : a * m_enu[std::size_t(i)] + sigma[i] * spread * w;
        }
    return m_enu;
}

int SimulatorRecord::intact(quint8 type) const
{
    return int(std::count_if(frames.begin(), frames.end(), [&](const SentFrame &f) {
        return f.kind == SentFrame::Kind::Intact && (type == 0 || f.type == type);
    }));
}

int SimulatorRecord::damaged(quint8 type) const
{
    return int(std::count_if(frames.begin(), frames.end(), [&](const SentFrame &f) {
        return f.kind != SentFrame::Kind::Intact && (type == 0 || f.type == type);
    }));
}

Simulator::Simulator(const Clock &clock, SimulatorOptions options)
    : m_clock(clock), m_options(options), m_rng(options.seed)
{
    m_startMs = m_clock.now().toMSecsSinceEpoch();
    m_acquisitionStartMs = m_startMs;
    m_nextUnpromptedMs = slotAtOrAfter(m_startMs);
    m_trackMs = m_startMs;
    if (m_options.stationary) {
        m_latDeg = m_options.stationary->latitudeDeg;
        m_lonDeg = m_options.stationary->longitudeDeg;
        m_heightHalves = qint16(std::lround(m_options.stationary->heightM * 2));
        m_speedMs = 0;
        m_noise.emplace(m_options.seed);
    }
    // Events the board logged long ago: an antenna unplugged on 21 August 1999, a
    // short in March 1999 and the oscillator running fast on the first day of 2000.
    m_stamps[0] = 232 * 144 + 143;
    m_stamps[2] = 72 * 144 + 62;
    m_stamps[4] = 365 * 144;
}

qint64 Simulator::nowMs() const
{
    return m_clock.now().toMSecsSinceEpoch();
}

double Simulator::acquisitionSeconds() const
{
    return double(std::max<qint64>(0, nowMs() - m_acquisitionStartMs)) / 1000.0;
}

QDateTime Simulator::receiverTimeUtc() const
{
    return m_clock.now().toUTC().addMSecs(m_timeOffsetMs);
}

void Simulator::advanceTrack() const
{
    const qint64 now = nowMs();
    if (now <= m_trackMs) {
        m_trackMs = std::min(m_trackMs, now);
        return;
    }
    const double dt = double(now - m_trackMs) / 1000.0;
    m_trackMs = now;
    if (m_options.stationary)
        return;
    // Exact movement along the circle, whatever the step.
    const double w = m_turnDegPerS * std::numbers::pi / 180.0;
    const double h0 = m_headingDeg * std::numbers::pi / 180.0;
    const double h1 = h0 + w * dt;
    const double r = m_speedMs / w;
    const double north = r * (std::sin(h1) - std::sin(h0));
    const double east = r * (std::cos(h0) - std::cos(h1));
    m_latDeg = std::clamp(m_latDeg + north / kMetresPerDegree, -89.9, 89.9);
    m_lonDeg += east / (kMetresPerDegree * std::cos(m_latDeg * std::numbers::pi / 180.0));
    if (m_lonDeg > 180)
        m_lonDeg -= 360;
    if (m_lonDeg < -180)
        m_lonDeg += 360;
    m_headingDeg = std::fmod(m_headingDeg + m_turnDegPerS * dt, 360.0);
}

double Simulator::latitudeDegrees() const
{
    advanceTrack();
    return m_latDeg;
}

double Simulator::longitudeDegrees() const
{
    advanceTrack();
    return m_lonDeg;
}

std::array<Simulator::Channel, 8> Simulator::channels() const
{
    const double sky = double(nowMs() - m_startMs) / 1000.0;
    const double a = acquisitionSeconds();
    std::array<Channel, 8> out{};
    for (int k = 0; k < 8; ++k) {
        const SkyTrack &s = kSky[k];
        Channel &c = out[std::size_t(k)];
        c.prn = s.prn;
        const double az =
            std::fmod(std::fmod(s.azimuth0 + s.azimuthRate * sky, 360.0) + 360.0, 360.0);
        c.elevationDeg =
            s.elevationMid +
            s.elevationSwing * std::sin(2 * std::numbers::pi * sky / s.elevationPeriod + s.phase);
        c.azimuthByte = quint8(int(az * 256.0 / 360.0) & 255);
        c.elevationByte = quint8(std::clamp(int(c.elevationDeg * 256.0 / 180.0), 0, 255));
        // Channels lock one after another: track, then the ephemeris is decoded, then
        // the satellite joins the fix. Four in the fix give 3D about 19 s after a start.
        if (a < 1 + 0.5 * k)
            c.state = 0x01;
        else if (a < 5 + 2 * k)
            c.state = 0x03 | 6 << 4;
        else if (a < 10 + 3 * k)
            c.state = 0x07 | 3 << 4;
        else
            c.state = 0x0F | (c.elevationDeg > 40 ? 1 : 2) << 4;
        if (c.state != 0x01) {
            c.levelDb =
                8 + 16 * std::clamp(c.elevationDeg, 0.0, 90.0) / 90.0 + std::sin(sky / 7.0 + k);
            c.levelByte = quint8(std::clamp(int(std::lround(c.levelDb * 5)), 0, 255));
        }
    }
    // Once all eight are in the fix, the receiver moves a satellite to the next channel
    // every two minutes, as real ones reassign their channels: what follows satellites
    // rather than channels must see each one carry on. Seven such moves in turn bring
    // every satellite one channel on; eight rounds of them bring all back.
    const double settled = a - (10 + 3 * 7);
    if (settled >= kReassignS) {
        const int moves = int(std::fmod(std::floor(settled / kReassignS), 56.0));
        for (int i = 0; i < moves; ++i)
            std::swap(out[std::size_t(i % 7)], out[std::size_t(i % 7 + 1)]);
    }
    return out;
}

int Simulator::satsInFix() const
{
    const auto ch = channels();
    return int(std::count_if(ch.begin(), ch.end(),
                             [](const Channel &c) { return (c.state & 0x0F) == 0x0F; }));
}

int Simulator::fixState() const
{
    return std::min(satsInFix(), 4);
}

qint32 Simulator::scaledCoordinate(double degrees)
{
    // The simulated track stays within the poles and the date line, which always fit.
    return fieldFromScaled(scaledFromDegrees(degrees)).value_or(0);
}

double Simulator::degreesFromScaled(qint32 raw)
{
    return ::degreesFromScaled(scaledFromField(raw));
}

std::array<double, 3> Simulator::reportedPosition() const
{
    advanceTrack();
    if (!m_noise)
        return {m_latDeg, m_lonDeg, heightMetres()};
    const std::array<double, 3> enu = m_noise->at((nowMs() - m_startMs) / 1000);
    // The error is metres about the point, turned into degrees on the ellipsoid.
    const GeographicLib::LocalCartesian here(m_latDeg, m_lonDeg, heightMetres());
    double lat = 0, lon = 0, h = 0;
    here.Reverse(enu[0], enu[1], enu[2], lat, lon, h);
    return {lat, lon, h};
}

QByteArray Simulator::navigationFrame() const
{
    advanceTrack();
    const auto ch = channels();
    const int inFix = satsInFix();
    const int fix = std::min(inFix, 4);
    QByteArray p(payloadLength(Msg::Navigation), '\0');
    put(p, 3, {fix});
    const std::array<double, 3> at = reportedPosition();
    const auto halves = quint16(
        m_noise ? qint16(std::clamp(std::lround(at[2] * 2), -32768L, 32767L)) : m_heightHalves);
    put32(p, 4, scaledCoordinate(at[0]));
    put32(p, 8, scaledCoordinate(at[1]));
    put(p, 12, {halves >> 8, halves & 255});
    const bool has3d = fix >= 4, has2d = fix >= 3;
    put(p, 14, {has3d ? 5 : has2d ? 15 : 0, has3d ? 4 : has2d ? 10 : 0});
    const int heading = int(std::lround(m_headingDeg * 1024.0 / 360.0)) % 1024;
    put(p, 16, {heading >> 8, heading & 255});
    put(p, 18, {has3d ? 8 : has2d ? 20 : 0});
    // Speed in km/h, in quarters, as four BCD digits.
    const int quarters = has2d ? std::min(9999, int(std::lround(m_speedMs * 3.6 * 4))) : 0;
    put(p, 19, {toBcd(quarters / 100), toBcd(quarters % 100)});
    put(p, 21, {has3d ? 2 : has2d ? 4 : 0});
    putTime(p, 25, receiverTimeUtc());
    put(p, 31, {has3d ? 6 : has2d ? 10 : 0, has3d ? 9 : 0});
    put(p, 33, {inFix});
    std::array<quint8, 4> use{};
    std::array<quint8, 4> status{};
    for (int k = 0; k < 8; ++k) {
        const Channel &c = ch[std::size_t(k)];
        const int flags = c.state & 0x0F;
        if (flags == 0x0F)
            use[std::size_t((c.prn - 1) / 8)] |= quint8(1 << ((c.prn - 1) % 8));
        const int cond = flags == 0x0F ? 3 : flags == 0x07 ? 2 : flags == 0x03 ? 1 : 0;
        const int level = flags == 0x01 ? 0 : c.levelDb < 10 ? 1 : c.levelDb < 20 ? 2 : 3;
        status[std::size_t(k / 2)] |= quint8((level | cond << 2) << (k % 2 ? 4 : 0));
    }
    put(p, 34, {use[0], use[1], use[2], use[3]});
    put(p, 38, {status[0], status[1], status[2], status[3]});
    return encodeFrame(Msg::Navigation, p);
}

QByteArray Simulator::satelliteFrame() const
{
    const auto ch = channels();
    QByteArray p(payloadLength(Msg::Satellites), '\0');
    for (int k = 1; k <= 8; ++k) {
        const Channel &c = ch[std::size_t(k - 1)];
        put(p, 5 * k - 1, {c.prn, c.state, c.levelByte, c.azimuthByte, c.elevationByte});
    }
    put(p, 44, {kElapsedDays, kHealth[0], kHealth[1], kHealth[2], kHealth[3]});
    return encodeFrame(Msg::Satellites, p);
}

QByteArray Simulator::conditionFrame() const
{
    advanceTrack();
    const auto ch = channels();
    QByteArray p(payloadLength(Msg::Condition), '\0');
    int healthy = 0;
    for (quint8 b : kHealth)
        healthy += std::popcount(b);
    const int visible = int(
        std::count_if(ch.begin(), ch.end(), [](const Channel &c) { return c.elevationDeg > 0; }));
    put(p, 3, {fixState(), toBcd(healthy), toBcd(visible)});
    const int metres = std::min(9999, int(std::lround(std::fabs(heightMetres()))));
    put(p, 6, {m_heightHalves >= 0 ? 0xAA : 0x55, toBcd(metres / 100), toBcd(metres % 100)});
    // Hemisphere flags are the nibble 0xA for east and north, 0xB for west and south.
    const Dms lon = toDms(m_lonDeg);
    put(p, 9,
        {(m_lonDeg >= 0 ? 0xA : 0xB) << 4 | (lon.deg / 100), toBcd(lon.deg % 100), toBcd(lon.min),
         toBcd(lon.sec)});
    const Dms lat = toDms(m_latDeg);
    put(p, 15, {(m_latDeg >= 0 ? 0xA : 0xB) << 4, toBcd(lat.deg), toBcd(lat.min), toBcd(lat.sec)});
    putTime(p, 21, receiverTimeUtc());
    for (int k = 1; k <= 8; ++k) {
        const Channel &c = ch[std::size_t(k - 1)];
        put(p, 25 + 2 * k, {toBcd(c.prn), toBcd(int(c.levelDb))});
    }
    return encodeFrame(Msg::Condition, p);
}

QByteArray Simulator::modeFrame() const
{
    QByteArray p(payloadLength(Msg::Mode), '\0');
    const bool searching = fixState() < 3;
    const int halves = std::min(9999, std::abs(int(m_heightHalves)));
    // Auto 2D/3D, 5 degrees minimum elevation, level 6, PDOP up to 10, 2 s smoothing.
    put(p, 3,
        {2, 5, 30, 1, (m_searchReset ? 0x80 : 0) | (searching ? 0x40 : 0), toBcd(halves / 100),
         toBcd(halves % 100)});
    return encodeFrame(Msg::Mode, p);
}

QByteArray Simulator::diagnosisFrame() const
{
    QByteArray p(payloadLength(Msg::Diagnosis), '\0');
    // Firmware 02.13, revision A, all self-tests passed.
    put(p, 3, {0x02, 0x13, 0x10, 0x00, 0x00, 0x00, 0x00});
    return encodeFrame(Msg::Diagnosis, p);
}

QByteArray Simulator::timeStampFrame() const
{
    QByteArray p(payloadLength(Msg::TimeStamps), '\0');
    for (int k = 0; k < 21; ++k)
        put(p, 3 + 2 * k, {m_stamps[std::size_t(k)] >> 8, m_stamps[std::size_t(k)] & 255});
    return encodeFrame(Msg::TimeStamps, p);
}

qint64 Simulator::slotAtOrAfter(qint64 ms) const
{
    const qint64 interval = std::max(m_options.intervalMs, 1);
    const qint64 second = ms - ((ms % 1000) + 1000) % 1000;
    if (ms == second)
        return ms;
    if (interval >= 1000)
        return second + 1000;
    const qint64 k = (ms - second + interval - 1) / interval;
    return std::min(second + k * interval, second + 1000);
}

void Simulator::setIntervalMs(int ms)
{
    m_options.intervalMs = ms;
    m_nextUnpromptedMs = slotAtOrAfter(receiverMs() + std::max(ms, 0));
}

void Simulator::poll()
{
    const qint64 interval = m_options.intervalMs;
    if (interval <= 0)
        return;
    const qint64 now = receiverMs();
    // The receiver's clock set back (Set Time, a reset) leaves no slot far ahead.
    if (m_nextUnpromptedMs - now > std::max<qint64>(interval, 1000) + 1000)
        m_nextUnpromptedMs = slotAtOrAfter(now);
    if (now < m_nextUnpromptedMs)
        return;
    // A slot missed by more than half a period (the line was stopped, the computer
    // busy, the clock set forward) is left out rather than sent late: each message
    // goes out right after the second it names. A slot that falls on this very moment
    // is still taken.
    if (now - m_nextUnpromptedMs > std::min<qint64>(interval, 1000) / 2) {
        m_nextUnpromptedMs = slotAtOrAfter(now);
        if (now < m_nextUnpromptedMs)
            return;
    }
    if (pending() <= m_backlogLimit) {
        send(navigationFrame());
        send(satelliteFrame());
    }
    m_nextUnpromptedMs = slotAtOrAfter(m_nextUnpromptedMs + (interval >= 1000 ? interval : 1));
    if (m_nextUnpromptedMs <= now)
        m_nextUnpromptedMs = slotAtOrAfter(now + 1);
}

void Simulator::send(const QByteArray &frame)
{
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    SentFrame sent;
    sent.type = quint8(frame[0]);
    if (m_options.garbageRate > 0 && chance(m_rng) < m_options.garbageRate) {
        std::uniform_int_distribution<int> count(1, 8), value(0, 255);
        sent.garbageBefore = count(m_rng);
        for (int i = 0; i < sent.garbageBefore; ++i) {
            quint8 b;
            do
                b = quint8(value(m_rng));
            while (isFrameType(b));
            m_out.append(char(b));
        }
        m_record.garbageBytes += sent.garbageBefore;
    }
    QByteArray bytes = frame;
    if (m_options.corruptRate > 0 && chance(m_rng) < m_options.corruptRate) {
        std::uniform_int_distribution<int> delta(1, 255);
        bytes[bytes.size() - 2] = char(quint8(bytes[bytes.size() - 2]) + delta(m_rng));
        sent.kind = SentFrame::Kind::BadChecksum;
    } else if (m_options.truncateRate > 0 && chance(m_rng) < m_options.truncateRate) {
        // Both type bytes get out, then the line breaks; a break reads as zero bytes,
        // so the frame's last byte is never the terminator.
        std::uniform_int_distribution<int> cut(2, int(bytes.size()) - 1);
        const int kept = cut(m_rng);
        for (int i = kept; i < bytes.size(); ++i)
            bytes[i] = '\0';
        sent.kind = SentFrame::Kind::Truncated;
    }
    m_out.append(bytes);
    m_record.frames.append(sent);
}

QByteArray Simulator::take(qsizetype maxBytes)
{
    const qsizetype n = maxBytes < 0 ? pending() : std::min(maxBytes, pending());
    QByteArray out = m_out.mid(m_outPos, n);
    m_outPos += n;
    if (m_outPos == m_out.size()) {
        m_out.clear();
        m_outPos = 0;
    } else if (m_outPos > 4096) {
        m_out.remove(0, m_outPos);
        m_outPos = 0;
    }
    return out;
}

void Simulator::discardPending()
{
    m_out.clear();
    m_outPos = 0;
}

void Simulator::receive(const QByteArray &bytes)
{
    for (const char c : bytes) {
        m_in.append(c);
        // Resynchronise byte by byte: drop what cannot start a command, then try each
        // length the command comes in; a frame that fits none loses its first byte.
        for (;;) {
            while (!m_in.isEmpty() && commandLengths(quint8(m_in[0])).isEmpty())
                m_in.remove(0, 1);
            if (m_in.size() < 2)
                break;
            if (m_in[1] != m_in[0]) {
                ++m_rejected;
                m_in.remove(0, 1);
                continue;
            }
            bool waiting = false, matched = false;
            for (int length : commandLengths(quint8(m_in[0]))) {
                if (m_in.size() < length) {
                    waiting = true;
                    break;
                }
                quint8 sum = 0;
                for (int i = 0; i < length - 1; ++i)
                    sum = quint8(sum + quint8(m_in[i]));
                if (sum == 0 && m_in[length - 1] == '\r') {
                    const QByteArray frame = m_in.left(length);
                    m_in.remove(0, length);
                    handleCommand(frame);
                    matched = true;
                    break;
                }
            }
            if (waiting)
                break;
            if (!matched) {
                ++m_rejected;
                m_in.remove(0, 1);
            }
        }
    }
}

void Simulator::acknowledge(quint8 type)
{
    send(requestFrame(type));
}

void Simulator::restartAcquisition()
{
    m_acquisitionStartMs = nowMs();
}

void Simulator::handleCommand(const QByteArray &frame)
{
    const quint8 type = quint8(frame[0]);
    const QByteArray payload = frame.mid(2, frame.size() - 4);
    m_commands.append(type);
    switch (type) {
    case Msg::Navigation:
        send(navigationFrame());
        break;
    case Msg::Condition:
        send(conditionFrame());
        break;
    case Msg::Diagnosis:
        send(diagnosisFrame());
        break;
    case Msg::Mode:
        send(modeFrame());
        break;
    case Msg::Satellites:
        send(satelliteFrame());
        break;
    case Msg::TimeStamps:
        // The request's byte sets (0) or resets (1) search mode.
        if (payload.size() == 1 && quint8(payload[0]) <= 1)
            m_searchReset = payload[0] == 1;
        send(timeStampFrame());
        break;
    case Msg::B7:
    case Msg::Prepare:
        acknowledge(type);
        break;
    case Msg::ColdStart:
        restartAcquisition();
        acknowledge(type);
        break;
    case Msg::SystemReset:
        // A reset reboots the board: acquisition starts over and the time set by hand
        // and the search mode are forgotten; position and height are kept.
        restartAcquisition();
        m_timeOffsetMs = 0;
        m_nextUnpromptedMs = slotAtOrAfter(receiverMs());
        m_searchReset = false;
        acknowledge(type);
        break;
    case Msg::SetTime:
        if (payload.size() == 1 && payload[0] == 0) {
            m_stamps.fill(0);
            acknowledge(type);
        } else if (payload.size() == 6 && setTime(payload)) {
            acknowledge(type);
        } else {
            ++m_rejected;
        }
        break;
    case Msg::SetHeight:
        // The accuracy that follows the height changes nothing the board reports.
        m_heightHalves = qFromBigEndian<qint16>(payload.constData());
        acknowledge(type);
        break;
    case Msg::SetPosition:
        if (setPosition(payload))
            acknowledge(type);
        else
            ++m_rejected;
        break;
    default:
        break;
    }
}

bool Simulator::setTime(const QByteArray &payload)
{
    bool ok = true;
    int v[6];
    for (int i = 0; i < 6; ++i) {
        ok = ok && isBcd(quint8(payload[i]));
        v[i] = bcdValue(quint8(payload[i]));
    }
    // Two-digit years: 98 and 99 are the 1990s, the rest this century.
    const QDate date(v[0] >= 98 ? 1900 + v[0] : 2000 + v[0], v[1], v[2]);
    const QTime time(v[3], v[4], v[5]);
    if (!ok || !date.isValid() || !time.isValid())
        return false;
    const QDateTime wanted(date, time, Qt::UTC);
    m_timeOffsetMs = m_clock.now().toUTC().msecsTo(wanted);
    // Its seconds now begin where the time set says.
    m_nextUnpromptedMs = slotAtOrAfter(receiverMs());
    return true;
}

bool Simulator::setPosition(const QByteArray &payload)
{
    if (payload.size() != 9)
        return false;
    const qint32 latRaw = qFromBigEndian<qint32>(payload.constData());
    const qint32 lonRaw = qFromBigEndian<qint32>(payload.constData() + 4);
    const double lat = degreesFromScaled(latRaw);
    const double lon = degreesFromScaled(lonRaw);
    const auto minutesOk = [](qint32 raw) {
        const double scaled = std::fabs(scaledFromField(raw));
        return scaled - std::floor(scaled / 100) * 100 < 60;
    };
    if (std::fabs(lat) > 90 || std::fabs(lon) > 180 || !minutesOk(latRaw) || !minutesOk(lonRaw))
        return false;
    advanceTrack();
    m_latDeg = lat;
    m_lonDeg = lon;
    return true;
}
