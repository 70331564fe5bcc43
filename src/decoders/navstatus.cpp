#include "decoders/navstatus.h"

#include "decoders/formatters.h"
#include "decoders/messagevalues.h"

QString fixStatusText(int fixStatus)
{
    static const char *const texts[] = {"0 Sats", "1 Sat", "2 Sats", "2D Fix", "3D Fix"};
    const int state = fixStatus & 15;
    if (state < 5)
        return QString::fromLatin1(texts[state]);
    return QStringLiteral("InValid %1").arg(state);
}

NavStatus decodeNavStatus(QByteArrayView frame, int timeZoneIndex)
{
    const NavigationMessage m = parseNavigation(frame);
    NavStatus s;
    s.headingFraction = m.headingTurn;
    s.fields = {
        {QStringLiteral("Vality"), fixStatusText(m.status)},
        {QStringLiteral("CurLat"), DegMinText(m.latitudeScaled)},
        {QStringLiteral("CurLon"), DegMinText(m.longitudeScaled)},
        {QStringLiteral("CurHeight"), NumberText(m.heightM)},
        {QStringLiteral("CurHead"), NumberText(m.headingDeg)},
        {QStringLiteral("CurSpeed"), NumberText(m.speedKmh)},
        {QStringLiteral("TimeDate"), LocalDateTimeText(m.utc.bcd, timeZoneIndex)},
        {QStringLiteral("Sats"), QString::number(m.satellitesUsed)},
    };
    return s;
}
