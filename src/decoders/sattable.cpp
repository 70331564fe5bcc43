#include "decoders/sattable.h"

#include "decoders/fieldstore.h"
#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"

namespace {

constexpr int kSlots = 8;

// The highest of bits 0..3 set, or -1.
int stateBit(quint8 state)
{
    for (int bit = 3; bit >= 0; --bit)
        if (state & (1 << bit))
            return bit;
    return -1;
}

} // namespace

QString SatStateText(quint8 state)
{
    switch (stateBit(state)) {
    case 0:
        return QStringLiteral("Search");
    case 1:
        return QStringLiteral("Track");
    case 2:
        return QStringLiteral("Decode");
    case 3:
        return QStringLiteral("Fix");
    default:
        return {};
    }
}

int SatStateColor(quint8 state)
{
    switch (stateBit(state)) {
    case 0:
        return SatColor::kSearch;
    case 1:
        return SatColor::kTrack;
    case 2:
        return SatColor::kDecode;
    case 3:
        return SatColor::kFix;
    default:
        return SatColor::kIdle;
    }
}

QString HealthLetter(quint8 health, int n)
{
    const bool set = n >= 1 && n <= 8 && (health >> (n - 1)) & 1;
    return set ? QStringLiteral("H") : QStringLiteral("U");
}

void FillSatTable(GPS_Main &g, QByteArrayView frame)
{
    const SatelliteMessage m = parseSatellites(frame);
    int n = 0;
    for (const SatelliteChannel &c : m.channels) {
        if (c.number == 0)
            continue;
        auto &row = g.SatTable[std::size_t(++n)];
        row[1] = c.number;
        row[2] = SatStateColor(c.state);
        row[3] = c.levelDb;
        row[4] = c.azimuth / 256.0;
        row[5] = c.elevation / 256.0;
    }
    // Only the number marks a row empty; readers skip such rows.
    for (int row = n + 1; row <= kSlots; ++row)
        g.SatTable[std::size_t(row)][1] = 0;
}

void recSatTexts(QByteArrayView frame, FieldStore &s)
{
    static const IndexedNames id("ID(%1)", 1, kSlots);
    static const IndexedNames condition("Condition(%1)", 1, kSlots);
    static const IndexedNames svacc("SVACC(%1)", 1, kSlots);
    static const IndexedNames level("Level(%1)", 1, kSlots);
    static const IndexedNames azimuth("Azimuth(%1)", 1, kSlots);
    static const IndexedNames elevation("Elevation(%1)", 1, kSlots);
    static const IndexedNames health("Health(%1)", 0, 32);
    const SatelliteMessage m = parseSatellites(frame);
    s.begin();
    for (int k = 1; k <= kSlots; ++k) {
        const SatelliteChannel &c = m.channels[std::size_t(k - 1)];
        s.next(id[k], quint64(c.number),
               [&] { return c.number == 0 ? QStringLiteral("N/R") : QString::number(c.number); });
        s.next(condition[k], c.state & 15, [&] { return SatStateText(c.state); });
        s.next(svacc[k], c.state >> 4, [&] { return QString::number(c.state >> 4); });
        s.next(level[k], c.levelRaw, [&] { return NumberText(c.levelDb); });
        s.next(azimuth[k], c.azimuth, [&] { return NumberText(c.azimuthDeg); });
        s.next(elevation[k], c.elevation, [&] { return NumberText(c.elevationDeg); });
    }
    s.next(health[0], quint64(m.elapsedDays), [&] { return QString::number(m.elapsedDays); });
    for (int i = 0; i < 4; ++i) {
        const quint8 h = m.health[std::size_t(i)];
        for (int j = 1; j <= 8; ++j)
            s.next(health[8 * i + j], h >> (j - 1) & 1, [&] { return HealthLetter(h, j); });
    }
    s.next(QStringLiteral("RawHex"), frame, [&] { return RawHexText(frame); });
}

Fields recSatFields(QByteArrayView frame)
{
    FieldStore s;
    recSatTexts(frame, s);
    return s.fields();
}
