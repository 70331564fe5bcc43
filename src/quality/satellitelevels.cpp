#include "quality/satellitelevels.h"

#include <algorithm>

bool tracks(const LevelSample &s, std::size_t k)
{
    return k < s.number.size() && s.number[k] >= 1 && s.number[k] <= 32 && (s.state[k] & 0x02);
}

std::map<int, std::vector<SatellitePoint>> levelsBySatellite(const std::deque<LevelSample> &samples,
                                                             qint64 fromMs)
{
    std::map<int, std::vector<SatellitePoint>> out;
    const auto first =
        std::lower_bound(samples.begin(), samples.end(), fromMs,
                         [](const LevelSample &s, qint64 t) { return s.timeMs < t; });
    for (auto it = first; it != samples.end(); ++it)
        for (std::size_t k = 0; k < it->number.size(); ++k)
            if (tracks(*it, k))
                out[it->number[k]].push_back({it->timeMs, it->levelDb[k], it->elevationDeg[k]});
    return out;
}

namespace {

bool tracksNumber(const LevelSample &s, int number)
{
    for (std::size_t k = 0; k < s.number.size(); ++k)
        if (s.number[k] == number && tracks(s, k))
            return true;
    return false;
}

} // namespace

void SatelliteTracking::add(const LevelSample &s)
{
    const qint64 step = m_havePrevious ? s.timeMs - m_previous.timeMs : -1;
    for (std::size_t k = 0; k < s.number.size(); ++k) {
        if (!tracks(s, k))
            continue;
        Sums &sums = m_sums[s.number[k]];
        ++sums.samples;
        sums.levelSum += s.levelDb[k];
        if (step > 0 && step <= kTrackingGapMs && tracksNumber(m_previous, s.number[k]))
            sums.trackedMs += step;
    }
    m_previous = s;
    m_havePrevious = true;
}

std::vector<SatelliteSummary> SatelliteTracking::summaries() const
{
    std::vector<SatelliteSummary> out;
    for (const auto &[number, sums] : m_sums)
        out.push_back({number, sums.samples,
                       sums.samples > 0 ? sums.levelSum / double(sums.samples) : 0.0,
                       sums.trackedMs});
    return out;
}
