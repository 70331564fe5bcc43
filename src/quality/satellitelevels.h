#pragma once

#include "quality/fixstatistics.h"

#include <QtGlobal>

#include <deque>
#include <limits>
#include <map>
#include <vector>

// Levels per satellite instead of per channel: the receiver moves a satellite to
// another channel when it reshuffles them, and a per-channel line then jumps. History's
// "by satellite" plot, the level-against-elevation plot and `kestrelctl stats` read these.

// Satellite messages further apart than this are a gap in tracking, not a second of it:
// the receiver sends one a second, so three missed messages mean it was gone.
constexpr qint64 kTrackingGapMs = 3000;

// Whether channel `k` of a sample tracks a satellite: a number from 1 to 32 and the
// track bit of its state set (a searching channel names a satellite it has not found).
bool tracks(const LevelSample &s, std::size_t k);

// One satellite in one satellite message.
struct SatellitePoint {
    qint64 timeMs = 0;
    double levelDb = 0;
    double elevationDeg = 0;
};

// The samples at or after `fromMs` by satellite number, whichever channel carried
// each, oldest first; a satellite appears only in the samples that track it.
std::map<int, std::vector<SatellitePoint>>
levelsBySatellite(const std::deque<LevelSample> &samples,
                  qint64 fromMs = std::numeric_limits<qint64>::min());

// One satellite over a whole recording.
struct SatelliteSummary {
    int number = 0;
    qint64 samples = 0;     // satellite messages that track it
    double meanLevelDb = 0; // over those
    // The time between consecutive satellite messages that both track it, where they
    // are at most kTrackingGapMs apart.
    qint64 trackedMs = 0;
};

// The per-satellite figures of every satellite message fed, however long the run.
class SatelliteTracking {
public:
    void add(const LevelSample &s);
    // By satellite number.
    std::vector<SatelliteSummary> summaries() const;

private:
    struct Sums {
        qint64 samples = 0;
        double levelSum = 0;
        qint64 trackedMs = 0;
    };
    std::map<int, Sums> m_sums;
    bool m_havePrevious = false;
    LevelSample m_previous;
};
