#include "quality/reference.h"

#include "link/coordinate.h"
#include "platform/quotedtext.h"
#include "platform/settingsstore.h"
#include "quality/fixstatistics.h"

#include <GeographicLib/LocalCartesian.hpp>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace {

const QString kSection = QStringLiteral("Reference");
const QString kKey = QStringLiteral("Point");

constexpr double kLowestM = -1000, kHighestM = 9000;

// A number as the C locale writes it, finite.
std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok && std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
}

} // namespace

std::optional<double> parseCoordinate(const QString &text, bool latitude, QString &error)
{
    const QString what = latitude ? QStringLiteral("latitude") : QStringLiteral("longitude");
    const double limit = latitude ? 90 : 180;
    QString t = text.trimmed().toUpper();
    if (t.isEmpty()) {
        error = QStringLiteral("The %1 is empty.").arg(what);
        return std::nullopt;
    }
    int sign = 1;
    const QString positive = latitude ? QStringLiteral("N") : QStringLiteral("E");
    const QString negative = latitude ? QStringLiteral("S") : QStringLiteral("W");
    bool hemisphere = false;
    if (t.endsWith(positive) || t.endsWith(negative)) {
        sign = t.endsWith(negative) ? -1 : 1;
        t.chop(1);
        hemisphere = true;
    }
    // Degree and minute marks stand for spaces.
    t.replace(QChar(0x00B0), QLatin1Char(' '))
        .replace(QLatin1Char('\''), QLatin1Char(' '))
        .replace(QChar(0x2032), QLatin1Char(' '));
    QStringList parts = t.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString form =
        QStringLiteral("decimal degrees (47.3702) or degrees and minutes (47 22.212 %1)")
            .arg(positive);
    if (parts.isEmpty() || parts.size() > 2) {
        error =
            QStringLiteral("The %1 «%2» is not %3.").arg(what, quotedText(text.trimmed()), form);
        return std::nullopt;
    }
    if (hemisphere && parts[0].startsWith(QLatin1Char('-'))) {
        error = QStringLiteral("The %1 «%2» has both a minus sign and %3: give one of them.")
                    .arg(what, quotedText(text.trimmed()),
                         negative + QStringLiteral(" or ") + positive);
        return std::nullopt;
    }
    const std::optional<double> degrees = number(parts[0]);
    std::optional<double> minutes = 0.0;
    if (parts.size() == 2)
        minutes = number(parts[1]);
    if (!degrees || !minutes) {
        error =
            QStringLiteral("The %1 «%2» is not %3.").arg(what, quotedText(text.trimmed()), form);
        return std::nullopt;
    }
    if (parts.size() == 2) {
        // With minutes the degrees are whole and the minutes below 60.
        if (*degrees != std::trunc(*degrees) || *minutes < 0 || *minutes >= 60) {
            error = QStringLiteral("The %1 «%2»: whole degrees and minutes from 0 to below 60, "
                                   "please.")
                        .arg(what, quotedText(text.trimmed()));
            return std::nullopt;
        }
    }
    const bool negativeDegrees = parts[0].startsWith(QLatin1Char('-'));
    const double magnitude = std::fabs(*degrees) + *minutes / 60.0;
    const double value = sign * (negativeDegrees ? -magnitude : magnitude);
    if (std::fabs(value) > limit) {
        error = QStringLiteral("The %1 «%2» is outside -%3 to %3 degrees.")
                    .arg(what, quotedText(text.trimmed()), QString::number(limit));
        return std::nullopt;
    }
    return value;
}

std::optional<double> parseHeight(const QString &text, QString &error, bool &given)
{
    const QString t = text.trimmed();
    given = !t.isEmpty();
    if (!given)
        return std::nullopt;
    const std::optional<double> h = number(t);
    if (!h || *h < kLowestM || *h > kHighestM) {
        error = QStringLiteral("The height «%1» is not metres from %2 to %3.")
                    .arg(quotedText(t), QString::number(kLowestM), QString::number(kHighestM));
        return std::nullopt;
    }
    return h;
}

std::optional<ReferencePoint> parseReferenceOption(const QString &text, QString &error)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3) {
        error = QStringLiteral("--reference wants LAT,LON or LAT,LON,H (decimal degrees and "
                               "metres, such as 47.37,8.54,420), not «%1»")
                    .arg(quotedText(text));
        return std::nullopt;
    }
    ReferencePoint p;
    const std::optional<double> lat = number(parts[0].trimmed());
    const std::optional<double> lon = number(parts[1].trimmed());
    if (!lat || !lon) {
        error =
            QStringLiteral("--reference: «%1» is not two decimal degrees").arg(quotedText(text));
        return std::nullopt;
    }
    if (std::fabs(*lat) > 90 || std::fabs(*lon) > 180) {
        error = QStringLiteral("--reference: the latitude must be -90 to 90 and the longitude "
                               "-180 to 180, not «%1»")
                    .arg(quotedText(text));
        return std::nullopt;
    }
    p.latitudeDeg = *lat;
    p.longitudeDeg = *lon;
    if (parts.size() == 3) {
        bool given = false;
        QString why;
        p.heightM = parseHeight(parts[2], why, given);
        if (!p.heightM) {
            error = QStringLiteral("--reference: the height «%1» is not metres from %2 to %3")
                        .arg(quotedText(parts[2].trimmed()), QString::number(kLowestM),
                             QString::number(kHighestM));
            return std::nullopt;
        }
    }
    return p;
}

QString referencePointText(const ReferencePoint &point)
{
    // The shortest digits that read back as the same double: the point kept is the point
    // typed, and it prints as typed.
    const auto number = [](double v) {
        return QString::number(v, 'g', QLocale::FloatingPointShortest);
    };
    QString t = QStringLiteral("%1,%2").arg(number(point.latitudeDeg), number(point.longitudeDeg));
    if (point.heightM)
        t += QLatin1Char(',') + number(*point.heightM);
    return t;
}

std::optional<ReferencePoint> loadReferencePoint(const SettingsStore *store)
{
    if (!store)
        return std::nullopt;
    const QString text = store->GetSetting(kSection, kKey, QString());
    if (text.isEmpty())
        return std::nullopt;
    QString error;
    return parseReferenceOption(text, error);
}

void saveReferencePoint(SettingsStore *store, const std::optional<ReferencePoint> &point)
{
    if (store)
        store->SaveSetting(kSection, kKey, point ? referencePointText(*point) : QString());
}

ReferenceStatistics::ReferenceStatistics(std::size_t capacity) : m_capacity(capacity) {}
ReferenceStatistics::~ReferenceStatistics() = default;

void ReferenceStatistics::setReference(const std::optional<ReferencePoint> &point)
{
    m_reference = point;
    m_frame.reset();
    if (point && point->heightM)
        m_frame = std::make_unique<GeographicLib::LocalCartesian>(
            point->latitudeDeg, point->longitudeDeg, *point->heightM);
    m_errors.clear();
    if (!m_reference)
        return;
    for (const Fix &f : m_fixes)
        m_errors.push_back(errorOf(f.latitudeDeg, f.longitudeDeg, f.heightM));
}

Enu ReferenceStatistics::errorOf(double latitudeDeg, double longitudeDeg, double heightM) const
{
    Enu e;
    if (m_frame) {
        m_frame->Forward(latitudeDeg, longitudeDeg, heightM, e.east, e.north, e.up);
        return e;
    }
    // Without a reference height the point is taken at the fix's own height: the
    // horizontal error is then exact and nothing is said about up.
    const GeographicLib::LocalCartesian level(m_reference->latitudeDeg, m_reference->longitudeDeg,
                                              heightM);
    level.Forward(latitudeDeg, longitudeDeg, heightM, e.east, e.north, e.up);
    e.up = 0;
    return e;
}

bool ReferenceStatistics::add(qint64 timeMs, double latitudeDeg, double longitudeDeg,
                              double heightM)
{
    if (!onTheEarth(latitudeDeg, longitudeDeg, heightM))
        return false;
    if (m_capacity > 0 && m_fixes.size() >= m_capacity) {
        m_fixes.pop_front();
        m_times.pop_front();
        if (!m_errors.empty())
            m_errors.pop_front();
    }
    m_fixes.push_back({latitudeDeg, longitudeDeg, heightM});
    m_times.push_back(timeMs);
    if (m_reference)
        m_errors.push_back(errorOf(latitudeDeg, longitudeDeg, heightM));
    return true;
}

void ReferenceStatistics::clear()
{
    m_fixes.clear();
    m_times.clear();
    m_errors.clear();
}

ReferenceSummary ReferenceStatistics::summary() const
{
    ReferenceSummary s;
    if (!m_reference || m_errors.empty())
        return s;
    const double n = double(m_errors.size());
    s.count = qint64(m_errors.size());
    s.hasVertical = m_reference->heightM.has_value();
    double se = 0, sn = 0, su = 0, sh2 = 0, su2 = 0;
    std::vector<double> distances;
    distances.reserve(m_errors.size());
    for (const Enu &e : m_errors) {
        se += e.east;
        sn += e.north;
        su += e.up;
        const double h2 = e.east * e.east + e.north * e.north;
        sh2 += h2;
        su2 += e.up * e.up;
        distances.push_back(std::sqrt(h2));
    }
    s.biasEastM = se / n;
    s.biasNorthM = sn / n;
    s.biasUpM = su / n;
    s.horizontalRmsM = std::sqrt(sh2 / n);
    s.verticalRmsM = std::sqrt(su2 / n);
    s.r95M = percentile(distances, 0.95);
    s.cep50M = percentile(distances, 0.5);
    return s;
}
