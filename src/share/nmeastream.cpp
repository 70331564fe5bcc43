#include "share/nmeastream.h"

#include "link/messagetypes.h"

QByteArray NmeaStream::frame(QByteArrayView frame)
{
    if (frame.isEmpty())
        return {};
    const quint8 type = quint8(frame[0]);
    if (type == Msg::Satellites) {
        m_satellites = nmeaSatellitesFromFrame(frame);
        m_haveSatellites = true;
        return {};
    }
    if (type != Msg::Navigation)
        return {};
    QByteArray out;
    for (const QByteArray &s :
         nmeaSentences(nmeaFixFromFrame(frame), m_satellites, m_haveSatellites))
        out += s;
    return out;
}
