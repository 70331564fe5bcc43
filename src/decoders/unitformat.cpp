#include "decoders/unitformat.h"

#include "decoders/formatters.h"
#include "link/coordinate.h"

#include <QLocale>
#include <QTimeZone>
#include <cmath>

namespace {

constexpr double kMetresPerFoot = 0.3048;
constexpr double kKmhPerKnot = 1.852;
constexpr double kKmhPerMph = 1.609344;
constexpr double kKmhPerMs = 3.6;
const QChar kDegree(0x00B0);

QString point()
{
    return QLocale().decimalPoint();
}

// Whole units and a fixed number of decimals from an integer count of the smallest
// step, so that a rounded value never shows a carry it did not make.
QString fixed(qint64 steps, int decimals)
{
    qint64 scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    QString text = QString::number(steps / scale);
    if (decimals > 0)
        text += point() + QStringLiteral("%1").arg(steps % scale, decimals, 10, QLatin1Char('0'));
    return text;
}

// Hundredths of an arc second, already rounded, as degrees, minutes and seconds.
QString dmsText(qint64 hundredths, bool negative, bool latitude)
{
    const QChar hemisphere =
        latitude ? (negative && hundredths ? u'S' : u'N') : (negative && hundredths ? u'W' : u'E');
    const qint64 degrees = hundredths / 360000;
    const qint64 minutes = hundredths / 6000 % 60;
    const qint64 seconds = hundredths % 6000;
    return QStringLiteral("%1%2%3\u2032%4\u2033 %5")
        .arg(degrees)
        .arg(kDegree)
        .arg(minutes, 2, 10, QLatin1Char('0'))
        .arg(fixed(seconds, 2).rightJustified(5, QLatin1Char('0')))
        .arg(hemisphere);
}

// Millionths of a degree, already rounded, signed.
QString decimalText(qint64 millionths, bool negative)
{
    return (negative && millionths ? QStringLiteral("-") : QString()) + fixed(millionths, 6) +
           kDegree;
}

// A number rounded to `decimals` places, shown with exactly that many.
QString rounded(double x, int decimals)
{
    if (!std::isfinite(x))
        return NumberText(x);
    const double scale = std::pow(10.0, decimals);
    const qint64 steps = std::llround(std::fabs(x) * scale);
    return (x < 0 && steps ? QStringLiteral("-") : QString()) + fixed(steps, decimals);
}

} // namespace

QString positionText(double scaledCoordinate, bool latitude, PositionFormat format)
{
    if (format == PositionFormat::DegMin || !std::isfinite(scaledCoordinate))
        return DegMinText(scaledCoordinate);
    const double a = std::fabs(scaledCoordinate);
    const double degrees = std::floor(a / 100);
    const double minutes = a - degrees * 100;
    const bool negative = scaledCoordinate < 0;
    // Whole degrees stay exact; only the minutes are rounded.
    if (format == PositionFormat::Degrees)
        return decimalText(qint64(degrees) * 1000000 + std::llround(minutes * 1e6 / 60), negative);
    return dmsText(qint64(degrees) * 360000 + std::llround(minutes * 6000), negative, latitude);
}

QString degreesPositionText(double degrees, bool latitude, PositionFormat format)
{
    if (!std::isfinite(degrees))
        return NumberText(degrees);
    const double a = std::fabs(degrees);
    switch (format) {
    case PositionFormat::DegMin:
        break;
    case PositionFormat::Degrees:
        return decimalText(std::llround(a * 1e6), degrees < 0);
    case PositionFormat::DegMinSec:
        return dmsText(std::llround(a * 360000), degrees < 0, latitude);
    }
    return DegMinText(scaledFromDegrees(degrees));
}

double heightValue(double metres, HeightUnit unit)
{
    return unit == HeightUnit::Feet ? metres / kMetresPerFoot : metres;
}

double speedValue(double kmh, SpeedUnit unit)
{
    switch (unit) {
    case SpeedUnit::Kmh:
        break;
    case SpeedUnit::Knots:
        return kmh / kKmhPerKnot;
    case SpeedUnit::Mph:
        return kmh / kKmhPerMph;
    case SpeedUnit::MetresPerSecond:
        return kmh / kKmhPerMs;
    }
    return kmh;
}

QString unitLabel(HeightUnit unit)
{
    return unit == HeightUnit::Feet ? QStringLiteral("ft") : QStringLiteral("m");
}

QString unitLabel(SpeedUnit unit)
{
    switch (unit) {
    case SpeedUnit::Kmh:
        break;
    case SpeedUnit::Knots:
        return QStringLiteral("kn");
    case SpeedUnit::Mph:
        return QStringLiteral("mph");
    case SpeedUnit::MetresPerSecond:
        return QStringLiteral("m/s");
    }
    return QStringLiteral("km/h");
}

QString heightText(double metres, HeightUnit unit)
{
    if (unit == HeightUnit::Metres)
        return NumberText(metres);
    // The receiver's half metre is 1.6 ft: a tenth of a foot shows every step.
    return rounded(heightValue(metres, unit), 1) + QStringLiteral(" ft");
}

QString speedText(double kmh, SpeedUnit unit)
{
    if (unit == SpeedUnit::Kmh)
        return NumberText(kmh);
    // The receiver counts quarter km/h: 0.13 kn, 0.16 mph, 0.07 m/s.
    const int decimals = unit == SpeedUnit::MetresPerSecond ? 2 : 1;
    return rounded(speedValue(kmh, unit), decimals) + QLatin1Char(' ') + unitLabel(unit);
}

QString timeZoneName(int timeZoneIndex, const QDateTime &at)
{
    if (timeZoneIndex == kComputerTimeZone) {
        const QTimeZone zone = QTimeZone::systemTimeZone();
        const QString id = QString::fromUtf8(zone.id());
        const QString abbreviation = zone.abbreviation(at);
        return abbreviation.isEmpty() || abbreviation == id
                   ? id
                   : id + QStringLiteral(", ") + abbreviation;
    }
    const int hours = timeZoneIndex - 12;
    if (hours == 0)
        return QStringLiteral("UTC");
    return QStringLiteral("UTC%1%2")
        .arg(hours < 0 ? QChar(0x2212) : QLatin1Char('+'))
        .arg(std::abs(hours));
}
