#include "decoders/position.h"

#include "decoders/fieldstore.h"
#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "link/messagetypes.h"

namespace {

// HexByte of each byte of a big-endian field, joined without separators.
QString fieldHex(quint32 value, int bytes)
{
    QString out;
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out += HexByte(quint8(value >> shift));
    return out;
}

} // namespace

void positionTexts(QByteArrayView frame, int timeZoneIndex, FieldStore &s)
{
    const NavigationMessage m = parseNavigation(frame);
    using K = FieldStore;
    s.begin();
    s.next(QStringLiteral("Validity"), m.status, [&] { return HexByte(m.status); });
    s.next(QStringLiteral("HexLat"), quint32(m.latitudeRaw),
           [&] { return fieldHex(quint32(m.latitudeRaw), 4); });
    s.next(QStringLiteral("CurLat"), quint32(m.latitudeRaw),
           [&] { return DegMinText(m.latitudeScaled); });
    s.next(QStringLiteral("HexLon"), quint32(m.longitudeRaw),
           [&] { return fieldHex(quint32(m.longitudeRaw), 4); });
    s.next(QStringLiteral("CurLon"), quint32(m.longitudeRaw),
           [&] { return DegMinText(m.longitudeScaled); });
    s.next(QStringLiteral("HexHeight"), quint16(m.heightRaw),
           [&] { return fieldHex(quint16(m.heightRaw), 2); });
    s.next(QStringLiteral("CurHeight"), quint16(m.heightRaw),
           [&] { return NumberText(m.heightM); });
    s.next(QStringLiteral("ErrEll1"), m.errorEllipseRaw[0],
           [&] { return NumberText(m.errorEllipseM[0]); });
    s.next(QStringLiteral("ErrEll2"), m.errorEllipseRaw[1],
           [&] { return NumberText(m.errorEllipseM[1]); });
    s.next(QStringLiteral("HexHead"), quint16(m.headingRaw),
           [&] { return fieldHex(quint16(m.headingRaw), 2); });
    s.next(QStringLiteral("CurHead"), quint16(m.headingRaw),
           [&] { return NumberText(m.headingDeg); });
    s.next(QStringLiteral("HexHeadErr"), m.headingErrorRaw,
           [&] { return HexByte(m.headingErrorRaw); });
    s.next(QStringLiteral("CurHeadErr"), m.headingErrorRaw,
           [&] { return NumberText(m.headingErrorDeg); });
    const quint64 speed = K::key({m.speedBcd[0], m.speedBcd[1]});
    s.next(QStringLiteral("HexSpeed"), speed,
           [&] { return HexByte(m.speedBcd[0]) + HexByte(m.speedBcd[1]); });
    s.next(QStringLiteral("CurSpeed"), speed, [&] { return NumberText(m.speedKmh); });
    s.next(QStringLiteral("HexSpeedErr"), m.speedErrorRaw,
           [&] { return HexByte(m.speedErrorRaw); });
    s.next(QStringLiteral("CurSpeedErr"), m.speedErrorRaw,
           [&] { return NumberText(m.speedErrorKmh); });
    static const IndexedNames unusedA("Hexnu%1", 1, 3);
    for (int i = 1; i <= 3; ++i) {
        const quint8 b = m.unusedA[std::size_t(i - 1)];
        s.next(unusedA[i], b, [&] { return HexByte(b); });
    }
    const auto &t = m.utc.bcd;
    s.next(QStringLiteral("TimeDate"),
           K::key({t[0], t[1], t[2], t[3], t[4], t[5], quint8(timeZoneIndex)}),
           [&] { return LocalDateTimeText(m.utc.bcd, timeZoneIndex); });
    s.next(QStringLiteral("HDOP"), m.hdopRaw, [&] { return NumberText(m.hdop); });
    s.next(QStringLiteral("VDOP"), m.vdopRaw, [&] { return NumberText(m.vdop); });
    s.next(QStringLiteral("Sats"), quint64(m.satellitesUsed),
           [&] { return QString::number(m.satellitesUsed); });
    static const IndexedNames satUse("SatUse%1", 1, 4);
    static const IndexedNames satsHex("SatsHex%1", 1, 4);
    static const IndexedNames level("Level(%1)", 1, 8);
    static const IndexedNames condition("Condition(%1)", 1, 8);
    for (int i = 1; i <= 4; ++i) {
        const quint8 b = m.satUse[std::size_t(i - 1)];
        s.next(satUse[i], b, [&] { return HexByte(b); });
    }

    // Each status byte holds two channels: level and condition of the odd one in
    // the low nibble, of the even one in the high nibble.
    for (int k = 1; k <= 4; ++k) {
        const quint8 b = m.channelBytes[std::size_t(k - 1)];
        s.next(satsHex[k], b, [&] { return HexByte(b); });
        s.next(level[2 * k - 1], b & 3, [&] { return LevelText(b); });
        s.next(condition[2 * k - 1], b >> 2 & 3, [&] { return ConditionText(b >> 2); });
        s.next(level[2 * k], b >> 4 & 3, [&] { return LevelText(b >> 4); });
        s.next(condition[2 * k], b >> 6, [&] { return ConditionText(b >> 6); });
    }
    s.next(QStringLiteral("UnUsed"), m.unusedB, [&] { return HexByte(m.unusedB); });
    const auto at = [&](qsizetype i) { return i < frame.size() ? quint8(frame[i]) : quint8(0); };
    const quint8 checksum = at(42), terminator = at(43);
    s.next(QStringLiteral("CheckSum"), checksum, [&] { return HexByte(checksum); });
    s.next(QStringLiteral("Terminator"), terminator, [&] { return HexByte(terminator); });
    s.next(QStringLiteral("Text3"), frame, [&] { return RawHexText(frame); });
}

Fields positionFields(QByteArrayView frame, int timeZoneIndex)
{
    FieldStore s;
    positionTexts(frame, timeZoneIndex, s);
    return s.fields();
}
