#pragma once

#include "decoders/fields.h"

#include <QByteArrayView>
#include <QtGlobal>

class FieldStore;

// The receiver state text of the condition frame's byte 3, from its low four bits;
// the high four bits carry nothing here.
QString ConditionStateText(quint8 stateByte);

// The texts of the Condition window for a condition frame: Condition, SHealth,
// SVisible, SHeight, Longitude, Latitude, CDate, Satellite(k) and Level(k) for
// k = 1..8, RawHex. The dump shows byte 3 with its high nibble cleared, the part the
// state is read from, as the window always has; the frame is only read.
Fields conditionFields(QByteArrayView frame);
// The same into texts kept between messages.
void conditionTexts(QByteArrayView frame, FieldStore &store);
