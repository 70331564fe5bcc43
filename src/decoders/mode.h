#pragma once

#include "decoders/fields.h"

class GPS_Main;

// The texts of the Mode window for the mode frame in RxBuffer: Mode, MinElevat,
// MinSignal, PDOP, Smoothing, Search, SHeight, RawHex.
Fields ModeFields(const GPS_Main &g);
