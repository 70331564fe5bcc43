#pragma once

#include "decoders/fields.h"

#include <QtGlobal>

class GPS_Main;

// The receiver's event time stamps: 21 items, each an unsigned 16-bit count of
// ten-minute steps from 1 January 1999 00:00.
constexpr int kTimeStampItems = 21;

// A stamp as a date and time, in the same text form as the navigation time (the
// date alone at exactly midnight): 0 is 1 January 1999, 65535 is 31 March 2000 02:30.
QString StampDateText(quint16 value);
// The fixed description of item 1..21 ("Antenna Open", "Reserved", ...).
QString StampDescription(int item);

// The texts of the Time Stamp window for the time-stamp frame in RxBuffer:
// TimeStamp(0) .. TimeStamp(20), RawHex.
Fields TimeStampFields(const GPS_Main &g);
