#include "condition.h"

#include "framebytes.h"

#include <algorithm>

using namespace framebytes;

namespace {
// A nibble of 0xA is the receiver's flag for the positive hemisphere or sign.
constexpr int kFlagNibble = 0xA;
} // namespace

QString ConditionStateText(quint8 stateByte)
{
    switch (stateByte & 0x0F) {
    case 0:
        return QStringLiteral("No Satellite usable");
    case 1:
        return QStringLiteral("1 Satellite usable");
    case 2:
        return QStringLiteral("2 Satellite usable");
    case 3:
        return QStringLiteral("2D position fix");
    case 4:
        return QStringLiteral("3D position fix");
    case 5:
        return QStringLiteral("Accel exceed limit");
    case 9:
        return QStringLiteral("Receiver Error");
    default:
        return QStringLiteral("Unknown data");
    }
}

Fields ConditionFields(const GPS_Main &g)
{
    Fields f;
    f.reserve(32);
    auto add = [&f](const QString &name, const QString &text) { f.append({name, text}); };
    const QString degree = QStringLiteral("\u00B0 ");
    const QString minutesAndSeconds = QStringLiteral("\" ");

    add(QStringLiteral("Condition"), ConditionStateText(at(g, 3)));
    add(QStringLiteral("SHealth"), hex(g, 4) + QStringLiteral(" Health satellites"));
    add(QStringLiteral("SVisible"), hex(g, 5) + QStringLiteral(" Visible satellites"));
    add(QStringLiteral("SHeight"),
        QStringLiteral("Height ") + (at(g, 6) == 0xAA ? QStringLiteral("+") : QStringLiteral("-")) +
            hex(g, 7) + hex(g, 8) + QStringLiteral("m"));
    add(QStringLiteral("Longitude"),
        ((at(g, 9) >> 4) == kFlagNibble ? QStringLiteral("East ") : QStringLiteral("West ")) +
            hex(g, 9).mid(1) + hex(g, 10) + degree + hex(g, 11) + minutesAndSeconds + hex(g, 12) +
            QStringLiteral("'"));
    add(QStringLiteral("Latitude"),
        ((at(g, 15) >> 4) == kFlagNibble ? QStringLiteral("North ") : QStringLiteral("South ")) +
            hex(g, 16) + degree + hex(g, 17) + minutesAndSeconds + hex(g, 18) +
            QStringLiteral("'"));
    add(QStringLiteral("CDate"),
        QStringLiteral("Satellite Date: %1-%2-%3 %4:%5:%6 UTC")
            .arg(hex(g, 21), hex(g, 22), hex(g, 23), hex(g, 24), hex(g, 25), hex(g, 26)));
    static const IndexedNames satellite("Satellite(%1)", 1, 8);
    static const IndexedNames level("Level(%1)", 1, 8);
    for (int k = 1; k <= 8; ++k) {
        add(satellite[k], hex(g, 25 + 2 * k));
        add(level[k], hex(g, 26 + 2 * k));
    }
    const int length = qBound(0, int(g.MsgLength), GPS_Main::kRxSize - 1);
    std::array<quint8, GPS_Main::kRxSize> shown;
    std::copy_n(g.RxBuffer.begin() + 1, length, shown.begin());
    shown[2] &= 0x0F;
    add(QStringLiteral("RawHex"), RawHexText(shown.data(), length));
    return f;
}
