#pragma once

#include "decoders/fields.h"

class FieldStore;
class GPS_Main;

// Every field of the navigation frame in RxBuffer, raw and decoded, for the
// Position window: Validity, HexLat/CurLat ... Level(1..8), Condition(1..8) ... Text3.
Fields positionFields(const GPS_Main &g);
// The same into texts kept between messages: only the fields whose bytes changed are
// made again.
void positionTexts(const GPS_Main &g, FieldStore &store);
