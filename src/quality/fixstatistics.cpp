#include "quality/fixstatistics.h"

#include "decoders/messagevalues.h"
#include "link/coordinate.h"
#include "link/messagetypes.h"

#include <GeographicLib/LocalCartesian.hpp>

#include <algorithm>
#include <cmath>

double percentile(std::vector<double> &values, double p)
{
    const std::size_t n = values.size();
    if (n == 0)
        return 0;
    const double h = double(n - 1) * std::clamp(p, 0.0, 1.0);
    const auto k = std::size_t(std::floor(h));
    const double fraction = h - double(k);
    std::nth_element(values.begin(), values.begin() + std::ptrdiff_t(k), values.end());
    const double low = values[k];
    if (fraction <= 0 || k + 1 >= n)
        return low;
    // Everything after position k is at least values[k]; the next rank is their least.
    const double high = *std::min_element(values.begin() + std::ptrdiff_t(k + 1), values.end());
    return low + fraction * (high - low);
}

void FixCounts::add(int fix)
{
    ++navigation;
    if (fix <= 2)
        ++none;
    else if (fix == 3)
        ++twoD;
    else if (fix == 4)
        ++threeD;
    else
        ++invalid;
}

PositionStatistics::PositionStatistics(std::size_t capacity) : m_capacity(capacity) {}
PositionStatistics::~PositionStatistics() = default;

bool PositionStatistics::add(double latitudeDeg, double longitudeDeg, double heightM)
{
    if (!onTheEarth(latitudeDeg, longitudeDeg, heightM)) {
        ++m_offTheEarth;
        return false;
    }
    if (!m_first)
        m_first =
            std::make_unique<GeographicLib::LocalCartesian>(latitudeDeg, longitudeDeg, heightM);
    Vector p{};
    m_first->Forward(latitudeDeg, longitudeDeg, heightM, p[0], p[1], p[2]);
    if (m_capacity > 0 && m_points.size() >= m_capacity)
        dropOldest();
    const double before = double(m_points.size());
    m_points.push_back({p, heightM});
    const double n = double(m_points.size());
    // Deviations from the mean before and after this point: their products sum to the
    // co-moments exactly as a pass over all points would.
    const Vector d0 = before > 0
                          ? Vector{p[0] - m_sx / before, p[1] - m_sy / before, p[2] - m_sz / before}
                          : Vector{0, 0, 0};
    m_sx += p[0];
    m_sy += p[1];
    m_sz += p[2];
    const Vector d1{p[0] - m_sx / n, p[1] - m_sy / n, p[2] - m_sz / n};
    m_co[0] += d0[0] * d1[0];
    m_co[1] += d0[0] * d1[1];
    m_co[2] += d0[0] * d1[2];
    m_co[3] += d0[1] * d1[1];
    m_co[4] += d0[1] * d1[2];
    m_co[5] += d0[2] * d1[2];
    const double delta = heightM - m_hMean;
    m_hMean += delta / n;
    m_hM2 += delta * (heightM - m_hMean);
    m_dirty = true;
    m_enDirty = true;
    return true;
}

void PositionStatistics::dropOldest()
{
    const Point old = m_points.front();
    m_points.pop_front();
    ++m_dropped;
    const double n = double(m_points.size() + 1), rest = n - 1;
    if (rest == 0) {
        m_sx = m_sy = m_sz = 0;
        m_co = {};
        m_hMean = m_hM2 = 0;
        return;
    }
    if (++m_dropsSinceSummed >= m_capacity) {
        sumAgain();
        return;
    }
    // Adding the old point to the rest gave these sums; take the same products away.
    const Vector &p = old.v;
    const Vector d1{p[0] - m_sx / n, p[1] - m_sy / n, p[2] - m_sz / n};
    m_sx -= p[0];
    m_sy -= p[1];
    m_sz -= p[2];
    const Vector d0{p[0] - m_sx / rest, p[1] - m_sy / rest, p[2] - m_sz / rest};
    m_co[0] -= d0[0] * d1[0];
    m_co[1] -= d0[0] * d1[1];
    m_co[2] -= d0[0] * d1[2];
    m_co[3] -= d0[1] * d1[1];
    m_co[4] -= d0[1] * d1[2];
    m_co[5] -= d0[2] * d1[2];
    const double hMean = (n * m_hMean - old.heightM) / rest;
    m_hM2 -= (old.heightM - hMean) * (old.heightM - m_hMean);
    m_hMean = hMean;
}

void PositionStatistics::sumAgain()
{
    m_dropsSinceSummed = 0;
    const double n = double(m_points.size());
    m_sx = m_sy = m_sz = 0;
    m_hMean = 0;
    for (const Point &p : m_points) {
        m_sx += p.v[0];
        m_sy += p.v[1];
        m_sz += p.v[2];
        m_hMean += p.heightM;
    }
    m_hMean /= n;
    const double mx = m_sx / n, my = m_sy / n, mz = m_sz / n;
    m_co = {};
    m_hM2 = 0;
    for (const Point &p : m_points) {
        const double dx = p.v[0] - mx, dy = p.v[1] - my, dz = p.v[2] - mz;
        m_co[0] += dx * dx;
        m_co[1] += dx * dy;
        m_co[2] += dx * dz;
        m_co[3] += dy * dy;
        m_co[4] += dy * dz;
        m_co[5] += dz * dz;
        const double dh = p.heightM - m_hMean;
        m_hM2 += dh * dh;
    }
}

void PositionStatistics::clear()
{
    m_first.reset();
    m_points.clear();
    m_dropped = 0;
    m_offTheEarth = 0;
    m_dropsSinceSummed = 0;
    m_sx = m_sy = m_sz = 0;
    m_co = {};
    m_hMean = m_hM2 = 0;
    m_summary = {};
    m_en.clear();
    m_dirty = false;
    m_enDirty = false;
    ++m_clears;
}

const PositionSummary &PositionStatistics::summary() const
{
    if (m_dirty)
        update();
    return m_summary;
}

const std::vector<EastNorth> &PositionStatistics::eastNorth() const
{
    if (m_enDirty) {
        m_enDirty = false;
        m_en.resize(m_points.size());
        for (std::size_t i = 0; i < m_points.size(); ++i)
            m_en[i] = eastNorthAt(i);
    }
    return m_en;
}

void PositionStatistics::update() const
{
    m_dirty = false;
    const std::size_t n = m_points.size();
    PositionSummary s;
    s.count = qint64(n);
    if (n == 0) {
        m_summary = s;
        return;
    }
    // The mean of the vectors, and the east-north-up frame there: v_enu = M^T v_first.
    const double mx = m_sx / double(n), my = m_sy / double(n), mz = m_sz / double(n);
    m_mean = {mx, my, mz};
    double lat = 0, lon = 0, h = 0;
    m_first->Reverse(mx, my, mz, lat, lon, h, m_rotation);
    const double *M = m_rotation.data();
    s.meanLatitudeDeg = lat;
    s.meanLongitudeDeg = lon;
    s.meanHeightM = m_hMean;
    s.heightStdM = std::sqrt(std::max(0.0, m_hM2 / double(n)));

    // The sum of squared horizontal distances is the co-moment matrix seen along the
    // east and north axes: e^T C e + n^T C n.
    const auto along = [this](double a, double b, double c) {
        const auto &C = m_co;
        return a * a * C[0] + b * b * C[3] + c * c * C[5] +
               2 * (a * b * C[1] + a * c * C[2] + b * c * C[4]);
    };
    const double sumSquares = std::max(0.0, along(M[0], M[3], M[6]) + along(M[1], M[4], M[7]));
    s.drms2M = 2.0 * std::sqrt(sumSquares / double(n));

    m_scratch.resize(n);
    double far = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Vector &v = m_points[i].v;
        const double dx = v[0] - mx, dy = v[1] - my, dz = v[2] - mz;
        const double e = M[0] * dx + M[3] * dy + M[6] * dz;
        const double nn = M[1] * dx + M[4] * dy + M[7] * dz;
        far = std::max({far, std::fabs(e), std::fabs(nn)});
        m_scratch[i] = std::sqrt(e * e + nn * nn);
    }
    s.farthestM = far;
    s.r95M = percentile(m_scratch, 0.95);
    s.cep50M = percentile(m_scratch, 0.5);
    m_summary = s;
}

EastNorth PositionStatistics::eastNorthOfVector(const Vector &v) const
{
    if (m_points.empty())
        return {};
    summary();
    const double dx = v[0] - m_mean[0], dy = v[1] - m_mean[1], dz = v[2] - m_mean[2];
    const double *M = m_rotation.data();
    return {M[0] * dx + M[3] * dy + M[6] * dz, M[1] * dx + M[4] * dy + M[7] * dz};
}

EastNorth PositionStatistics::eastNorthAt(std::size_t index) const
{
    return index < m_points.size() ? eastNorthOfVector(m_points[index].v) : EastNorth{};
}

PositionStatistics::Vector PositionStatistics::meanVector() const
{
    summary();
    return m_mean;
}

EastNorth PositionStatistics::eastNorthOf(double latitudeDeg, double longitudeDeg,
                                          double heightM) const
{
    if (m_points.empty())
        return {};
    Vector v{};
    m_first->Forward(latitudeDeg, longitudeDeg, heightM, v[0], v[1], v[2]);
    return eastNorthOfVector(v);
}

QString ttffStartText(TtffStart cause)
{
    switch (cause) {
    case TtffStart::PortOpened:
        return QStringLiteral("port opened");
    case TtffStart::ColdStart:
        return QStringLiteral("Cold Start");
    case TtffStart::SystemReset:
        return QStringLiteral("System Reset");
    case TtffStart::RecordingStart:
        return QStringLiteral("recording start");
    case TtffStart::PortReopened:
        return QStringLiteral("port reopened");
    }
    return {};
}

QString tenthsOfSecondsText(qint64 ms)
{
    return QString::number(double(ms) / 1000.0, 'f', 1);
}

QString ttff2DText(const TtffRun &run)
{
    if (run.fixAtStart)
        return QStringLiteral("fix at start");
    return run.to2DMs ? tenthsOfSecondsText(*run.to2DMs) : QStringLiteral("\u2013");
}

QString ttff3DText(const TtffRun &run)
{
    if (run.threeDAtStart)
        return QStringLiteral("fix at start");
    return run.to3DMs ? tenthsOfSecondsText(*run.to3DMs) : QStringLiteral("\u2013");
}

void TtffTracker::start(qint64 nowMs, TtffStart cause)
{
    // A port opened again before it came to a fix timed nothing: the start-up dialog
    // opens the saved port while the user chooses, and OK opens the one chosen.
    if (cause == TtffStart::PortOpened && !m_runs.empty() &&
        m_runs.back().cause == TtffStart::PortOpened && !m_runs.back().to2DMs)
        m_runs.pop_back();
    TtffRun run;
    run.cause = cause;
    run.startMs = nowMs;
    m_runs.push_back(run);
    while (m_runs.size() > std::size_t(kKeptRuns))
        m_runs.pop_front();
}

void TtffTracker::navigation(qint64 nowMs, int fix)
{
    if (m_runs.empty())
        return;
    TtffRun &run = m_runs.back();
    const bool first = !run.toFirstMs;
    if (first)
        run.toFirstMs = nowMs - run.startMs;
    if ((fix == 3 || fix == 4) && !run.to2DMs) {
        run.to2DMs = nowMs - run.startMs;
        run.fixAtStart = first;
    }
    if (fix == 4 && !run.to3DMs) {
        run.to3DMs = nowMs - run.startMs;
        run.threeDAtStart = first;
    }
}

void TtffTracker::rewind(qint64 toMs)
{
    while (m_runs.size() > 1 && m_runs.back().startMs >= toMs &&
           m_runs.back().cause != TtffStart::PortOpened &&
           m_runs.back().cause != TtffStart::RecordingStart)
        m_runs.pop_back();
    if (m_runs.empty())
        return;
    TtffRun &run = m_runs.back();
    const auto after = [&](const std::optional<qint64> &ms) {
        return ms && run.startMs + *ms >= toMs;
    };
    if (after(run.to3DMs)) {
        run.to3DMs.reset();
        run.threeDAtStart = false;
    }
    if (after(run.to2DMs)) {
        run.to2DMs.reset();
        run.fixAtStart = false;
    }
    if (after(run.toFirstMs))
        run.toFirstMs.reset();
}

QString TtffTracker::text(qint64 nowMs) const
{
    const TtffRun *run = current();
    if (!run)
        return {};
    if (!run->to2DMs)
        return QStringLiteral("TTFF: no fix for %1 s after %2")
            .arg(tenthsOfSecondsText(nowMs - run->startMs), ttffStartText(run->cause));
    if (run->threeDAtStart)
        return QStringLiteral("TTFF: fix at start");
    QString text = run->fixAtStart
                       ? QStringLiteral("TTFF: fix at start")
                       : QStringLiteral("TTFF 2D %1 s").arg(tenthsOfSecondsText(*run->to2DMs));
    text += run->to3DMs ? QStringLiteral(", 3D %1 s").arg(tenthsOfSecondsText(*run->to3DMs))
                        : QStringLiteral(", no 3D fix yet");
    return text;
}

void History::addNavigation(const NavSample &s)
{
    m_nav.push_back(s);
    while (!m_nav.empty() &&
           (m_nav.front().timeMs < s.timeMs - kSpanMs || m_nav.size() > kMaxSamples))
        m_nav.pop_front();
}

void History::addLevels(const LevelSample &s)
{
    m_levels.push_back(s);
    while (!m_levels.empty() &&
           (m_levels.front().timeMs < s.timeMs - kSpanMs || m_levels.size() > kMaxSamples))
        m_levels.pop_front();
}

void History::clear()
{
    m_nav.clear();
    m_levels.clear();
    ++m_resets;
}

void History::rewind(qint64 toMs)
{
    while (!m_nav.empty() && m_nav.back().timeMs >= toMs)
        m_nav.pop_back();
    while (!m_levels.empty() && m_levels.back().timeMs >= toMs)
        m_levels.pop_back();
    ++m_resets;
}

std::optional<qint64> History::newestMs() const
{
    std::optional<qint64> newest;
    if (!m_nav.empty())
        newest = m_nav.back().timeMs;
    if (!m_levels.empty())
        newest = std::max(newest.value_or(m_levels.back().timeMs), m_levels.back().timeMs);
    return newest;
}

void ReceiverQuality::start(qint64 nowMs, TtffStart cause)
{
    if (cause == TtffStart::PortOpened || cause == TtffStart::RecordingStart) {
        // A new receiver, or the same one anew: nothing of before belongs with it.
        counts = {};
        history.clear();
    }
    ttff.start(nowMs, cause);
}

void ReceiverQuality::frame(QByteArrayView frame, qint64 nowMs)
{
    if (frame.isEmpty())
        return;
    const auto type = quint8(frame[0]);
    if (const auto newest = history.newestMs(); newest && nowMs < *newest) {
        history.rewind(nowMs);
        ttff.rewind(nowMs);
    }
    if (type == Msg::Navigation) {
        const NavigationMessage m = parseNavigation(frame);
        counts.add(m.fix);
        ttff.navigation(nowMs, m.fix);
        history.addNavigation(
            {nowMs, m.fix, m.satellitesUsed, m.heightM, m.speedKmh, m.hdop, m.vdop});
    } else if (type == Msg::Satellites) {
        const SatelliteMessage m = parseSatellites(frame);
        LevelSample s;
        s.timeMs = nowMs;
        for (std::size_t k = 0; k < 8; ++k) {
            s.number[k] = m.channels[k].number;
            s.levelDb[k] = m.channels[k].levelDb;
            s.state[k] = m.channels[k].state;
            s.elevationDeg[k] = m.channels[k].elevationDeg;
        }
        history.addLevels(s);
    } else if (frame.size() == 4 && (type == Msg::ColdStart || type == Msg::SystemReset)) {
        // The receiver's echo confirms the command: acquisition starts over now.
        ttff.start(nowMs, type == Msg::ColdStart ? TtffStart::ColdStart : TtffStart::SystemReset);
    }
}
