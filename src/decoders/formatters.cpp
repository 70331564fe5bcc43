#include "formatters.h"

#include "link/gpsmain.h"

QString HexByte(int byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const int b = byte & 0xFF;
    const QChar text[2] = {QLatin1Char(digits[b >> 4]), QLatin1Char(digits[b & 15])};
    return QString(text, 2);
}

// The formatters below are being written; they return empty texts until then.
QString NumberText(double)
{
    return {};
}

QString SignedNumberText(double)
{
    return {};
}

QString LevelText(int)
{
    return {};
}

QString ConditionText(int)
{
    return {};
}

QString DegMinText(double)
{
    return {};
}

QString RawHexText(const GPS_Main &g)
{
    return RawHexText(g.RxBuffer.data() + 1, g.MsgLength);
}

QString RawHexText(const quint8 *frame, int length)
{
    QString out;
    for (int i = 0; i < length; ++i)
        out += HexByte(frame[i]) + QLatin1Char(' ');
    return out;
}

QString LocalDateTimeText(const std::array<quint8, 6> &, int)
{
    return {};
}
