#pragma once

#include "decoders/fields.h"

#include <QtGlobal>

class GPS_Main;

// The receiver state text of the condition frame's byte 3, from its low four bits.
// The high four bits carry nothing here; the byte is left holding the low four alone,
// so the raw dump shows what the state was read from.
QString ConditionStateText(quint8 &stateByte);

// The texts of the Condition window for the condition frame in RxBuffer: Condition,
// SHealth, SVisible, SHeight, Longitude, Latitude, CDate, Satellite(k) and Level(k)
// for k = 1..8, RawHex. Clears the high nibble of byte 3 in RxBuffer.
Fields ConditionFields(GPS_Main &g);
