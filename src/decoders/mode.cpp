#include "mode.h"

#include "decoders/formatters.h"
#include "decoders/messagevalues.h"

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

Fields ModeFields(QByteArrayView frame)
{
    const ModeMessage m = parseMode(frame);
    return {
        {QStringLiteral("Mode"), QStringLiteral("Position Fix Mode: ") + fixModeText(m.fixModeRaw)},
        {QStringLiteral("MinElevat"),
         QStringLiteral("Min Elevation: %1\u00B0").arg(QString::number(m.minElevationDeg))},
        {QStringLiteral("MinSignal"), QStringLiteral("Min Signal Level: ") + NumberText(m.minSignalDb)},
        {QStringLiteral("PDOP"), QStringLiteral("PDOP Limit: ") + pdopText(m.pdopLimitRaw)},
        {QStringLiteral("Smoothing"), QStringLiteral("Smoothing :") + smoothingText(m.flags)},
        {QStringLiteral("Search"),
         (m.searchMode ? QStringLiteral("Search Mode:") : QStringLiteral("Not Search Mode:")) +
             (m.searchFinished ? QStringLiteral("Finished") : QStringLiteral("Not Finished"))},
        {QStringLiteral("SHeight"),
         QStringLiteral("Set Height: ") + SignedNumberText(m.heightM) + QStringLiteral("m")},
        {QStringLiteral("RawHex"), RawHexText(frame)},
    };
}

Fields ModeFields(const GPS_Main &g)
{
    return ModeFields(receivedFrame(g));
}
