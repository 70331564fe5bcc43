#pragma once

#include "decoders/fields.h"

class GPS_Main;

// Every field of the navigation frame in RxBuffer, raw and decoded, for the
// Position window: Validity, HexLat/CurLat ... Level(1..8), Condition(1..8) ... Text3.
Fields PositionFields(const GPS_Main &g);
