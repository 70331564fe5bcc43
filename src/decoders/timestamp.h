#pragma once

#include "decoders/fields.h"
#include "decoders/messagevalues.h"

#include <QByteArrayView>
#include <QtGlobal>

class FieldStore;

// A stamp as a date and time, in the same text form as the navigation time (the
// date alone at exactly midnight): 0 is 1 January 1999, 65535 is 31 March 2000 02:30.
QString StampDateText(quint16 value);
// The fixed description of item 1..21 ("Antenna Open", "Reserved", ...).
QString stampDescription(int item);

// The texts of the Time Stamp window for a time-stamp frame: TimeStamp(0) ..
// TimeStamp(20), RawHex.
Fields timeStampFields(QByteArrayView frame);
// The same into texts kept between messages.
void timeStampTexts(QByteArrayView frame, FieldStore &store);
