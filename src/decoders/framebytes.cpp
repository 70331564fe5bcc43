#include "framebytes.h"

namespace framebytes {

QString joinedHex(const GPS_Main &g, int position, int count)
{
    QString out;
    for (int i = 0; i < count; ++i)
        out += hex(g, position + i);
    return out;
}

qint16 signed16(const GPS_Main &g, int position)
{
    return qint16(quint16(at(g, position) << 8 | at(g, position + 1)));
}

qint32 signed32(const GPS_Main &g, int position)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = v << 8 | at(g, position + i);
    return qint32(v);
}

int bcdValue(const GPS_Main &g, int position, int count)
{
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const quint8 b = at(g, position + i);
        for (const int nibble : {b >> 4, b & 15}) {
            if (nibble > 9)
                return value;
            value = value * 10 + nibble;
        }
    }
    return value;
}

} // namespace framebytes
