#pragma once

#include "decoders/fields.h"

#include <QByteArrayView>

class GPS_Main;

// What a navigation frame puts on the main window's status panel.
struct NavStatus {
    // Vality, CurLat, CurLon, CurHeight, CurHead, CurSpeed, TimeDate, Sats, in the
    // order the window writes them; the sky plot is redrawn between CurSpeed and TimeDate.
    Fields fields;
    // The heading as a fraction of a full turn (0.25 = east).
    double headingFraction = 0;
};

// The fix state text of the low four bits: "0 Sats" .. "3D Fix", else «InValid 7».
QString fixStatusText(int fixStatus);

// Decodes a whole navigation frame; frame[0] is frame position 1 (the first type
// byte). Bytes missing from a short frame read as zero. Local time is UTC shifted
// by timeZoneIndex - 12 hours.
NavStatus decodeNavStatus(QByteArrayView frame, int timeZoneIndex);
