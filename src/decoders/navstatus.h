#pragma once

#include "decoders/fields.h"
#include "link/units.h"

#include <QByteArrayView>
#include <array>

class GPS_Main;

// The main window's status boxes, in the order a navigation frame writes them; the sky
// plot is redrawn between CurSpeed and TimeDate.
enum class StatusBox { Vality, CurLat, CurLon, CurHeight, CurHead, CurSpeed, TimeDate, Sats };
inline constexpr int kStatusBoxes = 8;
// The boxes' names, by StatusBox.
inline constexpr std::array<const char *, kStatusBoxes> kStatusBoxNames = {
    "Vality", "CurLat", "CurLon", "CurHeight", "CurHead", "CurSpeed", "TimeDate", "Sats"};

// What a navigation frame puts on the main window's status panel.
struct NavStatus {
    // One field for each box, in StatusBox order.
    Fields fields;
    // The heading as a fraction of a full turn (0.25 = east).
    double headingFraction = 0;
};

// The fix state text of the low four bits: "0 Sats" .. "3D Fix", else «InValid 7».
QString fixStatusText(int fixStatus);

// Decodes a whole navigation frame; frame[0] is frame position 1 (the first type
// byte). Bytes missing from a short frame read as zero. Local time is UTC shifted
// by timeZoneIndex - 12 hours (the computer's zone for kComputerTimeZone). The
// position, height and speed are shown in `units`.
NavStatus decodeNavStatus(QByteArrayView frame, int timeZoneIndex, const Units &units = {});
