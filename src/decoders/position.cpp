#include "position.h"

#include "framebytes.h"

using namespace framebytes;

namespace {
// A coordinate field is the ScaledCoordinate DDDMM.mmmm times 9216.
constexpr double kCoordinateScale = 9216.0;
} // namespace

Fields PositionFields(const GPS_Main &g)
{
    Fields f;
    f.reserve(64);
    auto add = [&f](const QString &name, const QString &text) { f.append({name, text}); };

    add(QStringLiteral("Validity"), hex(g, 3));
    add(QStringLiteral("HexLat"), joinedHex(g, 4, 4));
    add(QStringLiteral("CurLat"), DegMinText(signed32(g, 4) / kCoordinateScale));
    add(QStringLiteral("HexLon"), joinedHex(g, 8, 4));
    add(QStringLiteral("CurLon"), DegMinText(signed32(g, 8) / kCoordinateScale));
    add(QStringLiteral("HexHeight"), joinedHex(g, 12, 2));
    add(QStringLiteral("CurHeight"), NumberText(signed16(g, 12) / 2.0));
    add(QStringLiteral("ErrEll1"), NumberText(at(g, 14) * 2.0));
    add(QStringLiteral("ErrEll2"), NumberText(at(g, 15) * 2.0));
    add(QStringLiteral("HexHead"), joinedHex(g, 16, 2));
    // As the main window computes it: a fraction of a turn, then degrees.
    add(QStringLiteral("CurHead"), NumberText(signed16(g, 16) / 1024.0 * 360.0));
    add(QStringLiteral("HexHeadErr"), hex(g, 18));
    add(QStringLiteral("CurHeadErr"), NumberText(at(g, 18) * 90.0 / 256.0));
    add(QStringLiteral("HexSpeed"), joinedHex(g, 19, 2));
    add(QStringLiteral("CurSpeed"), NumberText(bcdValue(g, 19, 2) / 4.0));
    add(QStringLiteral("HexSpeedErr"), hex(g, 21));
    add(QStringLiteral("CurSpeedErr"), NumberText(at(g, 21) / 4.0));
    add(QStringLiteral("Hexnu1"), hex(g, 22));
    add(QStringLiteral("Hexnu2"), hex(g, 23));
    add(QStringLiteral("Hexnu3"), hex(g, 24));
    add(QStringLiteral("TimeDate"),
        LocalDateTimeText({at(g, 25), at(g, 26), at(g, 27), at(g, 28), at(g, 29), at(g, 30)},
                          g.TimeZoneIndex));
    add(QStringLiteral("HDOP"), NumberText(at(g, 31) * 0.2));
    add(QStringLiteral("VDOP"), NumberText(at(g, 32) * 0.2));
    add(QStringLiteral("Sats"), QString::number(at(g, 33)));
    static const IndexedNames satUse("SatUse%1", 1, 4);
    static const IndexedNames satsHex("SatsHex%1", 1, 4);
    static const IndexedNames level("Level(%1)", 1, 8);
    static const IndexedNames condition("Condition(%1)", 1, 8);
    for (int i = 1; i <= 4; ++i)
        add(satUse[i], hex(g, 33 + i));

    // Each status byte holds two channels: level and condition of the odd one in
    // the low nibble, of the even one in the high nibble.
    for (int k = 1; k <= 4; ++k) {
        const quint8 b = at(g, 37 + k);
        add(satsHex[k], HexByte(b));
        add(level[2 * k - 1], LevelText(b));
        add(condition[2 * k - 1], ConditionText(b >> 2));
        add(level[2 * k], LevelText(b >> 4));
        add(condition[2 * k], ConditionText(b >> 6));
    }
    add(QStringLiteral("UnUsed"), hex(g, 42));
    add(QStringLiteral("CheckSum"), hex(g, 43));
    add(QStringLiteral("Terminator"), hex(g, 44));
    add(QStringLiteral("Text3"), RawHexText(g));
    return f;
}
