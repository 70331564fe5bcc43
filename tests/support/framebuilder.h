#pragma once

#include <QByteArray>
#include <initializer_list>
#include <utility>

class GPS_Main;

// A whole frame: type twice, the payload, the checksum that makes the sum zero, 13.
QByteArray buildFrame(quint8 type, const QByteArray &payload);
// A frame of the length the receiver uses for that type, with the payload padded
// with zeros (or cut) to fit.
QByteArray buildFrameOfType(quint8 type, const QByteArray &payload = {});
// A navigation frame with the given payload bytes laid at their frame positions:
// navFrame({{3, {0x04}}, {33, {7}}}).
QByteArray navFrame(std::initializer_list<std::pair<int, std::initializer_list<int>>> fields);
QByteArray bytes(std::initializer_list<int> values);
// Payload bytes laid at frame positions: place(payload, 4, {0x00, 0xA0}) puts the
// bytes at frame positions 4 and 5 (payload index = position - 3).
void place(QByteArray &payload, int position, std::initializer_list<int> values);
// The total frame length of a received type (0 for an unknown type).
int frameLength(quint8 type);
