#include "mode.h"

#include "framebytes.h"

using namespace framebytes;

namespace {

QString fixModeText(quint8 b)
{
    switch (b) {
    case 0:
        return QStringLiteral("2D only");
    case 1:
        return QStringLiteral("3D only");
    default:
        return QStringLiteral("Auto");
    }
}

QString pdopText(quint8 b)
{
    switch (b) {
    case 0:
        return QStringLiteral("<=5");
    case 1:
        return QStringLiteral("<=10");
    default:
        return QStringLiteral("<=20");
    }
}

QString smoothingText(quint8 b)
{
    switch (b & 3) {
    case 0:
        return QStringLiteral("2 Seconds");
    case 1:
        return QStringLiteral("5 Seconds");
    default:
        return QStringLiteral("Not Used");
    }
}

} // namespace

Fields ModeFields(const GPS_Main &g)
{
    const quint8 flags = at(g, 7);
    // The set height is kept in half metres, as four BCD digits.
    const double height = bcdValue(g, 8, 2) * 0.5;
    return {
        {QStringLiteral("Mode"), QStringLiteral("Position Fix Mode: ") + fixModeText(at(g, 3))},
        {QStringLiteral("MinElevat"),
         QStringLiteral("Min Elevation: %1\u00B0").arg(QString::number(at(g, 4)))},
        {QStringLiteral("MinSignal"),
         QStringLiteral("Min Signal Level: ") + NumberText(at(g, 5) * 0.2)},
        {QStringLiteral("PDOP"), QStringLiteral("PDOP Limit: ") + pdopText(at(g, 6))},
        {QStringLiteral("Smoothing"), QStringLiteral("Smoothing :") + smoothingText(flags)},
        {QStringLiteral("Search"),
         ((flags & 0x80) ? QStringLiteral("Not Search Mode:") : QStringLiteral("Search Mode:")) +
             ((flags & 0x40) ? QStringLiteral("Not Finished") : QStringLiteral("Finished"))},
        {QStringLiteral("SHeight"),
         QStringLiteral("Set Height: ") + SignedNumberText(height) + QStringLiteral("m")},
        {QStringLiteral("RawHex"), RawHexText(g)},
    };
}
