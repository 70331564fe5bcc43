#pragma once

#include <QtGlobal>
#include <optional>

// The receiver's coordinate field: a signed 32-bit number, most significant byte first,
// holding DDDMM.mmmm (degrees x 100 + minutes; south and west negative) times 9216.
// The receiver scales in two steps, by 256 then by 36, and so do we.

// The field's DDDMM.mmmm.
double scaledFromField(qint32 field);
// DDDMM.mmmm as the field holds it, rounded half to even, or nothing when it does not
// fit the 32 bits (NaN and infinity never do).
std::optional<qint32> fieldFromScaled(double scaled);

// DDDMM.mmmm as decimal degrees (-3312.5 is -33.208333...), and back.
double degreesFromScaled(double scaled);
double scaledFromDegrees(double degrees);

// A position a fix can stand for: latitude within ±90°, longitude within ±180°, all
// finite. A message whose checksum held can still carry more (its fields reach some
// 2330°): such a position has no place on a map or in a local frame, where it would
// turn every figure of a cloud of fixes into NaN.
bool onTheEarth(double latitudeDeg, double longitudeDeg, double heightM);
