#include "decoders/valuesjson.h"

#include "decoders/condition.h"
#include "decoders/diagnosis.h"
#include "decoders/formatters.h"
#include "decoders/timestamp.h"
#include "link/bcd.h"
#include "link/messagetypes.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

#include <cmath>

namespace {

// Fifteen significant digits: a coordinate's 1/9216 of a minute and every quarter
// km/h or 1/1024 turn survive, and no binary noise (0.2 x 6) shows.
QByteArray number(double v)
{
    return QByteArray::number(v == 0 ? 0.0 : v, 'g', 15);
}

class Object {
public:
    Object &add(const char *key, const QByteArray &json)
    {
        m_out += (m_out.size() > 1 ? ",\"" : "\"") + QByteArray(key) + "\":" + json;
        return *this;
    }
    Object &add(const char *key, double v) { return add(key, number(v)); }
    Object &add(const char *key, int v) { return add(key, QByteArray::number(v)); }
    Object &add(const char *key, bool v) { return add(key, QByteArray(v ? "true" : "false")); }
    Object &addText(const char *key, const QString &text)
    {
        // Only texts of our own making (digits, letters, -:.) come here: no escaping needed.
        return add(key, text.isEmpty() ? QByteArray("null") : '"' + text.toLatin1() + '"');
    }
    QByteArray take() { return m_out + '}'; }

private:
    QByteArray m_out = "{";
};

// The highest of bits 0..3 names the channel's state, as in the satellite window.
const char *stateText(quint8 state)
{
    static const char *const names[] = {"search", "track", "decode", "fix"};
    for (int bit = 3; bit >= 0; --bit)
        if (state & (1 << bit))
            return names[bit];
    return "idle";
}

} // namespace

QString utcIsoText(const BcdDateTime &utc)
{
    const int year = utc.bcd[0] >= 0x98 ? 1900 + utc.year : 2000 + utc.year;
    const QDate date(year, utc.month, utc.day);
    if (!date.isValid() || !QTime::isValid(utc.hour, utc.minute, utc.second))
        return {};
    return QStringLiteral("%1T%2:%3:%4Z")
        .arg(date.toString(Qt::ISODate))
        .arg(utc.hour, 2, 10, QLatin1Char('0'))
        .arg(utc.minute, 2, 10, QLatin1Char('0'))
        .arg(utc.second, 2, 10, QLatin1Char('0'));
}

const char *fixText(int fixState)
{
    return fixState == 4 ? "3d" : fixState == 3 ? "2d" : "none";
}

double courseDeg(const NavigationMessage &m)
{
    const double c = std::fmod(m.headingDeg, 360.0);
    return c < 0 ? c + 360.0 : c;
}

QByteArray navigationValuesJson(const NavigationMessage &m)
{
    return Object()
        .addText("time", utcIsoText(m.utc))
        .add("fix", '"' + QByteArray(fixText(m.fix)) + '"')
        .add("sats", m.satellitesUsed)
        .add("lat", m.latitudeDeg)
        .add("lon", m.longitudeDeg)
        .add("alt_m", m.heightM)
        .add("speed_kmh", m.speedKmh)
        .add("heading_deg", courseDeg(m))
        .add("hdop", m.hdop)
        .add("vdop", m.vdop)
        .add("err_ellipse_m",
             '[' + number(m.errorEllipseM[0]) + ',' + number(m.errorEllipseM[1]) + ']')
        .add("heading_err_deg", m.headingErrorDeg)
        .add("speed_err_kmh", m.speedErrorKmh)
        .take();
}

QByteArray satelliteValuesJson(const SatelliteMessage &m)
{
    QByteArray channels = "[";
    for (std::size_t k = 0; k < m.channels.size(); ++k) {
        const SatelliteChannel &c = m.channels[k];
        if (c.number == 0)
            continue; // an empty channel
        if (channels.size() > 1)
            channels += ',';
        channels += Object()
                        .add("channel", int(k + 1))
                        .add("prn", c.number)
                        .add("az_deg", c.azimuthDeg)
                        .add("el_deg", c.elevationDeg)
                        .add("level", c.levelDb)
                        .add("state", '"' + QByteArray(stateText(c.state)) + '"')
                        .add("used", (c.state & 8) != 0)
                        .add("accuracy", int(c.state >> 4))
                        .take();
    }
    return Object().add("channels", channels + ']').add("elapsed_days", m.elapsedDays).take();
}

QByteArray conditionValuesJson(const ConditionMessage &m)
{
    QByteArray satellites = "[";
    for (const ConditionMessage::Pair &p : m.pairs) {
        if (p.satellite == 0)
            continue;
        if (satellites.size() > 1)
            satellites += ',';
        // Both come as two BCD digits: 0x12 is satellite 12, 0x20 a level of 20 dB.
        satellites +=
            Object().add("prn", bcdValue(p.satellite)).add("level", bcdValue(p.level)).take();
    }
    return Object()
        .add("state", m.receiverState)
        .addText("state_text", ConditionStateText(m.state))
        .addText("time", utcIsoText(m.utc))
        .add("lat", m.latitude.degreesDecimal)
        .add("lon", m.longitude.degreesDecimal)
        .add("alt_m", m.heightM)
        .add("healthy_sats", m.healthSatellites)
        .add("visible_sats", m.visibleSatellites)
        .add("satellites", satellites + ']')
        .take();
}

QByteArray modeValuesJson(const ModeMessage &m)
{
    const char *fix = m.fixModeRaw == 0 ? "2d" : m.fixModeRaw == 1 ? "3d" : "auto";
    return Object()
        .add("fix_mode", '"' + QByteArray(fix) + '"')
        .add("min_el_deg", m.minElevationDeg)
        .add("min_level", m.minSignalDb)
        .add("pdop_limit", m.pdopLimit)
        .add("smoothing_s", m.smoothingS)
        .add("searching", m.searchMode)
        .add("search_finished", m.searchFinished)
        .add("alt_m", m.heightM)
        .take();
}

QByteArray diagnosisValuesJson(const DiagnosisMessage &m)
{
    QByteArray errors = "[";
    for (const quint8 code : m.errors) {
        if (errors.size() > 1)
            errors += ',';
        errors += QByteArray::number(code);
    }
    return Object()
        .addText("version", HexByte(m.version[0]) + QLatin1Char('.') + HexByte(m.version[1]) +
                                revisionLetter(m.revision))
        .add("errors", errors + ']')
        .take();
}

QByteArray timeStampValuesJson(const TimeStampMessage &m)
{
    const QDateTime epoch(QDate(1999, 1, 1), QTime(0, 0), Qt::UTC);
    QByteArray stamps = "[";
    for (int k = 0; k < kTimeStampItems; ++k) {
        const quint16 steps = m.steps[std::size_t(k)];
        if (k)
            stamps += ',';
        stamps +=
            Object()
                .add("item", k)
                .addText("event", stampDescription(k))
                .addText(
                    "time",
                    epoch.addSecs(qint64(steps) * kTimeStampStepMinutes * 60).toString(Qt::ISODate))
                .take();
    }
    return Object().add("stamps", stamps + ']').take();
}

QByteArray messageValuesJson(QByteArrayView frame)
{
    if (frame.isEmpty())
        return {};
    switch (quint8(frame[0])) {
    case Msg::Navigation:
        return navigationValuesJson(parseNavigation(frame));
    case Msg::Satellites:
        return satelliteValuesJson(parseSatellites(frame));
    case Msg::Condition:
        return conditionValuesJson(parseCondition(frame));
    case Msg::Mode:
        return modeValuesJson(parseMode(frame));
    case Msg::Diagnosis:
        return diagnosisValuesJson(parseDiagnosis(frame));
    case Msg::TimeStamps:
        return timeStampValuesJson(parseTimeStamps(frame));
    default:
        return {};
    }
}

namespace {
const QString kFixColumns = QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8");
}

QString fixHeader()
{
    return kFixColumns.arg(QStringLiteral("# time (UTC)"), -21)
        .arg(QStringLiteral("fix"), 4)
        .arg(QStringLiteral("sats"), 4)
        .arg(QStringLiteral("lat_deg"), 12)
        .arg(QStringLiteral("lon_deg"), 13)
        .arg(QStringLiteral("height_m"), 9)
        .arg(QStringLiteral("speed_kmh"), 9)
        .arg(QStringLiteral("heading_deg"), 11);
}

QString fixLine(const NavigationMessage &m)
{
    const QString time = utcIsoText(m.utc);
    return kFixColumns.arg(time.isEmpty() ? QStringLiteral("-") : time, -21)
        .arg(QLatin1String(fixText(m.fix)), 4)
        .arg(m.satellitesUsed, 4)
        .arg(m.latitudeDeg, 12, 'f', 7)
        .arg(m.longitudeDeg, 13, 'f', 7)
        .arg(m.heightM, 9, 'f', 1)
        .arg(m.speedKmh, 9, 'f', 2)
        .arg(courseDeg(m), 11, 'f', 2);
}
