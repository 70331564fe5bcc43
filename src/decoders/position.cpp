#include "position.h"

#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "link/gpsmain.h"
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

Fields PositionFields(const GPS_Main &g)
{
    // The navigation frame's own length, whatever MsgLength says, as the window has
    // always read it.
    const QByteArrayView frame(reinterpret_cast<const char *>(g.RxBuffer.data() + 1),
                               findMessageType(Msg::Navigation)->length);
    const NavigationMessage m = parseNavigation(frame);
    Fields f;
    f.reserve(64);
    auto add = [&f](const QString &name, const QString &text) { f.append({name, text}); };

    add(QStringLiteral("Validity"), HexByte(m.status));
    add(QStringLiteral("HexLat"), fieldHex(quint32(m.latitudeRaw), 4));
    add(QStringLiteral("CurLat"), DegMinText(m.latitudeScaled));
    add(QStringLiteral("HexLon"), fieldHex(quint32(m.longitudeRaw), 4));
    add(QStringLiteral("CurLon"), DegMinText(m.longitudeScaled));
    add(QStringLiteral("HexHeight"), fieldHex(quint16(m.heightRaw), 2));
    add(QStringLiteral("CurHeight"), NumberText(m.heightM));
    add(QStringLiteral("ErrEll1"), NumberText(m.errorEllipseM[0]));
    add(QStringLiteral("ErrEll2"), NumberText(m.errorEllipseM[1]));
    add(QStringLiteral("HexHead"), fieldHex(quint16(m.headingRaw), 2));
    add(QStringLiteral("CurHead"), NumberText(m.headingDeg));
    add(QStringLiteral("HexHeadErr"), HexByte(m.headingErrorRaw));
    add(QStringLiteral("CurHeadErr"), NumberText(m.headingErrorDeg));
    add(QStringLiteral("HexSpeed"), HexByte(m.speedBcd[0]) + HexByte(m.speedBcd[1]));
    add(QStringLiteral("CurSpeed"), NumberText(m.speedKmh));
    add(QStringLiteral("HexSpeedErr"), HexByte(m.speedErrorRaw));
    add(QStringLiteral("CurSpeedErr"), NumberText(m.speedErrorKmh));
    add(QStringLiteral("Hexnu1"), HexByte(m.unusedA[0]));
    add(QStringLiteral("Hexnu2"), HexByte(m.unusedA[1]));
    add(QStringLiteral("Hexnu3"), HexByte(m.unusedA[2]));
    add(QStringLiteral("TimeDate"), LocalDateTimeText(m.utc.bcd, g.TimeZoneIndex));
    add(QStringLiteral("HDOP"), NumberText(m.hdop));
    add(QStringLiteral("VDOP"), NumberText(m.vdop));
    add(QStringLiteral("Sats"), QString::number(m.satellitesUsed));
    static const IndexedNames satUse("SatUse%1", 1, 4);
    static const IndexedNames satsHex("SatsHex%1", 1, 4);
    static const IndexedNames level("Level(%1)", 1, 8);
    static const IndexedNames condition("Condition(%1)", 1, 8);
    for (int i = 1; i <= 4; ++i)
        add(satUse[i], HexByte(m.satUse[std::size_t(i - 1)]));

    // Each status byte holds two channels: level and condition of the odd one in
    // the low nibble, of the even one in the high nibble.
    for (int k = 1; k <= 4; ++k) {
        const quint8 b = m.channelBytes[std::size_t(k - 1)];
        add(satsHex[k], HexByte(b));
        add(level[2 * k - 1], LevelText(b));
        add(condition[2 * k - 1], ConditionText(b >> 2));
        add(level[2 * k], LevelText(b >> 4));
        add(condition[2 * k], ConditionText(b >> 6));
    }
    add(QStringLiteral("UnUsed"), HexByte(m.unusedB));
    add(QStringLiteral("CheckSum"), HexByte(quint8(frame[42])));
    add(QStringLiteral("Terminator"), HexByte(quint8(frame[43])));
    add(QStringLiteral("Text3"), RawHexText(g));
    return f;
}
