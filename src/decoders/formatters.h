#pragma once

#include "link/hextext.h"

#include <QString>
#include <array>

// The texts every decoder shows. Each takes plain values and returns a text;
// none touches a window or keeps state. Number texts follow the user's locale
// (QLocale's default), which tests pin.

// At most 15 significant digits, rounded to nearest, no trailing zeros, the locale's
// decimal separator: 7 * 0.2 gives «1.4», 12 gives «12», -0.25 gives «-0.25».
QString NumberText(double x);
// The same digits with a blank for a non-negative sign, "." as the point and no zero
// before it: « .5», «-.25», « 12».
QString SignedNumberText(double x);
// Signal level class from v AND 3: "  0", "<10", "<20", ">20".
QString LevelText(int v);
// Channel condition from v AND 3: "Searching", "Tracking", "Decode", "Decode Fix".
QString ConditionText(int v);
// A coordinate DDDMM.mmmm as degrees and minutes: 4530.123456 gives « 45°30.1234»,
// 22.5 gives « 0°22.5» and -30 gives «-0°30».
QString DegMinText(double scaledCoordinate);
// A whole frame as "XX " per byte.
QString RawHexText(const quint8 *frame, int length);
QString RawHexText(QByteArrayView frame);
// Six BCD bytes (year, month, day, hour, minute, second) of UTC as local date and time,
// shifted by timeZoneIndex - 12 hours, or by the computer's zone rules for
// kComputerTimeZone (units.h); the date alone at exactly 00:00:00.
QString LocalDateTimeText(const std::array<quint8, 6> &bcd, int timeZoneIndex);
