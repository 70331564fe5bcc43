#include "condition.h"

#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "link/gpsmain.h"

#include <algorithm>

QString ConditionStateText(quint8 stateByte)
{
    switch (stateByte & 0x0F) {
    case 0:
        return QStringLiteral("No Satellite usable");
    case 1:
        return QStringLiteral("1 Satellite usable");
    case 2:
        return QStringLiteral("2 Satellite usable");
    case 3:
        return QStringLiteral("2D position fix");
    case 4:
        return QStringLiteral("3D position fix");
    case 5:
        return QStringLiteral("Accel exceed limit");
    case 9:
        return QStringLiteral("Receiver Error");
    default:
        return QStringLiteral("Unknown data");
    }
}

Fields ConditionFields(QByteArrayView frame)
{
    const ConditionMessage m = parseCondition(frame);
    Fields f;
    f.reserve(32);
    auto add = [&f](const QString &name, const QString &text) { f.append({name, text}); };
    const QString degree = QStringLiteral("\u00B0 ");
    const QString minutesAndSeconds = QStringLiteral("\" ");
    const auto &lon = m.longitude.bcd;
    const auto &lat = m.latitude.bcd;

    add(QStringLiteral("Condition"), ConditionStateText(m.state));
    add(QStringLiteral("SHealth"), HexByte(m.healthRaw) + QStringLiteral(" Health satellites"));
    add(QStringLiteral("SVisible"), HexByte(m.visibleRaw) + QStringLiteral(" Visible satellites"));
    add(QStringLiteral("SHeight"), QStringLiteral("Height ") +
                                       (m.heightPositive ? QStringLiteral("+") : QStringLiteral("-")) +
                                       HexByte(m.heightBcd[0]) + HexByte(m.heightBcd[1]) +
                                       QStringLiteral("m"));
    add(QStringLiteral("Longitude"),
        (m.longitude.positive ? QStringLiteral("East ") : QStringLiteral("West ")) +
            HexByte(lon[0]).mid(1) + HexByte(lon[1]) + degree + HexByte(lon[2]) +
            minutesAndSeconds + HexByte(lon[3]) + QStringLiteral("'"));
    add(QStringLiteral("Latitude"),
        (m.latitude.positive ? QStringLiteral("North ") : QStringLiteral("South ")) +
            HexByte(lat[1]) + degree + HexByte(lat[2]) + minutesAndSeconds + HexByte(lat[3]) +
            QStringLiteral("'"));
    const auto &d = m.utc.bcd;
    add(QStringLiteral("CDate"),
        QStringLiteral("Satellite Date: %1-%2-%3 %4:%5:%6 UTC")
            .arg(HexByte(d[0]), HexByte(d[1]), HexByte(d[2]), HexByte(d[3]), HexByte(d[4]),
                 HexByte(d[5])));
    static const IndexedNames satellite("Satellite(%1)", 1, 8);
    static const IndexedNames level("Level(%1)", 1, 8);
    for (int k = 1; k <= 8; ++k) {
        add(satellite[k], HexByte(m.pairs[std::size_t(k - 1)].satellite));
        add(level[k], HexByte(m.pairs[std::size_t(k - 1)].level));
    }
    // The dump shows the state byte as the part the state is read from, its low nibble,
    // as this window always has.
    std::array<quint8, GPS_Main::kRxSize> shown{};
    const int length = int(qMin<qsizetype>(frame.size(), shown.size()));
    std::copy_n(reinterpret_cast<const quint8 *>(frame.data()), length, shown.begin());
    if (length > 2)
        shown[2] &= 0x0F;
    add(QStringLiteral("RawHex"), RawHexText(shown.data(), length));
    return f;
}

Fields ConditionFields(const GPS_Main &g)
{
    return ConditionFields(receivedFrame(g));
}
