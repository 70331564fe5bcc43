#include "navstatus.h"

#include "decoders/formatters.h"
#include "link/gpsmain.h"

namespace {

// Frame positions are 1-based; a byte past the end of a short frame reads as zero.
quint8 at(QByteArrayView frame, int position)
{
    return position >= 1 && position <= frame.size() ? quint8(frame[position - 1]) : 0;
}

qint32 int32At(QByteArrayView frame, int position)
{
    const quint32 v = quint32(at(frame, position)) << 24 | quint32(at(frame, position + 1)) << 16 |
                      quint32(at(frame, position + 2)) << 8 | at(frame, position + 3);
    return qint32(v);
}

qint16 int16At(QByteArrayView frame, int position)
{
    return qint16(quint16(at(frame, position) << 8 | at(frame, position + 1)));
}

// The speed's four BCD digits read as one decimal number; a nibble above 9 ends
// the number there, as it would when reading its hex text.
int bcdDigits(quint8 high, quint8 low)
{
    const int nibbles[] = {high >> 4, high & 15, low >> 4, low & 15};
    int value = 0;
    for (int n : nibbles) {
        if (n > 9)
            break;
        value = value * 10 + n;
    }
    return value;
}

} // namespace

QString FixStatusText(int fixStatus)
{
    static const char *const texts[] = {"0 Sats", "1 Sat", "2 Sats", "2D Fix", "3D Fix"};
    const int state = fixStatus & 15;
    if (state < 5)
        return QString::fromLatin1(texts[state]);
    return QStringLiteral("InValid %1").arg(state);
}

NavStatus DecodeNavStatus(QByteArrayView frame, int timeZoneIndex)
{
    NavStatus s;
    s.headingFraction = int16At(frame, 16) / 1024.0;
    std::array<quint8, 6> fixTime{};
    for (int i = 0; i < 6; ++i)
        fixTime[i] = at(frame, 25 + i);

    s.fields = {
        {QStringLiteral("Vality"), FixStatusText(at(frame, 3))},
        {QStringLiteral("CurLat"), DegMinText(int32At(frame, 4) / 9216.0)},
        {QStringLiteral("CurLon"), DegMinText(int32At(frame, 8) / 9216.0)},
        {QStringLiteral("CurHeight"), NumberText(int16At(frame, 12) / 2.0)},
        {QStringLiteral("CurHead"), NumberText(s.headingFraction * 360)},
        {QStringLiteral("CurSpeed"), NumberText(bcdDigits(at(frame, 19), at(frame, 20)) / 4.0)},
        {QStringLiteral("TimeDate"), LocalDateTimeText(fixTime, timeZoneIndex)},
        {QStringLiteral("Sats"), QString::number(at(frame, 33))},
    };
    return s;
}

NavStatus DecodeNavStatus(const GPS_Main &g)
{
    const int length = qBound(0, int(g.MsgLength), GPS_Main::kRxSize - 1);
    const QByteArrayView frame(reinterpret_cast<const char *>(g.RxBuffer.data() + 1), length);
    return DecodeNavStatus(frame, g.TimeZoneIndex);
}
