#pragma once

#include "decoders/fields.h"

#include <QByteArrayView>

class FieldStore;

// Every field of a navigation frame (frame[0] is frame position 1), raw and decoded,
// for the Position window: Validity, HexLat/CurLat ... Level(1..8), Condition(1..8) ...
// Text3. Bytes missing from a short frame read as zero; the local time is UTC shifted
// by timeZoneIndex - 12 hours.
Fields positionFields(QByteArrayView frame, int timeZoneIndex);
// The same into texts kept between messages: only the fields whose bytes changed are
// made again.
void positionTexts(QByteArrayView frame, int timeZoneIndex, FieldStore &store);
