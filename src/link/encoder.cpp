#include "link/encoder.h"

#include "link/messagetypes.h"

#include <algorithm>

QByteArray requestFrame(int command)
{
    const quint8 c = quint8(command);
    const quint8 checksum = quint8(256 - (2 * c) % 256);
    QByteArray frame;
    frame.reserve(kFrameOverhead);
    frame.append(char(c)).append(char(c)).append(char(checksum)).append(char(kFrameEnd));
    return frame;
}

QByteArray commandFrame(int command, const std::array<quint8, 11> &cmdBuffer)
{
    const quint8 c = quint8(command);
    // The buffer holds ten payload bytes; a larger count cannot be sent.
    const int n = std::min<int>(cmdBuffer[0], 10);
    QByteArray frame;
    frame.reserve(n + kFrameOverhead);
    frame.append(char(c)).append(char(c));
    quint8 s = quint8(2 * c);
    for (int i = 1; i <= n; ++i) {
        frame.append(char(cmdBuffer[std::size_t(i)]));
        s = quint8(s + cmdBuffer[std::size_t(i)]);
    }
    frame.append(char(quint8(256 - s))).append(char(kFrameEnd));
    return frame;
}

QByteArray encodeFrame(int type, const QByteArray &payload)
{
    const quint8 t = quint8(type);
    QByteArray frame;
    frame.reserve(payload.size() + kFrameOverhead);
    frame.append(char(t)).append(char(t)).append(payload);
    quint8 s = 0;
    for (const char c : frame)
        s = quint8(s + quint8(c));
    frame.append(char(quint8(256 - s))).append(char(kFrameEnd));
    return frame;
}
