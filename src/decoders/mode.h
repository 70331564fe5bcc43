#pragma once

#include "decoders/fields.h"

#include <QByteArrayView>

class FieldStore;
class GPS_Main;

// The texts of the Mode window for a mode frame: Mode, MinElevat, MinSignal, PDOP,
// Smoothing, Search, SHeight, RawHex; the second form reads the frame last received.
Fields modeFields(QByteArrayView frame);
// The same into texts kept between messages.
void modeTexts(QByteArrayView frame, FieldStore &store);
Fields modeFields(const GPS_Main &g);
