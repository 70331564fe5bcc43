#include "messagevalues.h"

#include <cmath>

namespace {

quint8 at(QByteArrayView frame, int position)
{
    return position >= 1 && position <= frame.size() ? quint8(frame[position - 1]) : 0;
}

qint16 int16At(QByteArrayView frame, int position)
{
    return qint16(quint16(at(frame, position) << 8 | at(frame, position + 1)));
}

qint32 int32At(QByteArrayView frame, int position)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = v << 8 | at(frame, position + i);
    return qint32(v);
}

// Packed BCD digits read as one decimal number, high nibble first, up to the first
// nibble that is no digit.
int bcdValue(std::initializer_list<quint8> bytes)
{
    int value = 0;
    for (const quint8 b : bytes) {
        for (const int nibble : {b >> 4, b & 15}) {
            if (nibble > 9)
                return value;
            value = value * 10 + nibble;
        }
    }
    return value;
}

// DDDMM.mmmm as degrees: the hundreds are whole degrees, the rest minutes.
double decimalDegrees(double scaled)
{
    const double magnitude = std::fabs(scaled);
    const double degrees = std::floor(magnitude / 100.0);
    const double value = degrees + (magnitude - degrees * 100.0) / 60.0;
    return scaled < 0 ? -value : value;
}

} // namespace

NavigationMessage parseNavigation(QByteArrayView f)
{
    NavigationMessage m;
    m.status = at(f, 3);
    m.fix = m.status & 15;
    m.latitudeRaw = int32At(f, 4);
    m.longitudeRaw = int32At(f, 8);
    m.latitudeScaled = m.latitudeRaw / kCoordinateScale;
    m.longitudeScaled = m.longitudeRaw / kCoordinateScale;
    m.latitudeDeg = decimalDegrees(m.latitudeScaled);
    m.longitudeDeg = decimalDegrees(m.longitudeScaled);
    m.heightRaw = int16At(f, 12);
    m.heightM = m.heightRaw / 2.0;
    for (int i = 0; i < 2; ++i) {
        m.errorEllipseRaw[std::size_t(i)] = at(f, 14 + i);
        m.errorEllipseM[std::size_t(i)] = m.errorEllipseRaw[std::size_t(i)] * 2.0;
    }
    m.headingRaw = int16At(f, 16);
    m.headingTurn = m.headingRaw / 1024.0;
    m.headingDeg = m.headingTurn * 360.0;
    m.headingErrorRaw = at(f, 18);
    m.headingErrorDeg = m.headingErrorRaw * 90.0 / 256.0;
    m.speedBcd = {at(f, 19), at(f, 20)};
    m.speedKmh = bcdValue({m.speedBcd[0], m.speedBcd[1]}) / 4.0;
    m.speedErrorRaw = at(f, 21);
    m.speedErrorKmh = m.speedErrorRaw / 4.0;
    m.unusedA = {at(f, 22), at(f, 23), at(f, 24)};
    for (int i = 0; i < 6; ++i)
        m.utc.bcd[std::size_t(i)] = at(f, 25 + i);
    m.utc.year = bcdValue({m.utc.bcd[0]});
    m.utc.month = bcdValue({m.utc.bcd[1]});
    m.utc.day = bcdValue({m.utc.bcd[2]});
    m.utc.hour = bcdValue({m.utc.bcd[3]});
    m.utc.minute = bcdValue({m.utc.bcd[4]});
    m.utc.second = bcdValue({m.utc.bcd[5]});
    m.hdopRaw = at(f, 31);
    m.vdopRaw = at(f, 32);
    m.hdop = m.hdopRaw * 0.2;
    m.vdop = m.vdopRaw * 0.2;
    m.satellitesUsed = at(f, 33);
    for (int i = 0; i < 4; ++i) {
        m.satUse[std::size_t(i)] = at(f, 34 + i);
        m.channelBytes[std::size_t(i)] = at(f, 38 + i);
    }
    m.unusedB = at(f, 42);
    return m;
}

SatelliteMessage parseSatellites(QByteArrayView f)
{
    SatelliteMessage m;
    for (int k = 1; k <= 8; ++k) {
        const int p = 5 * k - 1;
        SatelliteChannel &c = m.channels[std::size_t(k - 1)];
        c.number = at(f, p);
        c.state = at(f, p + 1);
        c.levelRaw = at(f, p + 2);
        c.azimuth = at(f, p + 3);
        c.elevation = at(f, p + 4);
        c.levelDb = c.levelRaw * 0.2;
        c.azimuthDeg = c.azimuth / 256.0 * 360.0;
        c.elevationDeg = c.elevation / 256.0 * 180.0;
    }
    m.elapsedDays = at(f, 44);
    for (int i = 0; i < 4; ++i)
        m.health[std::size_t(i)] = at(f, 45 + i);
    return m;
}
