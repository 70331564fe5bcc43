#include "decoders/mode.h"

#include "decoders/fieldstore.h"
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

void modeTexts(QByteArrayView frame, FieldStore &s)
{
    const ModeMessage m = parseMode(frame);
    s.begin();
    s.next(QStringLiteral("Mode"), m.fixModeRaw,
           [&] { return QStringLiteral("Position Fix Mode: ") + fixModeText(m.fixModeRaw); });
    s.next(QStringLiteral("MinElevat"), quint64(m.minElevationDeg), [&] {
        return QStringLiteral("Min Elevation: %1\u00B0").arg(QString::number(m.minElevationDeg));
    });
    s.next(QStringLiteral("MinSignal"), m.minSignalRaw,
           [&] { return QStringLiteral("Min Signal Level: ") + NumberText(m.minSignalDb); });
    s.next(QStringLiteral("PDOP"), m.pdopLimitRaw,
           [&] { return QStringLiteral("PDOP Limit: ") + pdopText(m.pdopLimitRaw); });
    s.next(QStringLiteral("Smoothing"), m.flags & 3,
           [&] { return QStringLiteral("Smoothing :") + smoothingText(m.flags); });
    s.next(QStringLiteral("Search"), m.flags >> 6, [&] {
        return (m.searchMode ? QStringLiteral("Search Mode:")
                             : QStringLiteral("Not Search Mode:")) +
               (m.searchFinished ? QStringLiteral("Finished") : QStringLiteral("Not Finished"));
    });
    s.next(QStringLiteral("SHeight"), FieldStore::key({m.heightBcd[0], m.heightBcd[1]}), [&] {
        return QStringLiteral("Set Height: ") + SignedNumberText(m.heightM) + QStringLiteral("m");
    });
    s.next(QStringLiteral("RawHex"), frame, [&] { return RawHexText(frame); });
}

Fields modeFields(QByteArrayView frame)
{
    FieldStore s;
    modeTexts(frame, s);
    return s.fields();
}
