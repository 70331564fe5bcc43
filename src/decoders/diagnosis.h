#pragma once

#include "decoders/fields.h"

#include <QByteArrayView>

#include <QtGlobal>

class FieldStore;

// The text of one self-test error code: "00h No Error", "51h Antenna Open", ...;
// a code without a text of its own gives «77 Unknown data».
QString DiagErrorText(quint8 code);
// The firmware revision letter of byte 5: code 64 + byte / 16, halves to even,
// so 0x10 and 0x17 give "A", 0x18 "B", 0x28 "B", 0x00 "@" and 0xFF "P".
QString revisionLetter(quint8 b);

// The texts of the Diagnosis window for a diagnosis frame: Version, UnKnown, Error1,
// Error2, Error3, CheckSum, RawHex.
Fields diagnosisFields(QByteArrayView frame);
// The same into texts kept between messages.
void diagnosisTexts(QByteArrayView frame, FieldStore &store);
