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

#include <charconv>
#include <cmath>
#include <string>

namespace {

// Fifteen significant digits: a coordinate's 1/9216 of a minute and every quarter
// km/h or 1/1024 turn survive, and no binary noise (0.2 x 6) shows. Written as
// printf's %.15g writes it, straight onto the output.
void appendNumber(std::string &out, double v)
{
    char buf[32];
    const auto end =
        std::to_chars(buf, buf + sizeof buf, v == 0 ? 0.0 : v, std::chars_format::general, 15);
    out.append(buf, end.ptr - buf);
}

void appendNumber(std::string &out, int v)
{
    char buf[16];
    const auto end = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, end.ptr - buf);
}

// One JSON object written onto the end of `out`: keys in the order they are added.
// Only texts of our own making (digits, letters, -:.) come as values: no escaping.
class Object {
public:
    explicit Object(std::string &out) : m_out(out) { m_out += '{'; }
    Object &key(const char *key)
    {
        m_out += m_empty ? "\"" : ",\"";
        m_empty = false;
        m_out += key;
        m_out += "\":";
        return *this;
    }
    Object &add(const char *k, double v)
    {
        appendNumber(key(k).m_out, v);
        return *this;
    }
    Object &add(const char *k, int v)
    {
        appendNumber(key(k).m_out, v);
        return *this;
    }
    Object &add(const char *k, bool v)
    {
        key(k).m_out += v ? "true" : "false";
        return *this;
    }
    // A text of our own making, in quotes.
    Object &addName(const char *k, const char *text)
    {
        key(k).m_out += '"';
        m_out += text;
        m_out += '"';
        return *this;
    }
    // A text, or null when it is empty.
    Object &addText(const char *k, QStringView text)
    {
        key(k);
        if (text.isEmpty()) {
            m_out += "null";
        } else {
            m_out += '"';
            for (const QChar c : text)
                m_out += char(c.unicode() < 0x80 ? c.unicode() : '?');
            m_out += '"';
        }
        return *this;
    }
    // Begins a value that the caller writes itself onto out().
    std::string &raw(const char *k) { return key(k).m_out; }
    void end() { m_out += '}'; }

private:
    std::string &m_out;
    bool m_empty = true;
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

void appendTwoDigits(char *&p, int v)
{
    *p++ = char('0' + v / 10);
    *p++ = char('0' + v % 10);
}

// «2026-12-07T20:15:03Z» into `buf` (20 characters), or 0 when the six numbers are no
// real date and time.
int isoChars(char *buf, const BcdDateTime &utc)
{
    const int year = utc.bcd[0] >= 0x98 ? 1900 + utc.year : 2000 + utc.year;
    if (!QDate::isValid(year, utc.month, utc.day) ||
        !QTime::isValid(utc.hour, utc.minute, utc.second))
        return 0;
    char *p = buf;
    appendTwoDigits(p, year / 100);
    appendTwoDigits(p, year % 100);
    *p++ = '-';
    appendTwoDigits(p, utc.month);
    *p++ = '-';
    appendTwoDigits(p, utc.day);
    *p++ = 'T';
    appendTwoDigits(p, utc.hour);
    *p++ = ':';
    appendTwoDigits(p, utc.minute);
    *p++ = ':';
    appendTwoDigits(p, utc.second);
    *p++ = 'Z';
    return int(p - buf);
}

// The time in quotes, or null.
void appendUtcIso(Object &o, const char *key, const BcdDateTime &utc)
{
    std::string &out = o.raw(key);
    char buf[24];
    const int n = isoChars(buf, utc);
    if (!n) {
        out += "null";
        return;
    }
    out += '"';
    out.append(buf, n);
    out += '"';
}

void appendNavigation(std::string &out, const NavigationMessage &m)
{
    Object o(out);
    appendUtcIso(o, "time", m.utc);
    o.addName("fix", fixText(m.fix))
        .add("sats", m.satellitesUsed)
        .add("lat", m.latitudeDeg)
        .add("lon", m.longitudeDeg)
        .add("alt_m", m.heightM)
        .add("speed_kmh", m.speedKmh)
        .add("heading_deg", courseDeg(m))
        .add("hdop", m.hdop)
        .add("vdop", m.vdop);
    std::string &ellipse = o.raw("err_ellipse_m");
    ellipse += '[';
    appendNumber(ellipse, m.errorEllipseM[0]);
    ellipse += ',';
    appendNumber(ellipse, m.errorEllipseM[1]);
    ellipse += ']';
    o.add("heading_err_deg", m.headingErrorDeg).add("speed_err_kmh", m.speedErrorKmh).end();
}

void appendSatellites(std::string &out, const SatelliteMessage &m)
{
    Object o(out);
    std::string &channels = o.raw("channels");
    channels += '[';
    bool first = true;
    for (std::size_t k = 0; k < m.channels.size(); ++k) {
        const SatelliteChannel &c = m.channels[k];
        if (c.number == 0)
            continue; // an empty channel
        if (!first)
            channels += ',';
        first = false;
        Object(channels)
            .add("channel", int(k + 1))
            .add("prn", c.number)
            .add("az_deg", c.azimuthDeg)
            .add("el_deg", c.elevationDeg)
            .add("level", c.levelDb)
            .addName("state", stateText(c.state))
            .add("used", (c.state & 8) != 0)
            .add("accuracy", int(c.state >> 4))
            .end();
    }
    channels += ']';
    o.add("elapsed_days", m.elapsedDays).end();
}

void appendCondition(std::string &out, const ConditionMessage &m)
{
    Object o(out);
    o.add("state", m.receiverState).addText("state_text", ConditionStateText(m.state));
    appendUtcIso(o, "time", m.utc);
    o.add("lat", m.latitude.degreesDecimal)
        .add("lon", m.longitude.degreesDecimal)
        .add("alt_m", m.heightM)
        .add("healthy_sats", m.healthSatellites)
        .add("visible_sats", m.visibleSatellites);
    std::string &satellites = o.raw("satellites");
    satellites += '[';
    bool first = true;
    for (const ConditionMessage::Pair &p : m.pairs) {
        if (p.satellite == 0)
            continue;
        if (!first)
            satellites += ',';
        first = false;
        // Both come as two BCD digits: 0x12 is satellite 12, 0x20 a level of 20 dB.
        Object(satellites).add("prn", bcdValue(p.satellite)).add("level", bcdValue(p.level)).end();
    }
    satellites += ']';
    o.end();
}

void appendMode(std::string &out, const ModeMessage &m)
{
    const char *fix = m.fixModeRaw == 0 ? "2d" : m.fixModeRaw == 1 ? "3d" : "auto";
    Object(out)
        .addName("fix_mode", fix)
        .add("min_el_deg", m.minElevationDeg)
        .add("min_level", m.minSignalDb)
        .add("pdop_limit", m.pdopLimit)
        .add("smoothing_s", m.smoothingS)
        .add("searching", m.searchMode)
        .add("search_finished", m.searchFinished)
        .add("alt_m", m.heightM)
        .end();
}

void appendDiagnosis(std::string &out, const DiagnosisMessage &m)
{
    Object o(out);
    o.addText("version", HexByte(m.version[0]) + QLatin1Char('.') + HexByte(m.version[1]) +
                             revisionLetter(m.revision));
    std::string &errors = o.raw("errors");
    errors += '[';
    for (std::size_t i = 0; i < m.errors.size(); ++i) {
        if (i)
            errors += ',';
        appendNumber(errors, int(m.errors[i]));
    }
    errors += ']';
    o.end();
}

void appendTimeStamps(std::string &out, const TimeStampMessage &m)
{
    const QDateTime epoch(QDate(1999, 1, 1), QTime(0, 0), Qt::UTC);
    Object o(out);
    std::string &stamps = o.raw("stamps");
    stamps += '[';
    for (int k = 0; k < kTimeStampItems; ++k) {
        const quint16 steps = m.steps[std::size_t(k)];
        if (k)
            stamps += ',';
        Object(stamps)
            .add("item", k)
            .addText("event", stampDescription(k))
            .addText(
                "time",
                epoch.addSecs(qint64(steps) * kTimeStampStepMinutes * 60).toString(Qt::ISODate))
            .end();
    }
    stamps += ']';
    o.end();
}

template <typename Message, typename Append> QByteArray written(const Message &m, Append append)
{
    std::string out;
    append(out, m);
    return QByteArray(out.data(), qsizetype(out.size()));
}

} // namespace

QString utcIsoText(const BcdDateTime &utc)
{
    char buf[24];
    return QString::fromLatin1(buf, isoChars(buf, utc));
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
    return written(m, appendNavigation);
}

QByteArray satelliteValuesJson(const SatelliteMessage &m)
{
    return written(m, appendSatellites);
}

QByteArray conditionValuesJson(const ConditionMessage &m)
{
    return written(m, appendCondition);
}

QByteArray modeValuesJson(const ModeMessage &m)
{
    return written(m, appendMode);
}

QByteArray diagnosisValuesJson(const DiagnosisMessage &m)
{
    return written(m, appendDiagnosis);
}

QByteArray timeStampValuesJson(const TimeStampMessage &m)
{
    return written(m, appendTimeStamps);
}

bool appendMessageValuesJson(QByteArray &out, QByteArrayView frame)
{
    if (frame.isEmpty())
        return false;
    // Written into a standard string, whose one-byte appends are inline, then copied.
    std::string json;
    json.reserve(2048);
    switch (quint8(frame[0])) {
    case Msg::Navigation:
        appendNavigation(json, parseNavigation(frame));
        break;
    case Msg::Satellites:
        appendSatellites(json, parseSatellites(frame));
        break;
    case Msg::Condition:
        appendCondition(json, parseCondition(frame));
        break;
    case Msg::Mode:
        appendMode(json, parseMode(frame));
        break;
    case Msg::Diagnosis:
        appendDiagnosis(json, parseDiagnosis(frame));
        break;
    case Msg::TimeStamps:
        appendTimeStamps(json, parseTimeStamps(frame));
        break;
    default:
        return false;
    }
    out.append(json.data(), qsizetype(json.size()));
    return true;
}

QByteArray messageValuesJson(QByteArrayView frame)
{
    QByteArray out;
    appendMessageValuesJson(out, frame);
    return out;
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
