#include "decoders/navstatus.h"

#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "decoders/unitformat.h"

QString fixStatusText(int fixStatus)
{
    static const char *const texts[] = {"0 Sats", "1 Sat", "2 Sats", "2D Fix", "3D Fix"};
    const int state = fixStatus & 15;
    if (state < 5)
        return QString::fromLatin1(texts[state]);
    return QStringLiteral("InValid %1").arg(state);
}

NavStatus decodeNavStatus(QByteArrayView frame, int timeZoneIndex, const Units &units)
{
    const NavigationMessage m = parseNavigation(frame);
    NavStatus s;
    s.headingFraction = m.headingTurn;
    const auto text = [&](StatusBox box) {
        switch (box) {
        case StatusBox::Vality:
            return fixStatusText(m.status);
        case StatusBox::CurLat:
            return positionText(m.latitudeScaled, true, units.position);
        case StatusBox::CurLon:
            return positionText(m.longitudeScaled, false, units.position);
        case StatusBox::CurHeight:
            return heightText(m.heightM, units.height);
        case StatusBox::CurHead:
            return NumberText(m.headingDeg);
        case StatusBox::CurSpeed:
            return speedText(m.speedKmh, units.speed);
        case StatusBox::TimeDate:
            return LocalDateTimeText(m.utc.bcd, timeZoneIndex);
        case StatusBox::Sats:
            return QString::number(m.satellitesUsed);
        }
        return QString();
    };
    // The names are made once: every frame names the same boxes.
    static const QList<QString> names = [] {
        QList<QString> n;
        for (const char *name : kStatusBoxNames)
            n.append(QString::fromLatin1(name));
        return n;
    }();
    s.fields.reserve(kStatusBoxes);
    for (int i = 0; i < kStatusBoxes; ++i)
        s.fields.append({names[i], text(StatusBox(i))});
    return s;
}
