#include "setup/setupcommands.h"

#include "decoders/formatters.h"
#include "link/bcd.h"
#include "link/coordinate.h"
#include "link/numberreading.h"
#include "platform/quotedtext.h"

#include <QRegularExpression>
#include <cmath>
#include <optional>

namespace {

const QStringList kTimeFieldNames = {
    QStringLiteral("Year"), QStringLiteral("Month"),  QStringLiteral("Day"),
    QStringLiteral("Hour"), QStringLiteral("Minute"), QStringLiteral("Second"),
};

// Enough of what was typed to recognise it in a refusal; a pasted page of text
// would otherwise make the message box wider than the screen.
QString typed(const QString &text)
{
    return quotedText(text.trimmed());
}

void appendBigEndian(QByteArray &out, quint32 value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.append(char(quint8(value >> shift)));
}

// The scaled value rounded half to even, as the receiver's field of `bits` bits
// holds it, or nothing when it does not fit.
std::optional<qint64> roundedToField(double value, int bits)
{
    if (!std::isfinite(value))
        return std::nullopt;
    const double r = std::nearbyint(value); // default rounding: halves to even
    const double max = std::ldexp(1.0, bits - 1);
    if (r < -max || r > max - 1)
        return std::nullopt;
    return qint64(r);
}

// A checked DDDMM.mmmm coordinate as the receiver's signed 32-bit field. Nothing is
// appended when the value does not fit the field.
bool appendCoordinate(QByteArray &out, double scaled)
{
    const auto raw = fieldFromScaled(scaled);
    if (!raw)
        return false;
    appendBigEndian(out, quint32(*raw), 4);
    return true;
}

} // namespace

SetupPayload setTimePayload(const QStringList &fields)
{
    SetupPayload result;
    // Whole decimal numbers only: behind "&h" a letter or an empty field would go out
    // as a date the user never typed.
    static const QRegularExpression kWhole(QStringLiteral("^\\+?[0-9]+$"));
    static const int kLow[] = {0, 1, 1, 0, 0, 0};
    static const int kHigh[] = {99, 12, 31, 23, 59, 59};
    int values[6] = {};
    for (int i = 0; i < 6; ++i) {
        const QString text = (i < fields.size() ? fields[i] : QString()).trimmed();
        int high = kHigh[i];
        QString month;
        if (i == 2) {
            // The receiver's years 00-99 are 2000-2099: 29 February only in leap years.
            const QDate first(2000 + values[0], values[1], 1);
            high = first.daysInMonth();
            month = QLocale::c().monthName(values[1]) + QLatin1Char(' ') +
                    QString::number(first.year());
        }
        const QString range = QStringLiteral("enter a number from %1 to %2")
                                  .arg(kLow[i], 2, 10, QLatin1Char('0'))
                                  .arg(high, 2, 10, QLatin1Char('0'));
        const bool whole = kWhole.match(text).hasMatch();
        // Leading zeros aside, more than two digits cannot be in range.
        const QString digits = whole ? text.mid(text.startsWith(u'+') ? 1 : 0) : QString();
        static const QRegularExpression kSignificant(QStringLiteral("[1-9]"));
        const qsizetype firstDigit = digits.indexOf(kSignificant);
        const int value =
            firstDigit < 0 ? 0 : (digits.size() - firstDigit > 2 ? 100 : digits.toInt());
        if (!whole || value < kLow[i] || value > high) {
            result.payload.clear();
            result.field = i;
            if (text.isEmpty())
                result.refusal = QStringLiteral("%1 is empty: %2.").arg(kTimeFieldNames[i], range);
            else if (!whole)
                result.refusal = QStringLiteral("%1 \"%2\" is not a whole number: %3.")
                                     .arg(kTimeFieldNames[i], typed(text), range);
            else if (!month.isEmpty() && value <= 31)
                result.refusal =
                    QStringLiteral("%1 \"%2\" is out of range: %3 has %4 days; %5.")
                        .arg(kTimeFieldNames[i], typed(text), month, QString::number(high), range);
            else
                result.refusal = QStringLiteral("%1 \"%2\" is out of range: %3.")
                                     .arg(kTimeFieldNames[i], typed(text), range);
            return result;
        }
        values[i] = value;
        // The decimal digits travel as packed BCD: 59 is sent as 0x59.
        result.payload.append(char(toBcd(value)));
    }
    return result;
}

QStringList setTimeFields(const QDateTime &now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    return {
        QStringLiteral("%1").arg(((d.year() % 100) + 100) % 100, 2, 10, QLatin1Char('0')),
        QString::number(d.month()),
        QString::number(d.day()),
        QString::number(t.hour()),
        QString::number(t.minute()),
        QString::number(t.second()),
    };
}

SetupPayload setPositionPayload(const QString &latitudeD, const QString &latitudeM,
                                const QString &longitudeD, const QString &longitudeM)
{
    SetupPayload result;
    const struct {
        QString degrees, minutes;
        QString name;
        int field; // the degrees field; its minutes field follows it
        int limit; // degrees either side of zero
    } coords[] = {
        {latitudeD.trimmed(), latitudeM.trimmed(), QStringLiteral("Latitude"), 0, 90},
        {longitudeD.trimmed(), longitudeM.trimmed(), QStringLiteral("Longitude"), 2, 180},
    };
    for (const auto &c : coords) {
        const auto refuse = [&](int field, const QString &why) {
            result.payload.clear();
            result.field = field;
            result.refusal =
                why + QStringLiteral(" Enter whole degrees from -%1 to %1 and minutes "
                                     "from 0 to 59.9999 (5°07.5' south is -5 and 7.5).")
                          .arg(c.limit);
            return result;
        };
        static const QRegularExpression kDegrees(QStringLiteral("^[+-]?[0-9]+$"));
        if (c.degrees.isEmpty())
            return refuse(c.field, QStringLiteral("%1 degrees are empty.").arg(c.name));
        if (!kDegrees.match(c.degrees).hasMatch())
            return refuse(c.field, QStringLiteral("%1 degrees \"%2\" are not whole degrees.")
                                       .arg(c.name, typed(c.degrees)));
        const int minutesField = c.field + 1;
        NumberReading minutes;
        if (c.minutes.isEmpty())
            return refuse(minutesField, QStringLiteral("%1 minutes are empty.").arg(c.name));
        if (!readsWhollyAsNumber(c.minutes, minutes))
            return refuse(minutesField, QStringLiteral("%1 minutes \"%2\" are not a number.")
                                            .arg(c.name, typed(c.minutes)));
        // The sign belongs to the degrees: 33 and -5 could mean 32°55' or -33°05'.
        // "&hF0000000" reads as a negative number without a minus sign.
        if (c.minutes.startsWith(u'-') || minutes.value < 0)
            return refuse(
                minutesField,
                QStringLiteral("%1 minutes \"%2\" have a sign.").arg(c.name, typed(c.minutes)));
        if (minutes.value >= 60.0)
            return refuse(
                minutesField,
                QStringLiteral("%1 minutes \"%2\" are 60 or more.").arg(c.name, typed(c.minutes)));
        const QString shown = QStringLiteral("%1°%2'").arg(typed(c.degrees), typed(c.minutes));
        const bool negative = c.degrees.startsWith(u'-');
        QString unsignedDegrees = c.degrees;
        if (negative || unsignedDegrees.startsWith(u'+'))
            unsignedDegrees.remove(0, 1);
        const NumberReading degrees = readNumberText(unsignedDegrees);
        if (!degrees.inRange || degrees.value > c.limit)
            return refuse(c.field, QStringLiteral("%1 %2 lies beyond %3°.")
                                       .arg(c.name, shown, QString::number(c.limit)));
        // Minutes of plain digits are read as one DDDMM.mmmm text, so that every
        // two-digit minutes text reads exactly as it always has; "5.5" is "05.5".
        static const QRegularExpression kPlain(QStringLiteral("^\\+?0*([0-9]*)(\\.[0-9]*)?$"));
        const QRegularExpressionMatch plain = kPlain.match(c.minutes);
        double magnitude = degrees.value * 100.0 + minutes.value;
        if (plain.hasMatch()) {
            const QString whole = plain.captured(1).rightJustified(2, QLatin1Char('0'));
            magnitude = readNumber(unsignedDegrees + whole + plain.captured(2));
        }
        if (!(magnitude <= c.limit * 100.0) ||
            !appendCoordinate(result.payload, negative ? -magnitude : magnitude))
            return refuse(c.field, QStringLiteral("%1 %2 lies beyond %3°.")
                                       .arg(c.name, shown, QString::number(c.limit)));
    }
    // The receiver expects a ninth byte holding 1 after the two coordinates.
    result.payload.append(char(1));
    return result;
}

SetupPayload setPositionScaledPayload(const QString &latitude, const QString &longitude)
{
    SetupPayload result;
    const struct {
        QString text;
        QString name;
        int limit;
    } coords[] = {
        {latitude.trimmed(), QStringLiteral("Latitude"), 90},
        {longitude.trimmed(), QStringLiteral("Longitude"), 180},
    };
    int field = 0;
    for (const auto &c : coords) {
        const auto refuse = [&](const QString &why) {
            result.payload.clear();
            result.field = field;
            result.refusal =
                why + QStringLiteral(" Enter degrees × 100 + minutes from -%1 to %1, minutes below "
                                     "60 (-512.5 is 5°12.5' south).")
                          .arg(c.limit * 100);
            return result;
        };
        NumberReading r;
        if (!readsWhollyAsNumber(c.text, r))
            return refuse(
                r.hasDigits && !r.inRange
                    ? QStringLiteral("%1 %2 lies beyond %3°.")
                          .arg(c.name, typed(c.text), QString::number(c.limit))
                    : QStringLiteral("%1 \"%2\" is not a number.").arg(c.name, typed(c.text)));
        // DDDMM.mmmm: the minutes are what lies below the hundreds.
        const double magnitude = std::abs(r.value);
        if (std::fmod(magnitude, 100.0) >= 60.0)
            return refuse(
                QStringLiteral("%1 %2 has 60 minutes or more.").arg(c.name, typed(c.text)));
        if (!(magnitude <= c.limit * 100.0) || !appendCoordinate(result.payload, r.value))
            return refuse(QStringLiteral("%1 %2 lies beyond %3°.")
                              .arg(c.name, typed(c.text), QString::number(c.limit)));
        ++field;
    }
    result.payload.append(char(1));
    return result;
}

std::array<QString, 2> positionFields(quint8 b0, quint8 b1, quint8 b2, quint8 b3)
{
    const QString text =
        DegMinText(scaledFromField(qint32(quint32(b0) << 24 | b1 << 16 | b2 << 8 | b3)));
    const qsizetype degree = text.indexOf(QChar(0x00B0));
    if (degree < 0)
        return {text, QString()};
    return {text.left(degree), text.mid(degree + 1)};
}

SetupPayload setHeightPayload(const QString &height, const QString &accuracy)
{
    SetupPayload result;
    const struct {
        QString text;
        QString name;
    } values[] = {
        {height, QStringLiteral("Height")},
        {accuracy, QStringLiteral("Accuracy")},
    };
    int field = 0;
    for (const auto &v : values) {
        NumberReading r;
        const bool number = readsWhollyAsNumber(v.text, r);
        const auto raw = number ? roundedToField(r.value * 2.0, 16) : std::nullopt;
        if (!raw) {
            result.payload.clear();
            result.field = field;
            result.refusal = number ? QStringLiteral("%1 %2 cannot be sent. "
                                                     "Enter a value from -16384 to 16383.5.")
                                          .arg(v.name, typed(v.text))
                                    : QStringLiteral("%1 \"%2\" is not a number. "
                                                     "Enter a value from -16384 to 16383.5.")
                                          .arg(v.name, typed(v.text));
            return result;
        }
        appendBigEndian(result.payload, quint32(quint16(qint16(*raw))), 2);
        ++field;
    }
    return result;
}

QString heightFieldText(quint8 high, quint8 low)
{
    const int raw = qint16(quint16((high << 8) | low));
    // Half units: the text is exact with at most one decimal, and C-locale digits
    // keep the point that the number reading expects.
    return QString::number(raw / 2.0, 'f', raw % 2 ? 1 : 0);
}
