#include "decoders/messagevalues.h"

#include "link/bcd.h"
#include "link/coordinate.h"

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

BcdDateTime bcdDateTime(QByteArrayView frame, int position)
{
    BcdDateTime t;
    for (int i = 0; i < 6; ++i)
        t.bcd[std::size_t(i)] = at(frame, position + i);
    t.year = bcdValue({t.bcd[0]});
    t.month = bcdValue({t.bcd[1]});
    t.day = bcdValue({t.bcd[2]});
    t.hour = bcdValue({t.bcd[3]});
    t.minute = bcdValue({t.bcd[4]});
    t.second = bcdValue({t.bcd[5]});
    return t;
}

// The nibble the condition message puts where a digit could stand to say "north",
// "east" or "plus".
constexpr int kFlagNibble = 0xA;

// The flag, minutes and seconds of the coordinate at `position`; the degrees differ.
ConditionAngle conditionAngle(QByteArrayView frame, int position)
{
    ConditionAngle a;
    for (int i = 0; i < 4; ++i)
        a.bcd[std::size_t(i)] = at(frame, position + i);
    a.positive = (a.bcd[0] >> 4) == kFlagNibble;
    a.minutes = bcdValue({a.bcd[2]});
    a.seconds = bcdValue({a.bcd[3]});
    return a;
}

void fillDecimal(ConditionAngle &a)
{
    const double value = a.degrees + a.minutes / 60.0 + a.seconds / 3600.0;
    a.degreesDecimal = a.positive ? value : -value;
}

} // namespace

NavigationMessage parseNavigation(QByteArrayView f)
{
    NavigationMessage m;
    m.status = at(f, 3);
    m.fix = m.status & 15;
    m.latitudeRaw = int32At(f, 4);
    m.longitudeRaw = int32At(f, 8);
    m.latitudeScaled = scaledFromField(m.latitudeRaw);
    m.longitudeScaled = scaledFromField(m.longitudeRaw);
    m.latitudeDeg = degreesFromScaled(m.latitudeScaled);
    m.longitudeDeg = degreesFromScaled(m.longitudeScaled);
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
    m.utc = bcdDateTime(f, 25);
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

ConditionMessage parseCondition(QByteArrayView f)
{
    ConditionMessage m;
    m.state = at(f, 3);
    m.receiverState = m.state & 15;
    m.healthRaw = at(f, 4);
    m.visibleRaw = at(f, 5);
    m.healthSatellites = bcdValue({m.healthRaw});
    m.visibleSatellites = bcdValue({m.visibleRaw});
    m.heightSignRaw = at(f, 6);
    m.heightPositive = m.heightSignRaw == 0xAA;
    m.heightBcd = {at(f, 7), at(f, 8)};
    const int height = bcdValue({m.heightBcd[0], m.heightBcd[1]});
    m.heightM = m.heightPositive ? height : -height;

    m.longitude = conditionAngle(f, 9);
    m.longitude.degrees = bcdDigitsValue({at(f, 9) & 15, at(f, 10) >> 4, at(f, 10) & 15});
    fillDecimal(m.longitude);
    m.latitude = conditionAngle(f, 15);
    m.latitude.degrees = bcdValue({at(f, 16)});
    fillDecimal(m.latitude);

    m.utc = bcdDateTime(f, 21);
    for (int k = 1; k <= 8; ++k)
        m.pairs[std::size_t(k - 1)] = {at(f, 25 + 2 * k), at(f, 26 + 2 * k)};
    return m;
}

ModeMessage parseMode(QByteArrayView f)
{
    ModeMessage m;
    m.fixModeRaw = at(f, 3);
    m.minElevationDeg = at(f, 4);
    m.minSignalRaw = at(f, 5);
    m.minSignalDb = m.minSignalRaw * 0.2;
    m.pdopLimitRaw = at(f, 6);
    m.pdopLimit = m.pdopLimitRaw == 0 ? 5 : m.pdopLimitRaw == 1 ? 10 : 20;
    m.flags = at(f, 7);
    m.smoothingS = (m.flags & 3) == 0 ? 2 : (m.flags & 3) == 1 ? 5 : 0;
    m.searchMode = !(m.flags & 0x80);
    m.searchFinished = !(m.flags & 0x40);
    m.heightBcd = {at(f, 8), at(f, 9)};
    m.heightM = bcdValue({m.heightBcd[0], m.heightBcd[1]}) * 0.5;
    return m;
}

DiagnosisMessage parseDiagnosis(QByteArrayView f)
{
    DiagnosisMessage m;
    m.version = {at(f, 3), at(f, 4)};
    m.revision = at(f, 5);
    m.extra = at(f, 6);
    m.errors = {at(f, 7), at(f, 8), at(f, 9)};
    m.checksum = at(f, 10);
    return m;
}

TimeStampMessage parseTimeStamps(QByteArrayView f)
{
    TimeStampMessage m;
    for (int k = 0; k < kTimeStampItems; ++k)
        m.steps[std::size_t(k)] = quint16(at(f, 3 + 2 * k) << 8 | at(f, 4 + 2 * k));
    return m;
}
