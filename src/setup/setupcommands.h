#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>

// The three setup commands, from the texts typed in their windows to the payload
// sent to the receiver. No widgets: a command-line tool can send the same frames.

// A payload ready to send, or the reason it cannot be sent.
struct SetupPayload {
    QByteArray payload;
    // Empty when the payload can be sent; otherwise the message for the user.
    QString refusal;
    // The typed field the refusal is about (index into the texts given), or -1.
    int field = -1;

    bool ok() const { return refusal.isEmpty(); }
};

// Set Time: each of the six texts (year, month, day, hour, minute, second) read
// as a hexadecimal number, so the decimal digits the user sees travel as packed
// BCD (59 is sent as 0x59). Blanks before the digits and a plus sign are skipped;
// a minus sign, or a value that does not fit in a byte, is refused.
SetupPayload setTimePayload(const QStringList &fields);
// The six texts the window starts with: local time, two-digit year, the rest
// without leading zeros.
QStringList setTimeFields(const QDateTime &now);

// Set Position: degrees and minutes joined as text into DDDMM.mmmm, scaled by
// 9216 and rounded half to even into signed 32-bit big-endian; latitude in bytes
// 1-4, longitude in bytes 5-8, and 1 in byte 9. Degrees are whole (or empty, or a
// lone sign); the minutes and the joined text must each read wholly as a number;
// 60 minutes or more, or more than 90° of latitude or 180° of longitude, is refused.
// A refusal's field indexes the four texts in the order given.
SetupPayload setPositionPayload(const QString &latitudeD, const QString &latitudeM,
                                const QString &longitudeD, const QString &longitudeM);
// Degrees and minutes texts of a coordinate field (four bytes, most significant
// first): « 33» and «12.3455» from 01 D1 CC 71.
std::array<QString, 2> positionFields(quint8 b0, quint8 b1, quint8 b2, quint8 b3);

// Set Height: height and accuracy each doubled, rounded half to even, as signed
// 16-bit big-endian. Each text must read wholly as a number.
SetupPayload setHeightPayload(const QString &height, const QString &accuracy);
// The height shown for a height field (two bytes, half units): «1000» from 07 D0,
// «100.5» from 00 C9. The point is always "." so that the text reads back unchanged.
QString heightFieldText(quint8 high, quint8 low);
