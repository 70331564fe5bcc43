#pragma once

#include "link/units.h"

#include <QDateTime>
#include <QString>

// Positions, heights, speeds and time zones as View, Units and the time-zone menu have
// the user read them: the main window, Position Scatter, History and kestrelctl's text
// share these. Degrees and minutes in metres and km/h are the receiver's own texts.

// A coordinate DDDMM.mmmm (south and west negative): « 47°22.3340» as the design
// writes it, "47.372233°" (signed, six decimals), or "47°22′20.04″ N". Rounding
// carries into the minute and degree: 59.995″ is the next minute's 00.00″.
QString positionText(double scaledCoordinate, bool latitude, PositionFormat format);
// The same from decimal degrees.
QString degreesPositionText(double degrees, bool latitude, PositionFormat format);

// Metres and km/h in the chosen unit, as numbers.
double heightValue(double metres, HeightUnit unit);
double speedValue(double kmh, SpeedUnit unit);
// "m", "ft"; "km/h", "kn", "mph", "m/s".
QString unitLabel(HeightUnit unit);
QString unitLabel(SpeedUnit unit);
// A height or speed as the main window shows it: metres and km/h as the design's bare
// number, the others rounded to the receiver's resolution with their unit ("1378.0 ft").
QString heightText(double metres, HeightUnit unit);
QString speedText(double kmh, SpeedUnit unit);

// The zone local times are shown in, by time-zone index: "UTC", "UTC+5", "UTC−7"; for
// kComputerTimeZone the computer's zone and its abbreviation at `at`: "Europe/Zurich, CET".
QString timeZoneName(int timeZoneIndex, const QDateTime &at);
