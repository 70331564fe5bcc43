#include "decoders/formatters.h"

#include "link/bcd.h"
#include "link/units.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

namespace {

// Fifteen significant digits in the C locale, no trailing zeros: "1.4", "-0.25", "12",
// and "1E+20" / "1E-05" where the exponent form cannot be avoided.
QString plainDigits(double x)
{
    if (x == 0)
        x = 0; // no "-0"
    if (!std::isfinite(x))
        return QString::number(x, 'g', 15);
    // The shortest digits that read back as x. With at most fifteen of them they are
    // also x rounded to fifteen digits; otherwise the standard library rounds. Qt
    // would round an exact halfway case up where the library rounds to even: such a
    // value has sixteen shortest digits ending in 5, and Qt formats those itself.
    char buf[40];
    const auto shortest = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    const char *e = std::find(buf, shortest.ptr, 'e');
    const bool negative = buf[0] == '-';
    char digits[20];
    int n = 0;
    for (const char *c = buf + (negative ? 1 : 0); c != e; ++c)
        if (*c != '.')
            digits[n++] = *c;
    // Below the normal range a double holds fewer digits than fifteen.
    if (n > 15 || std::abs(x) < std::numeric_limits<double>::min()) {
        if (n == 16 && digits[15] == '5') {
            QString s = QString::number(x, 'g', 15);
            s.replace(QLatin1Char('e'), QLatin1Char('E'));
            return s;
        }
        const auto end = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
        for (char *c = buf; c != end.ptr; ++c)
            if (*c == 'e')
                *c = 'E';
        return QString::fromLatin1(buf, end.ptr - buf);
    }
    int exponent = 0;
    std::from_chars(e + (e[1] == '+' ? 2 : 1), shortest.ptr, exponent);

    // As printf's %.15g writes them, trailing zeros dropped.
    char out[40];
    int o = 0;
    if (negative)
        out[o++] = '-';
    if (exponent < -4 || exponent >= 15) {
        out[o++] = digits[0];
        if (n > 1) {
            out[o++] = '.';
            for (int i = 1; i < n; ++i)
                out[o++] = digits[i];
        }
        o += std::snprintf(out + o, sizeof out - o, "E%c%02d", exponent < 0 ? '-' : '+',
                           std::abs(exponent));
    } else if (exponent >= 0) {
        for (int i = 0; i <= exponent; ++i)
            out[o++] = i < n ? digits[i] : '0';
        if (n > exponent + 1) {
            out[o++] = '.';
            for (int i = exponent + 1; i < n; ++i)
                out[o++] = digits[i];
        }
    } else {
        out[o++] = '0';
        out[o++] = '.';
        for (int i = 0; i < -exponent - 1; ++i)
            out[o++] = '0';
        for (int i = 0; i < n; ++i)
            out[o++] = digits[i];
    }
    return QString::fromLatin1(out, o);
}

// The default locale's decimal separator and date and time patterns, worked out once
// for each locale in use rather than for every text.
struct LocaleTexts {
    QLocale locale;
    QString point;
    QString shortDate;
    QString longTime;
    // The long-time pattern taken apart; empty when it holds anything beyond hours,
    // minutes, seconds, AM/PM and literal text, and Qt formats it instead.
    struct Part {
        // 0 literal; 'h' 12-hour, 'H' 24-hour, 'm', 's', 'A' or 'a' AM/PM; 'd', 'M', 'y'
        char field = 0;
        int width = 1;
        QString text;
    };
    QList<Part> timeParts;
    QList<Part> dateParts;
    QString am, pm;
    // The date text changes once a day: the last one is kept.
    QDate lastDate;
    QString lastDateText;
};

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

// Splits a date or time pattern into literal text and the fields it shows, the way
// QLocale reads it; an empty list for what this does not cover (other letters, month
// and day names, native digits).
QList<LocaleTexts::Part> patternParts(const QLocale &locale, const QString &pattern, bool date)
{
    if (locale.zeroDigit() != QLatin1String("0"))
        return {};
    QList<LocaleTexts::Part> parts;
    const auto literal = [&parts](QStringView text) {
        if (parts.isEmpty() || parts.last().field != 0)
            parts.append(LocaleTexts::Part{});
        parts.last().text += text;
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (c == QLatin1Char('\'')) {
            const qsizetype close = pattern.indexOf(QLatin1Char('\''), i + 1);
            if (close == i + 1) {
                literal(u"'");
                i += 2;
                continue;
            }
            if (close < 0)
                return {};
            literal(QStringView(pattern).mid(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        if (!c.isLetter()) {
            literal(QStringView(pattern).mid(i, 1));
            ++i;
            continue;
        }
        qsizetype run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        const char l = char(c.toLatin1());
        const bool number =
            date ? (l == 'd' || l == 'M') : (l == 'h' || l == 'H' || l == 'm' || l == 's');
        if (number && run <= 2) {
            parts.append({l, int(run), {}});
            i += run;
        } else if (date && l == 'y' && run == 4) {
            parts.append({l, 4, {}});
            i += run;
        } else if (!date && (l == 'A' || l == 'a') && run == 1) {
            // "AP" and "ap" are one field, as is a lone "A" or "a".
            const bool pair =
                i + 1 < pattern.size() && pattern[i + 1] == QLatin1Char(l == 'A' ? 'P' : 'p');
            parts.append({l, 1, {}});
            i += pair ? 2 : 1;
        } else {
            return {};
        }
    }
    // Without AM/PM the hour counts to 24 in either case.
    const bool twelveHour = std::any_of(parts.cbegin(), parts.cend(), [](const auto &p) {
        return p.field == 'A' || p.field == 'a';
    });
    for (auto &p : parts)
        if (p.field == 'h' && !twelveHour)
            p.field = 'H';
    return parts;
}

LocaleTexts &localeTexts()
{
    static thread_local std::optional<LocaleTexts> cached;
    const QLocale locale;
    if (!cached || !(cached->locale == locale)) {
        cached.emplace();
        cached->locale = locale;
        cached->point = locale.decimalPoint();
        cached->shortDate = shortDatePattern(locale);
        cached->longTime = longTimePattern(locale);
        cached->timeParts = patternParts(locale, cached->longTime, false);
        cached->dateParts = patternParts(locale, cached->shortDate, true);
        cached->am = locale.amText();
        cached->pm = locale.pmText();
    }
    return *cached;
}

void appendNumber(QString &out, int value, int width)
{
    if (width == 2 || value >= 10)
        out += QLatin1Char(char('0' + value / 10));
    out += QLatin1Char(char('0' + value % 10));
}

QString timeText(const LocaleTexts &texts, QTime time)
{
    if (texts.timeParts.isEmpty())
        return texts.locale.toString(time, texts.longTime);
    QString out;
    out.reserve(24);
    for (const LocaleTexts::Part &p : texts.timeParts) {
        switch (p.field) {
        case 0:
            out += p.text;
            break;
        case 'h':
            appendNumber(out, time.hour() % 12 == 0 ? 12 : time.hour() % 12, p.width);
            break;
        case 'H':
            appendNumber(out, time.hour(), p.width);
            break;
        case 'm':
            appendNumber(out, time.minute(), p.width);
            break;
        case 's':
            appendNumber(out, time.second(), p.width);
            break;
        case 'A':
            out += (time.hour() < 12 ? texts.am : texts.pm).toUpper();
            break;
        case 'a':
            out += (time.hour() < 12 ? texts.am : texts.pm).toLower();
            break;
        }
    }
    return out;
}

QString dateText(const LocaleTexts &texts, QDate date)
{
    if (texts.dateParts.isEmpty() || date.year() < 1000 || date.year() > 9999)
        return texts.locale.toString(date, texts.shortDate);
    QString out;
    out.reserve(16);
    for (const LocaleTexts::Part &p : texts.dateParts) {
        switch (p.field) {
        case 0:
            out += p.text;
            break;
        case 'd':
            appendNumber(out, date.day(), p.width);
            break;
        case 'M':
            appendNumber(out, date.month(), p.width);
            break;
        case 'y':
            appendNumber(out, date.year() / 100, 2);
            appendNumber(out, date.year() % 100, 2);
            break;
        }
    }
    return out;
}

// Seconds local time is ahead of UTC at this moment: the whole hours of the index, or
// the computer's rules, daylight saving included.
qint64 zoneOffsetSeconds(QDate utcDate, qint64 utcSeconds, int timeZoneIndex)
{
    if (timeZoneIndex != kComputerTimeZone)
        return qint64(timeZoneIndex - 12) * 3600;
    const QDateTime utc = QDateTime(utcDate, QTime(0, 0), Qt::UTC).addSecs(utcSeconds);
    return QTimeZone::systemTimeZone().offsetFromUtc(utc);
}

} // namespace

QString NumberText(double x)
{
    QString s = plainDigits(x);
    const QString &point = localeTexts().point;
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
    const QChar sign = s.front();
    // Below one minute: zero degrees, then the minutes as two digits and at most four
    // decimals, cut rather than rounded; the exponent form of tiny values is all zeros.
    if (s.contains(QLatin1Char('E')) && std::abs(scaledCoordinate) < 1)
        return sign + QLatin1Char('0') + degree + QStringLiteral("00.0000");
    // Digits padded to DDDMM so that a position within a degree of zero still shows
    // its degree digit and two digits of whole minutes: 22.5 is 0°22.5, 5.25 is 0°05.25.
    QString digits = s.mid(1);
    const qsizetype point = digits.indexOf(QLatin1Char('.'));
    const qsizetype whole = point >= 0 ? point : digits.size();
    if (whole < 3)
        digits.prepend(QString(3 - whole, QLatin1Char('0')));
    const qsizetype split = (point >= 0 ? digits.indexOf(QLatin1Char('.')) : digits.size()) - 2;
    return sign + digits.left(split) + degree + digits.mid(split, 7);
}

QString RawHexText(QByteArrayView frame)
{
    return RawHexText(reinterpret_cast<const quint8 *>(frame.data()), int(frame.size()));
}

QString RawHexText(const quint8 *frame, int length)
{
    static const char digits[] = "0123456789ABCDEF";
    QString out(3 * qMax(0, length), QLatin1Char(' '));
    QChar *c = out.data();
    for (int i = 0; i < length; ++i, c += 3) {
        c[0] = QLatin1Char(digits[frame[i] >> 4]);
        c[1] = QLatin1Char(digits[frame[i] & 15]);
    }
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
    const qint64 utcSeconds =
        qint64(bcdValue(bcd[3])) * 3600 + qint64(bcdValue(bcd[4])) * 60 + bcdValue(bcd[5]);
    const qint64 offset = utcSeconds + zoneOffsetSeconds(date, utcSeconds, timeZoneIndex);
    // Whole days move the date; the rest is the time of day.
    const qint64 days = offset >= 0 ? offset / 86400 : -((-offset + 86399) / 86400);
    const QDate localDate = date.addDays(days);
    const int seconds = int(offset - days * 86400);

    LocaleTexts &texts = localeTexts();
    if (localDate != texts.lastDate || texts.lastDateText.isEmpty()) {
        texts.lastDate = localDate;
        texts.lastDateText = dateText(texts, localDate);
    }
    QString text = texts.lastDateText;
    if (seconds != 0)
        text += QLatin1Char(' ') + timeText(texts, QTime(0, 0).addSecs(seconds));
    return text;
}
