#include "decoders/condition.h"

#include "decoders/fieldstore.h"
#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "link/gpsmain.h"

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

void conditionTexts(QByteArrayView frame, FieldStore &s)
{
    const ConditionMessage m = parseCondition(frame);
    using K = FieldStore;
    const QString degree = QStringLiteral("\u00B0 ");
    const QString minutesAndSeconds = QStringLiteral("\" ");
    const auto &lon = m.longitude.bcd;
    const auto &lat = m.latitude.bcd;

    s.begin();
    s.next(QStringLiteral("Condition"), m.receiverState,
           [&] { return ConditionStateText(m.state); });
    s.next(QStringLiteral("SHealth"), m.healthRaw,
           [&] { return HexByte(m.healthRaw) + QStringLiteral(" Health satellites"); });
    s.next(QStringLiteral("SVisible"), m.visibleRaw,
           [&] { return HexByte(m.visibleRaw) + QStringLiteral(" Visible satellites"); });
    s.next(QStringLiteral("SHeight"), K::key({m.heightPositive, m.heightBcd[0], m.heightBcd[1]}),
           [&] {
               return QStringLiteral("Height ") +
                      (m.heightPositive ? QStringLiteral("+") : QStringLiteral("-")) +
                      HexByte(m.heightBcd[0]) + HexByte(m.heightBcd[1]) + QStringLiteral("m");
           });
    s.next(QStringLiteral("Longitude"), K::key({lon[0], lon[1], lon[2], lon[3]}), [&] {
        return (m.longitude.positive ? QStringLiteral("East ") : QStringLiteral("West ")) +
               HexByte(lon[0]).mid(1) + HexByte(lon[1]) + degree + HexByte(lon[2]) +
               minutesAndSeconds + HexByte(lon[3]) + QStringLiteral("'");
    });
    s.next(QStringLiteral("Latitude"), K::key({lat[0], lat[1], lat[2], lat[3]}), [&] {
        return (m.latitude.positive ? QStringLiteral("North ") : QStringLiteral("South ")) +
               HexByte(lat[1]) + degree + HexByte(lat[2]) + minutesAndSeconds + HexByte(lat[3]) +
               QStringLiteral("'");
    });
    const auto &d = m.utc.bcd;
    s.next(QStringLiteral("CDate"), K::key({d[0], d[1], d[2], d[3], d[4], d[5]}), [&] {
        return QStringLiteral("Satellite Date: %1-%2-%3 %4:%5:%6 UTC")
            .arg(HexByte(d[0]), HexByte(d[1]), HexByte(d[2]), HexByte(d[3]), HexByte(d[4]),
                 HexByte(d[5]));
    });
    static const IndexedNames satellite("Satellite(%1)", 1, 8);
    static const IndexedNames level("Level(%1)", 1, 8);
    for (int k = 1; k <= 8; ++k) {
        const ConditionMessage::Pair &p = m.pairs[std::size_t(k - 1)];
        s.next(satellite[k], p.satellite, [&] { return HexByte(p.satellite); });
        s.next(level[k], p.level, [&] { return HexByte(p.level); });
    }
    // The dump shows the state byte as the part the state is read from, its low nibble,
    // as this window always has.
    s.next(QStringLiteral("RawHex"), frame, [&] {
        QString dump = RawHexText(frame);
        if (frame.size() > 2)
            dump[6] = QLatin1Char('0');
        return dump;
    });
}

Fields conditionFields(QByteArrayView frame)
{
    FieldStore s;
    conditionTexts(frame, s);
    return s.fields();
}
