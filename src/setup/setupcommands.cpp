#include "setupcommands.h"

#include "decoders/formatters.h"
#include "link/gpsmain.h"
#include "link/numberreading.h"

#include <cmath>
#include <optional>

namespace {

const QStringList kTimeFieldNames = {
    QStringLiteral("Year"), QStringLiteral("Month"),  QStringLiteral("Day"),
    QStringLiteral("Hour"), QStringLiteral("Minute"), QStringLiteral("Second"),
};

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

SetupPayload SetTimePayload(const QStringList &fields)
{
    SetupPayload result;
    for (int i = 0; i < 6; ++i) {
        const QString text = i < fields.size() ? fields[i] : QString();
        const NumberReading r = ReadNumberText(QStringLiteral("&h") + text);
        if (!r.inRange || r.value < 0 || r.value > 255) {
            result.payload.clear();
            result.field = i;
            result.refusal = QStringLiteral("%1 \"%2\" is out of range: enter a value from 0 to 99 "
                                            "(hexadecimal digits up to FF are also accepted).")
                                 .arg(kTimeFieldNames[i], text.trimmed());
            return result;
        }
        result.payload.append(char(quint8(r.value)));
    }
    return result;
}

QStringList SetTimeFields(const QDateTime &now)
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

SetupPayload SetPositionPayload(const QString &latitudeD, const QString &latitudeM,
                                const QString &longitudeD, const QString &longitudeM)
{
    SetupPayload result;
    const struct {
        QString text;
        QString name;
        int field;
    } coords[] = {
        {latitudeD + latitudeM, QStringLiteral("Latitude"), 0},
        {longitudeD + longitudeM, QStringLiteral("Longitude"), 2},
    };
    for (const auto &c : coords) {
        const NumberReading r = ReadNumberText(c.text);
        // Scaled in two steps, 256 then 36, as the receiver's own arithmetic does.
        const auto raw = r.inRange ? roundedToField(r.value * 256.0 * 36.0, 32) : std::nullopt;
        if (!raw) {
            result.payload.clear();
            result.field = c.field;
            result.refusal = QStringLiteral("%1 %2 cannot be sent. Degrees and minutes together "
                                            "must lie between -233016.8888 and 233016.8888.")
                                 .arg(c.name, c.text.trimmed());
            return result;
        }
        appendBigEndian(result.payload, quint32(qint32(*raw)), 4);
    }
    // The receiver expects a ninth byte holding 1 after the two coordinates.
    result.payload.append(char(1));
    return result;
}

std::array<QString, 2> PositionFields(quint8 b0, quint8 b1, quint8 b2, quint8 b3)
{
    const QString hex =
        QStringLiteral("&h") + HexByte(b0) + HexByte(b1) + HexByte(b2) + HexByte(b3);
    const double scaled = ReadNumber(hex) / 256.0 / 36.0;
    const QString text = DegMinText(scaled);
    const qsizetype degree = text.indexOf(QChar(0x00B0));
    if (degree < 0)
        return {text, QString()};
    return {text.left(degree), text.mid(degree + 1)};
}

SetupPayload SetHeightPayload(const QString &height, const QString &accuracy)
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
        const NumberReading r = ReadNumberText(v.text);
        const auto raw = r.inRange ? roundedToField(r.value * 2.0, 16) : std::nullopt;
        if (!raw) {
            result.payload.clear();
            result.field = field;
            result.refusal = QStringLiteral("%1 %2 cannot be sent. "
                                            "Enter a value from -16384 to 16383.5.")
                                 .arg(v.name, v.text.trimmed());
            return result;
        }
        appendBigEndian(result.payload, quint32(quint16(qint16(*raw))), 2);
        ++field;
    }
    return result;
}

QString HeightFieldText(quint8 high, quint8 low)
{
    const int raw = qint16(quint16((high << 8) | low));
    // Half units: the text is exact with at most one decimal, and C-locale digits
    // keep the point that the number reading expects.
    return QString::number(raw / 2.0, 'f', raw % 2 ? 1 : 0);
}

void SendSetupCommand(GPS_Main &g, int command, const QByteArray &payload)
{
    g.SendRequest(SetupCommand::Prepare);
    const int n = int(std::min<qsizetype>(payload.size(), GPS_Main::kCmdSize - 1));
    for (int i = 0; i < n; ++i)
        g.CmdBuffer[std::size_t(i + 1)] = quint8(payload[i]);
    g.CmdBuffer[0] = quint8(n);
    g.SendCommand(command);
}
