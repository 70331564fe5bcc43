#pragma once

#include "decoders/fields.h"

#include <QByteArrayView>
#include <QtGlobal>

class FieldStore;
class GPS_Main;

// Channel state colours as packed RGB, R + 256 G + 65536 B.
namespace SatColor {
constexpr int kSearch = 0 + 256 * 128 + 65536 * 128; // cyan
constexpr int kTrack = 128;                          // red
constexpr int kDecode = 128 + 256 * 128;             // yellow
constexpr int kFix = 256 * 128;                      // green
// An assigned channel with no state flag set: dark grey, so it stays visible.
constexpr int kIdle = 128 + 256 * 128 + 65536 * 128;
} // namespace SatColor

// State text of a channel state byte: the highest of bits 0..3 that is set decides
// ("Search", "Track", "Decode", "Fix"); none set gives an empty text.
QString SatStateText(quint8 state);
// State colour of a channel state byte, by the same rule; none set gives SatColor::kIdle.
int SatStateColor(quint8 state);
// "H" when bit n - 1 (n = 1..8) of the almanac health byte is set, "U" otherwise.
QString HealthLetter(quint8 health, int n);

// Rewrites SatTable from a satellite frame (frame[0] is frame position 1); the main
// window has it run for every satellite frame, whether or not the Receive Sat window is
// open. The non-empty channels fill rows 1..n in frame order; rows n+1..8 get
// satellite number 0.
void FillSatTable(GPS_Main &g, QByteArrayView frame);

// The texts of the Receive Sat window for a satellite frame: for k = 1..8 ID(k),
// Condition(k), SVACC(k), Level(k), Azimuth(k), Elevation(k); then Health(0) (elapsed
// days), Health(1) .. Health(32), RawHex.
Fields recSatFields(QByteArrayView frame);
// The same into texts kept between messages.
void recSatTexts(QByteArrayView frame, FieldStore &store);
