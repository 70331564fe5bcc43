#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

// Accuracy against a surveyed point, without widgets: how far each fix lies east, north
// and up of the point, and the figures of those errors. Position Scatter and
// `kestrelctl stats --reference` both read ReferenceStatistics.

class SettingsStore;

namespace GeographicLib {
class LocalCartesian;
}

// A surveyed antenna position on the WGS84 ellipsoid. Without a height only the
// horizontal figures mean anything.
struct ReferencePoint {
    double latitudeDeg = 0;
    double longitudeDeg = 0;
    std::optional<double> heightM;

    bool operator==(const ReferencePoint &) const = default;
};

// One coordinate as a user types it: decimal degrees («47.3702», «-8.5»), or degrees
// and decimal minutes («47 22.212», «47°22.212'»), either with a hemisphere letter after
// it (N S for a latitude, E W for a longitude) or a minus sign before it. Out of range,
// minutes of 60 or more, or no number is nullopt with `error` saying why.
std::optional<double> parseCoordinate(const QString &text, bool latitude, QString &error);
// A height in metres, -1000 to 9000; empty is "no height" (nullopt without an error).
std::optional<double> parseHeight(const QString &text, QString &error, bool &given);
// «LAT,LON» or «LAT,LON,H», decimal degrees and metres, as --reference takes it.
std::optional<ReferencePoint> parseReferenceOption(const QString &text, QString &error);

// The point kept in the settings, and «LAT,LON[,H]» as they store it; an empty or
// unreadable setting is no point.
std::optional<ReferencePoint> loadReferencePoint(const SettingsStore *store);
void saveReferencePoint(SettingsStore *store, const std::optional<ReferencePoint> &point);
QString referencePointText(const ReferencePoint &point);

// The error of one fix: metres east, north and up of the reference (up is 0 without a
// reference height).
struct Enu {
    double east = 0;
    double north = 0;
    double up = 0;
};

// The figures of the fixes about the reference.
struct ReferenceSummary {
    qint64 count = 0;
    // The mean error along each axis.
    double biasEastM = 0, biasNorthM = 0, biasUpM = 0;
    // Root mean square of the horizontal distances and of the up errors.
    double horizontalRmsM = 0, verticalRmsM = 0;
    // The median and the 95th percentile (type 7) of the horizontal distances.
    double cep50M = 0, r95M = 0;
    // False without a reference height: the up figures are left out then.
    bool hasVertical = false;
};

// The fixes' errors about a reference point. Each fix's ECEF vector minus the point's,
// turned into the point's local east, north, up frame (GeographicLib::LocalCartesian),
// so the figures hold at any latitude and across the antimeridian. The fixes are kept
// so that a new reference measures them again. With a capacity only the newest fixes
// are kept, as Position Scatter keeps its positions.
class ReferenceStatistics {
public:
    // Keeps at most `capacity` fixes, the newest; 0 keeps every one.
    explicit ReferenceStatistics(std::size_t capacity = 0);
    ~ReferenceStatistics();
    ReferenceStatistics(const ReferenceStatistics &) = delete;
    ReferenceStatistics &operator=(const ReferenceStatistics &) = delete;

    void setReference(const std::optional<ReferencePoint> &point);
    const std::optional<ReferencePoint> &reference() const { return m_reference; }
    // A fix at `timeMs` (any time base the caller keeps).
    // Leaves out a position not on the earth (onTheEarth); says whether it was added.
    bool add(qint64 timeMs, double latitudeDeg, double longitudeDeg, double heightM);
    void clear();
    qint64 count() const { return qint64(m_fixes.size()); }

    // Errors in the order added; empty without a reference.
    const std::deque<Enu> &errors() const { return m_errors; }
    const std::deque<qint64> &times() const { return m_times; }
    // Computed when asked (linear, for the percentiles); zero without a reference.
    ReferenceSummary summary() const;

private:
    Enu errorOf(double latitudeDeg, double longitudeDeg, double heightM) const;

    struct Fix {
        double latitudeDeg, longitudeDeg, heightM;
    };
    std::optional<ReferencePoint> m_reference;
    std::unique_ptr<GeographicLib::LocalCartesian> m_frame;
    std::size_t m_capacity = 0;
    std::deque<Fix> m_fixes;
    std::deque<qint64> m_times;
    std::deque<Enu> m_errors;
};
