#pragma once

#include "decoders/formatters.h"
#include "link/gpsmain.h"

#include <QString>

// The fields of the frame in RxBuffer, addressed by 1-based frame position.
// Multi-byte numbers are big-endian, signed ones two's complement.
namespace framebytes {

inline quint8 at(const GPS_Main &g, int position)
{
    return g.RxBuffer[std::size_t(position)];
}

inline QString hex(const GPS_Main &g, int position)
{
    return HexByte(at(g, position));
}

// HexByte of `count` bytes from `position` on, joined without separators.
QString joinedHex(const GPS_Main &g, int position, int count);
qint16 signed16(const GPS_Main &g, int position);
qint32 signed32(const GPS_Main &g, int position);
// Packed BCD bytes read as one decimal number, high nibble first. A nibble above 9
// is no digit: reading stops there, as it does for typed text.
int bcdValue(const GPS_Main &g, int position, int count);

} // namespace framebytes
