#pragma once

#include "decoders/fields.h"

#include <QByteArrayView>

class FieldStore;

// The texts of the Mode window for a mode frame: Mode, MinElevat, MinSignal, PDOP,
// Smoothing, Search, SHeight, RawHex.
Fields modeFields(QByteArrayView frame);
// The same into texts kept between messages.
void modeTexts(QByteArrayView frame, FieldStore &store);
