#pragma once

#include <QByteArray>
#include <array>

// A request frame: command, command, checksum, 13.
QByteArray requestFrame(int command);
// A command frame with the payload of a command buffer ([0] count, [1..10] bytes).
QByteArray commandFrame(int command, const std::array<quint8, 11> &cmdBuffer);
// Any frame: type, type, the payload, the checksum that makes the sum zero, 13.
// The simulated receiver builds every message with it.
QByteArray encodeFrame(int type, const QByteArray &payload);
