#pragma once

#include "decoders/messagevalues.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The receiver's messages as numbers in units, for scripts and other programs: no
// display format, no time zone (times are UTC), nothing read from saved settings.
// Each reads the parsed values of messagevalues.h.

// The frame's values as one JSON object, keys in a fixed order (the kestrelctl manual
// lists them); empty for a type that has none. `frame` is whole, frame[0] the type.
QByteArray messageValuesJson(QByteArrayView frame);
// The same object written onto the end of `out`; false (nothing written) for a type
// that has none.
bool appendMessageValuesJson(QByteArray &out, QByteArrayView frame);

QByteArray navigationValuesJson(const NavigationMessage &m);
QByteArray satelliteValuesJson(const SatelliteMessage &m);
QByteArray conditionValuesJson(const ConditionMessage &m);
QByteArray modeValuesJson(const ModeMessage &m);
QByteArray diagnosisValuesJson(const DiagnosisMessage &m);
QByteArray timeStampValuesJson(const TimeStampMessage &m);

// «2026-12-07T20:15:03Z», or empty when the six numbers are no real date and time.
// Years 98 and 99 are 1998 and 1999, the others 20YY, as in the windows.
QString utcIsoText(const BcdDateTime &utc);
// "none", "2d" or "3d"; a fix state above 4 is no fix.
const char *fixText(int fixState);
// The heading the windows show (it may be negative) as a course from 0 to below 360.
double courseDeg(const NavigationMessage &m);

// One line per navigation message in fixed columns, for a terminal or a file:
// UTC time, fix, satellites used, latitude, longitude (degrees), height (m), speed
// (km/h), heading (degrees). fixHeader() names the columns, starting with "#".
QString fixLine(const NavigationMessage &m);
QString fixHeader();
