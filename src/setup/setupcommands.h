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

// Set Time: each of the six texts (year, month, day, hour, minute, second) must be
// a whole decimal number in its range: year 00-99, month 01-12, a day of that month
// in 20YY, hour 00-23, minute and second 00-59. The digits travel as packed BCD
// (59 is sent as 0x59). A refusal names the first field at fault and its range.
SetupPayload setTimePayload(const QStringList &fields);
// The six texts the window starts with: local time, two-digit year, the rest
// without leading zeros.
QStringList setTimeFields(const QDateTime &now);

// Set Position: whole degrees (their sign, "-0" too, is the coordinate's) and
// minutes as a number from 0 to below 60 ("5.5" is 05.5'), scaled by 9216 and
// rounded half to even into signed 32-bit big-endian; latitude in bytes 1-4,
// longitude in bytes 5-8, and 1 in byte 9. More than 90° of latitude or 180° of
// longitude is refused. A refusal's field indexes the four texts in the order given.
SetupPayload setPositionPayload(const QString &latitudeD, const QString &latitudeM,
                                const QString &longitudeD, const QString &longitudeM);
// The same payload from two DDDMM.mmmm texts, as kestrelctl takes them; a refusal's
// field is 0 (latitude) or 1 (longitude).
SetupPayload setPositionScaledPayload(const QString &latitude, const QString &longitude);
// Degrees and minutes texts of a coordinate field (four bytes, most significant
// first): « 33» and «12.3455» from 01 D1 CC 71.
std::array<QString, 2> positionFields(quint8 b0, quint8 b1, quint8 b2, quint8 b3);

// Set Height: height and accuracy each doubled, rounded half to even, as signed
// 16-bit big-endian. Each text must read wholly as a number.
SetupPayload setHeightPayload(const QString &height, const QString &accuracy);
// The height shown for a height field (two bytes, half units): «1000» from 07 D0,
// «100.5» from 00 C9. The point is always "." so that the text reads back unchanged.
QString heightFieldText(quint8 high, quint8 low);
