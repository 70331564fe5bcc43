#include "formatters.h"

QString HexByte(int byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const int b = byte & 0xFF;
    const QChar text[2] = {QLatin1Char(digits[b >> 4]), QLatin1Char(digits[b & 15])};
    return QString(text, 2);
}
