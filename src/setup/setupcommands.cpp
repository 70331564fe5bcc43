#include "setupcommands.h"

#include "decoders/formatters.h"
#include "link/gpsmain.h"
#include "link/numberreading.h"

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
    constexpr qsizetype kShown = 20;
    const QString t = text.trimmed();
    return t.size() <= kShown ? t : t.left(kShown) + QStringLiteral("...");
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

} // namespace

SetupPayload setTimePayload(const QStringList &fields)
{
    SetupPayload result;
    for (int i = 0; i < 6; ++i) {
        const QString text = i < fields.size() ? fields[i] : QString();
        // Blanks before the digits are skipped as in every other field, and a plus
        // sign is dropped: behind "&h" either would read as no digits and send 0.
        QStringView digits = QStringView(text);
        while (!digits.isEmpty() && (digits.front() == u' ' || digits.front() == u'\t'))
            digits = digits.mid(1);
        const bool negative = digits.startsWith(u'-');
        if (digits.startsWith(u'+'))
            digits = digits.mid(1);
        const NumberReading r = readNumberText(QStringLiteral("&h") + digits.toString());
        if (negative || !r.inRange || r.value < 0 || r.value > 255) {
            result.payload.clear();
            result.field = i;
            result.refusal = QStringLiteral("%1 \"%2\" is out of range: enter a value from 0 to 99 "
                                            "(hexadecimal digits up to FF are also accepted).")
                                 .arg(kTimeFieldNames[i], typed(text));
            return result;
        }
        result.payload.append(char(quint8(r.value)));
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
        const QString form =
            QStringLiteral("Enter whole degrees from -%1 to %1 and minutes from 00 to 59.9999, "
                           "with two digits before the point (5°07.5' is 5 and 07.5).")
                .arg(c.limit);
        const auto refuse = [&](int field, const QString &why) {
            result.payload.clear();
            result.field = field;
            result.refusal = why + QLatin1Char(' ') + form;
            return result;
        };
        // Degrees may be empty or a lone sign: that is how a position within one
        // degree of the equator or the meridian is filled in.
        static const QRegularExpression kDegrees(QStringLiteral("^[+-]?[0-9]*$"));
        if (!kDegrees.match(c.degrees).hasMatch())
            return refuse(c.field, QStringLiteral("%1 degrees \"%2\" are not whole degrees.")
                                       .arg(c.name, typed(c.degrees)));
        NumberReading minutes;
        NumberReading joined;
        const QString text = c.degrees + c.minutes;
        const bool minutesRead = !c.minutes.isEmpty() && readsWhollyAsNumber(c.minutes, minutes);
        const bool joinedRead = minutesRead && readsWhollyAsNumber(text, joined);
        if (minutesRead && !joinedRead && !joined.inRange)
            return refuse(c.field, QStringLiteral("%1 %2 lies beyond %3°.")
                                       .arg(c.name, typed(text), QString::number(c.limit)));
        if (!joinedRead) {
            const bool noDegrees = !c.degrees.contains(QRegularExpression(QStringLiteral("[0-9]")));
            const int field = c.minutes.isEmpty() && noDegrees ? c.field : c.field + 1;
            return refuse(field, c.minutes.isEmpty()
                                     ? QStringLiteral("%1 is empty.").arg(c.name)
                                     : QStringLiteral("%1 minutes \"%2\" are not a number.")
                                           .arg(c.name, typed(c.minutes)));
        }
        // DDDMM.mmmm: the minutes are what lies below the hundreds.
        const double magnitude = std::abs(joined.value);
        if (std::fmod(magnitude, 100.0) >= 60.0)
            return refuse(c.field + 1,
                          QStringLiteral("%1 %2 has 60 minutes or more.").arg(c.name, typed(text)));
        if (magnitude > c.limit * 100.0)
            return refuse(c.field, QStringLiteral("%1 %2 lies beyond %3°.")
                                       .arg(c.name, typed(text), QString::number(c.limit)));
        // Scaled in two steps, 256 then 36, as the receiver's own arithmetic does.
        const auto raw = roundedToField(joined.value * 256.0 * 36.0, 32);
        if (!raw)
            return refuse(c.field,
                          QStringLiteral("%1 %2 cannot be sent.").arg(c.name, typed(text)));
        appendBigEndian(result.payload, quint32(qint32(*raw)), 4);
    }
    // The receiver expects a ninth byte holding 1 after the two coordinates.
    result.payload.append(char(1));
    return result;
}

std::array<QString, 2> positionFields(quint8 b0, quint8 b1, quint8 b2, quint8 b3)
{
    const QString hex =
        QStringLiteral("&h") + HexByte(b0) + HexByte(b1) + HexByte(b2) + HexByte(b3);
    const double scaled = readNumber(hex) / 256.0 / 36.0;
    const QString text = DegMinText(scaled);
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
