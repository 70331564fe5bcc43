#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>
#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

// How good the receiver is, without widgets: the position scatter and its accuracy
// figures, the time to first fix and the history of the last minutes. The Signal
// Levels, History and Position Scatter windows and `kestrelctl stats` all read these.

namespace GeographicLib {
class LocalCartesian;
}

// A percentile of values by linear interpolation between closest ranks (Hyndman and
// Fan's type 7, numpy's default): sorted x[0..n-1], h = (n - 1) p, the value is
// x[floor h] + (h - floor h) (x[floor h + 1] - x[floor h]). p = 0.5 is the median.
// `values` is reordered. 0 for no values.
double percentile(std::vector<double> &values, double p);

// Navigation messages counted by the fix state they report.
struct FixCounts {
    qint64 navigation = 0;
    qint64 none = 0;    // fix state 0..2: that many satellites, no position
    qint64 twoD = 0;    // fix state 3
    qint64 threeD = 0;  // fix state 4
    qint64 invalid = 0; // above 4
    void add(int fix);
};

// The accuracy figures of a cloud of positions, in metres about its mean.
struct PositionSummary {
    qint64 count = 0;
    double meanLatitudeDeg = 0;
    double meanLongitudeDeg = 0;
    double meanHeightM = 0;
    // Population standard deviation of the heights (divided by n).
    double heightStdM = 0;
    // Median horizontal distance from the mean position.
    double cep50M = 0;
    // Twice the root mean square of the horizontal distances from the mean.
    double drms2M = 0;
    // The 95th percentile of the horizontal distances (percentile, p = 0.95).
    double r95M = 0;
    // The largest east or north distance of any position from the mean.
    double farthestM = 0;
};

// East and north metres of one position about the cloud's mean.
struct EastNorth {
    double east = 0;
    double north = 0;
};

// Positions on the WGS84 ellipsoid and their spread. Each position is kept as
// earth-centred cartesian metres in the local frame of the first position
// (GeographicLib::LocalCartesian), so the mean is the mean of 3D vectors: right across
// the antimeridian and at the poles. The summary turns the spread into the local east,
// north, up frame at the mean (the rotation LocalCartesian gives) and takes the
// horizontal distances there. Adding is constant time: the sums, the running co-moments
// of the vectors (Welford's update, which keeps its precision far from the first
// position) and of the heights go along. The summary is cached until the next position;
// taking it is linear only for the percentiles (two selections, no sort), so a window
// takes it a few times a second, not per fix.
// With a capacity, only the newest positions are kept: the oldest is taken out of the
// sums as it is dropped (the same update backwards), and the sums are worked again from
// the kept positions once per capacity of drops, so no rounding builds up over a long run.
class PositionStatistics {
public:
    using Vector = std::array<double, 3>;

    // Keeps at most `capacity` positions, the newest; 0 keeps every one.
    explicit PositionStatistics(std::size_t capacity = 0);
    ~PositionStatistics();
    PositionStatistics(const PositionStatistics &) = delete;
    PositionStatistics &operator=(const PositionStatistics &) = delete;

    // Leaves out, and counts, a position not on the earth; says whether it was added.
    bool add(double latitudeDeg, double longitudeDeg, double heightM);
    void clear();
    qint64 count() const { return qint64(m_points.size()); }
    // Positions left out since the last clear, being off the earth.
    quint64 offTheEarth() const { return m_offTheEarth; }
    std::size_t capacity() const { return m_capacity; }
    // Positions dropped for the capacity since the last clear.
    quint64 dropped() const { return m_dropped; }
    // Goes up with every clear: positions kept from before belong to another cloud.
    quint64 clears() const { return m_clears; }

    const PositionSummary &summary() const;
    // Every position in east/north metres about the mean, in the order added.
    const std::vector<EastNorth> &eastNorth() const;
    // The `index`th position in east/north metres about the mean.
    EastNorth eastNorthAt(std::size_t index) const;
    // Any other position in east/north metres about this cloud's mean (a 2D fix drawn
    // with the 3D ones); {0, 0} while the cloud is empty.
    EastNorth eastNorthOf(double latitudeDeg, double longitudeDeg, double heightM) const;
    // The mean as a vector in the first position's frame, and any such vector in
    // east/north metres about the mean now: how far the mean moved since.
    Vector meanVector() const;
    EastNorth eastNorthOfVector(const Vector &v) const;

private:
    struct Point {
        Vector v; // in the first position's local cartesian frame
        double heightM;
    };
    void update() const;
    void dropOldest();
    void sumAgain();

    std::unique_ptr<GeographicLib::LocalCartesian> m_first;
    std::size_t m_capacity = 0;
    std::deque<Point> m_points;
    quint64 m_dropped = 0;
    quint64 m_offTheEarth = 0;
    std::size_t m_dropsSinceSummed = 0;
    double m_sx = 0, m_sy = 0, m_sz = 0;
    // Sum of the products of the deviations from the mean: xx, xy, xz, yy, yz, zz.
    std::array<double, 6> m_co{};
    // Heights by Welford's running mean and sum of squared deviations.
    double m_hMean = 0, m_hM2 = 0;
    quint64 m_clears = 0;

    mutable bool m_dirty = false;
    mutable bool m_enDirty = false;
    mutable PositionSummary m_summary;
    mutable std::vector<EastNorth> m_en;
    mutable std::vector<double> m_scratch;
    // The mean vector and the rotation into east, north, up there: v_enu = M^T v.
    mutable Vector m_mean{};
    mutable std::vector<double> m_rotation = std::vector<double>(9);
};

// Why a time-to-first-fix run started.
enum class TtffStart { PortOpened, ColdStart, SystemReset, RecordingStart, PortReopened };
QString ttffStartText(TtffStart cause);

struct TtffRun {
    TtffStart cause = TtffStart::PortOpened;
    qint64 startMs = 0;
    std::optional<qint64> to2DMs;    // first navigation message with a 2D or 3D fix
    std::optional<qint64> to3DMs;    // first with a 3D fix
    std::optional<qint64> toFirstMs; // first navigation message of any kind
    // The receiver had its fix before the run began (its first message of the run
    // already reports one): the time to it says nothing about acquisition.
    bool fixAtStart = false;
    bool threeDAtStart = false;
};

// «fix at start», or seconds with one decimal («12.0»), or «–» for none yet.
QString ttff2DText(const TtffRun &run);
QString ttff3DText(const TtffRun &run);

// Time to first fix: a run starts when the port opens or is reopened after a loss, or
// the receiver confirms a Cold Start or System Reset (its four-byte acknowledgement
// arrives); it ends at the first navigation message with a 3D fix. The last runs are
// kept.
class TtffTracker {
public:
    static constexpr int kKeptRuns = 10;

    void start(qint64 nowMs, TtffStart cause);
    void navigation(qint64 nowMs, int fix);
    // The data's time went back to `toMs` (a replay moved back): what the runs saw at
    // or after it is forgotten, and runs begun then are dropped. A port's opening is
    // kept: a replay cannot move before its own start.
    void rewind(qint64 toMs);
    // Runs, oldest first; the last is the current one.
    const std::deque<TtffRun> &runs() const { return m_runs; }
    const TtffRun *current() const { return m_runs.empty() ? nullptr : &m_runs.back(); }
    // For the status line: «TTFF 2D 12.0 s, 3D 15.0 s», «TTFF: no fix for 8 s after
    // Cold Start», «TTFF: fix at start»; empty before any run.
    QString text(qint64 nowMs) const;

private:
    std::deque<TtffRun> m_runs;
};

// Seconds with one decimal: 12.0.
QString tenthsOfSecondsText(qint64 ms);

// One navigation message in the history.
struct NavSample {
    qint64 timeMs = 0;
    int fix = 0;
    int satellitesUsed = 0;
    double heightM = 0;
    double speedKmh = 0;
    double hdop = 0;
    double vdop = 0;
};

// One satellite message in the history: each channel's satellite and level.
struct LevelSample {
    qint64 timeMs = 0;
    std::array<int, 8> number{};
    std::array<double, 8> levelDb{};
    // Each channel's state bits (search, track, decode, fix) and its satellite's elevation.
    std::array<quint8, 8> state{};
    std::array<double, 8> elevationDeg{};
};

// The last ten minutes of navigation and satellite messages, oldest first. A line that
// carries far more messages than a receiver sends (a fast replay, a noisy line) keeps
// only the newest kMaxSamples of each, so memory stays bounded.
class History {
public:
    static constexpr qint64 kSpanMs = 10 * 60 * 1000;
    // Twenty messages a second for the whole span.
    static constexpr std::size_t kMaxSamples = 20 * kSpanMs / 1000;

    void addNavigation(const NavSample &s);
    void addLevels(const LevelSample &s);
    void clear();
    // Drops the samples at or after `toMs`: the data's time went back there.
    void rewind(qint64 toMs);
    const std::deque<NavSample> &navigation() const { return m_nav; }
    const std::deque<LevelSample> &levels() const { return m_levels; }
    // The newest sample's time, if any.
    std::optional<qint64> newestMs() const;
    // Goes up whenever samples are taken away other than by age (clear, rewind): a
    // reader that copies the samples as they come starts over then.
    quint64 resets() const { return m_resets; }

private:
    std::deque<NavSample> m_nav;
    std::deque<LevelSample> m_levels;
    quint64 m_resets = 0;
};

// Everything above fed from whole frames as received (frame[0] is the first type byte):
// navigation messages count, advance the time to first fix and go into the history;
// satellite messages go into the history; a Cold Start or System Reset acknowledgement
// starts a new time-to-first-fix run. A frame timed before the newest sample (a replay
// moved back) first takes back what came after its time. The program keeps one
// (QualityWatch); kestrelctl stats makes one per recording and adds the 3D fixes' positions.
class ReceiverQuality {
public:
    void start(qint64 nowMs, TtffStart cause);
    void frame(QByteArrayView frame, qint64 nowMs);

    FixCounts counts;
    TtffTracker ttff;
    History history;
};
