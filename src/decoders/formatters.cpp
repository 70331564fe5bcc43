#include "formatters.h"

#include "link/gpsmain.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace {

// Fifteen significant digits in the C locale, no trailing zeros: "1.4", "-0.25", "12",
// and "1E+20" / "1E-05" where the exponent form cannot be avoided.
QString plainDigits(double x)
{
    if (x == 0)
        x = 0; // no "-0"
    QString s = QString::number(x, 'g', 15);
    s.replace(QLatin1Char('e'), QLatin1Char('E'));
    return s;
}

// Two BCD digits read as a decimal number, stopping at the first nibble that is no
// digit: 0x59 is 59, 0x5A is 5, 0xA5 is 0.
int bcdValue(quint8 b)
{
    const int hi = b >> 4;
    const int lo = b & 15;
    if (hi > 9)
        return 0;
    if (lo > 9)
        return hi;
    return hi * 10 + lo;
}

// The locale's short date with a two-digit year widened to four digits.
QString shortDatePattern(const QLocale &locale)
{
    QString f = locale.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    f.replace(twoDigitYear, QStringLiteral("yyyy"));
    return f;
}

// The locale's long time without the time-zone name: the receiver's time carries none.
QString longTimePattern(const QLocale &locale)
{
    const QString f = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : f) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    out.remove(QStringLiteral("()"));
    // Narrow and ordinary no-break spaces before AM/PM read as a plain blank.
    out.replace(QChar(0x202F), QLatin1Char(' '));
    out.replace(QChar(0x00A0), QLatin1Char(' '));
    static const QRegularExpression doubleBlank(QStringLiteral(" {2,}"));
    out.replace(doubleBlank, QStringLiteral(" "));
    return out.trimmed();
}

} // namespace

QString HexByte(int byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const int b = byte & 0xFF;
    const QChar text[2] = {QLatin1Char(digits[b >> 4]), QLatin1Char(digits[b & 15])};
    return QString(text, 2);
}

QString NumberText(double x)
{
    QString s = plainDigits(x);
    const QString point = QLocale().decimalPoint();
    if (point != QLatin1String("."))
        s.replace(QLatin1Char('.'), point);
    return s;
}

QString SignedNumberText(double x)
{
    QString s = plainDigits(x);
    const bool negative = s.startsWith(QLatin1Char('-'));
    if (negative)
        s.remove(0, 1);
    if (s.startsWith(QLatin1String("0.")))
        s.remove(0, 1);
    return (negative ? QLatin1Char('-') : QLatin1Char(' ')) + s;
}

QString LevelText(int v)
{
    static const char *const texts[] = {"  0", "<10", "<20", ">20"};
    return QString::fromLatin1(texts[v & 3]);
}

QString ConditionText(int v)
{
    static const char *const texts[] = {"Searching", "Tracking", "Decode", "Decode Fix"};
    return QString::fromLatin1(texts[v & 3]);
}

QString DegMinText(double scaledCoordinate)
{
    const QChar degree(0x00B0);
    const QString s = SignedNumberText(scaledCoordinate);
    const QString sign = s.left(1);
    // Below one minute: zero degrees, then the minutes as two digits and at most four
    // decimals, cut rather than rounded; the exponent form of tiny values is all zeros.
    if (s.contains(QLatin1Char('E')) && std::abs(scaledCoordinate) < 1)
        return sign + QLatin1Char('0') + degree + QStringLiteral("00.0000");
    const qsizetype point = s.indexOf(QLatin1Char('.'));
    if (point == 1)
        return sign + QLatin1Char('0') + degree + (QStringLiteral("00") + s.mid(1)).left(7);
    if (point >= 0) {
        // Fewer than two digits before the point leave the sign after the degree sign.
        const qsizetype split = qMax<qsizetype>(0, point - 2);
        return s.left(split) + degree + s.mid(split, 7);
    }
    const qsizetype split = qMax<qsizetype>(0, s.size() - 2);
    return s.left(split) + degree + s.mid(split);
}

QString RawHexText(const GPS_Main &g)
{
    const int length = qBound(0, int(g.MsgLength), GPS_Main::kRxSize - 1);
    return RawHexText(g.RxBuffer.data() + 1, length);
}

QString RawHexText(const quint8 *frame, int length)
{
    QString out;
    out.reserve(3 * qMax(0, length));
    for (int i = 0; i < length; ++i)
        out += HexByte(frame[i]) + QLatin1Char(' ');
    return out;
}

QString LocalDateTimeText(const std::array<quint8, 6> &bcd, int timeZoneIndex)
{
    const int yearValue = bcdValue(bcd[0]);
    const int year = bcd[0] < 0x98 ? 2000 + yearValue : 1900 + yearValue;
    // Month 0 is December before, day 0 the last day of the month before: both roll
    // over from the first of January by calendar arithmetic.
    const QDate date =
        QDate(year, 1, 1).addMonths(bcdValue(bcd[1]) - 1).addDays(bcdValue(bcd[2]) - 1);
    const qint64 offset = qint64(bcdValue(bcd[3]) + timeZoneIndex - 12) * 3600 +
                          qint64(bcdValue(bcd[4])) * 60 + bcdValue(bcd[5]);
    const QDateTime local = QDateTime(date, QTime(0, 0), Qt::UTC).addSecs(offset);

    const QLocale locale;
    QString text = locale.toString(local.date(), shortDatePattern(locale));
    if (local.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(local.time(), longTimePattern(locale));
    return text;
}
