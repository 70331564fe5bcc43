#include "share/nmea.h"

#include "decoders/messagevalues.h"
#include "link/coordinate.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kKmhPerKnot = 1.852;

QByteArray twoDigits(int v)
{
    return QByteArray::number(v).rightJustified(2, '0');
}

QByteArray fixed(double v, int decimals)
{
    return QByteArray::number(v, 'f', decimals);
}

// DDMM.mmmm (or DDDMM.mmmm) with the hemisphere letter; the receiver's scaled value
// already is degrees x 100 + minutes, so only its sign becomes a letter.
QByteArray coordinate(qint32 raw, int degreeDigits, char positive, char negative)
{
    const double scaled = std::fabs(scaledFromField(raw));
    const qint64 tenThousandths = std::llround(scaled * 10000.0);
    const qint64 degrees = tenThousandths / 1000000;
    const qint64 minutes = tenThousandths % 1000000;
    return QByteArray::number(degrees).rightJustified(degreeDigits, '0') +
           QByteArray::number(minutes / 10000).rightJustified(2, '0') + '.' +
           QByteArray::number(minutes % 10000).rightJustified(4, '0') + ',' +
           (raw < 0 ? negative : positive);
}

} // namespace

NmeaFix nmeaFixFromFrame(QByteArrayView f)
{
    const NavigationMessage m = parseNavigation(f);
    NmeaFix fix;
    fix.fixState = m.fix;
    fix.latitude = m.latitudeRaw;
    fix.longitude = m.longitudeRaw;
    fix.heightM = m.heightM;
    fix.offTheEarth = !onTheEarth(m.latitudeDeg, m.longitudeDeg, m.heightM);
    // The windows show a heading as it comes, negative ones included; NMEA wants 0..360.
    fix.courseDeg = std::fmod(m.headingDeg + 360.0, 360.0);
    fix.speedKmh = m.speedKmh;
    fix.year = m.utc.year;
    fix.month = m.utc.month;
    fix.day = m.utc.day;
    fix.hour = m.utc.hour;
    fix.minute = m.utc.minute;
    fix.second = m.utc.second;
    fix.hdop = m.hdop;
    fix.vdop = m.vdop;
    fix.satCount = m.satellitesUsed;
    return fix;
}

QList<NmeaSatellite> nmeaSatellitesFromFrame(QByteArrayView f)
{
    QList<NmeaSatellite> out;
    for (const SatelliteChannel &c : parseSatellites(f).channels) {
        if (c.number == 0)
            continue;
        NmeaSatellite s;
        s.prn = c.number;
        const int flags = c.state & 15;
        s.inFix = flags & 8;
        s.tracked = flags > 1;
        s.snr = int(std::lround(c.levelDb));
        s.azimuthDeg = int(std::lround(c.azimuthDeg)) % 360;
        // The byte spans half a turn; above the zenith is no elevation NMEA can carry.
        s.elevationDeg = std::min(90, int(std::lround(c.elevationDeg)));
        out.append(s);
    }
    return out;
}

QByteArray nmeaChecksum(QByteArrayView body)
{
    quint8 x = 0;
    for (const char c : body)
        x ^= quint8(c);
    return QByteArray::number(x, 16).toUpper().rightJustified(2, '0');
}

QByteArray nmeaSentence(QByteArrayView body)
{
    return '$' + body.toByteArray() + '*' + nmeaChecksum(body) + "\r\n";
}

QByteArray nmeaLatitude(qint32 raw)
{
    return coordinate(raw, 2, 'N', 'S');
}

QByteArray nmeaLongitude(qint32 raw)
{
    return coordinate(raw, 3, 'E', 'W');
}

QList<QByteArray> nmeaSentences(const NmeaFix &fix, const QList<NmeaSatellite> &satellites,
                                bool haveSatellites)
{
    const bool valid = fix.hasFix();
    const QByteArray time =
        twoDigits(fix.hour) + twoDigits(fix.minute) + twoDigits(fix.second) + ".00";
    const QByteArray date = twoDigits(fix.day) + twoDigits(fix.month) + twoDigits(fix.year);
    const QByteArray position =
        valid ? nmeaLatitude(fix.latitude) + ',' + nmeaLongitude(fix.longitude) : ",,,";
    // Without a fix the receiver's DOP bytes describe no solution (often 0, which
    // readers would take as a perfect one), so the fields stay empty.
    const QByteArray hdop = valid ? fixed(fix.hdop, 1) : QByteArray();
    const QByteArray vdop = valid ? fixed(fix.vdop, 1) : QByteArray();
    // The receiver reports no PDOP; horizontal and vertical together stand in for it.
    const QByteArray pdop = valid ? fixed(std::hypot(fix.hdop, fix.vdop), 1) : QByteArray();
    const QByteArray course = valid ? fixed(fix.courseDeg, 1) : QByteArray();
    const QByteArray knots = valid ? fixed(fix.speedKmh / kKmhPerKnot, 2) : QByteArray();
    const QByteArray kmh = valid ? fixed(fix.speedKmh, 2) : QByteArray();
    const char mode = valid ? 'A' : 'N';

    QList<QByteArray> out;
    out.append(nmeaSentence("GPGGA," + time + ',' + position + ',' + (valid ? "1" : "0") + ',' +
                            twoDigits(std::min(fix.satCount, 99)) + ',' + hdop + ',' +
                            (valid ? fixed(fix.heightM, 1) + ",M" : QByteArray(",")) + ",,,,"));

    QByteArray gsa = QByteArray("GPGSA,A,") + (!valid ? '1' : fix.fixState == 4 ? '3' : '2');
    int used = 0;
    for (const NmeaSatellite &s : satellites) {
        if (s.inFix && used < 12) {
            gsa += ',' + twoDigits(s.prn);
            ++used;
        }
    }
    for (; used < 12; ++used)
        gsa += ',';
    out.append(nmeaSentence(gsa + ',' + pdop + ',' + hdop + ',' + vdop));

    if (haveSatellites) {
        const int total = std::max<int>(1, int((satellites.size() + 3) / 4));
        for (int n = 0; n < total; ++n) {
            QByteArray gsv = "GPGSV," + QByteArray::number(total) + ',' +
                             QByteArray::number(n + 1) + ',' + twoDigits(int(satellites.size()));
            for (qsizetype i = 4 * n; i < std::min<qsizetype>(4 * n + 4, satellites.size()); ++i) {
                const NmeaSatellite &s = satellites[i];
                gsv += ',' + twoDigits(s.prn) + ',' + twoDigits(s.elevationDeg) + ',' +
                       QByteArray::number(s.azimuthDeg).rightJustified(3, '0') + ',' +
                       (s.tracked && s.snr > 0 ? twoDigits(std::min(s.snr, 99)) : QByteArray());
            }
            out.append(nmeaSentence(gsv));
        }
    }

    out.append(nmeaSentence("GPRMC," + time + ',' + (valid ? 'A' : 'V') + ',' + position + ',' +
                            knots + ',' + course + ',' + date + ",,," + mode));
    out.append(nmeaSentence("GPVTG," + course + ",T,,M," + knots + ",N," + kmh + ",K," + mode));
    return out;
}
