#pragma once

#include <QString>
#include <optional>

class SettingsStore;

// The units the user reads positions, heights and speeds in (View, Units). They change
// what the main window, Position Scatter, History and kestrelctl's text show; the
// receiver's messages, JSON values and the setup windows keep their own units.
enum class PositionFormat { DegMin, Degrees, DegMinSec };
enum class HeightUnit { Metres, Feet };
enum class SpeedUnit { Kmh, Knots, Mph, MetresPerSecond };

struct Units {
    PositionFormat position = PositionFormat::DegMin;
    HeightUnit height = HeightUnit::Metres;
    SpeedUnit speed = SpeedUnit::Kmh;
    bool operator==(const Units &) const = default;
};

// One short name per choice, the same in the settings file and on kestrelctl's command
// line: "dm", "deg", "dms"; "m", "ft"; "kmh", "kn", "mph", "ms".
QString unitName(PositionFormat f);
QString unitName(HeightUnit u);
QString unitName(SpeedUnit u);

// A comma-separated list of names, each setting its own kind ("dms,ft,kn"); kinds not
// named keep `base`'s. Nothing for an unknown or empty name.
std::optional<Units> unitsFromNames(const QString &list, const Units &base = {});

// The units saved under "Units". A value the program never writes gives way to that
// kind's default, with a warning naming it.
Units storedUnits(const SettingsStore &store);
void saveUnits(SettingsStore &store, const Units &units);

// The time-zone index that stands for the computer's own zone rules, after the 25
// whole-hour indices 0..24 (local = UTC + index - 12 hours).
inline constexpr int kComputerTimeZone = 25;

// The zone saved by the program: the whole-hour index under "Time Zone/Zone", or
// kComputerTimeZone while "Time Zone/Computer" is on. The index keeps its own key, so
// turning the computer's zone off finds it as it was.
int storedTimeZone(const SettingsStore &store);
