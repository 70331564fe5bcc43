#include "sattable.h"

#include "framebytes.h"

using namespace framebytes;

namespace {

constexpr int kSlots = 8;

// Slot k (1..8) takes five bytes from this frame position on: number, state,
// level, azimuth, elevation.
int slotPosition(int k)
{
    return 5 * k - 1;
}

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

void FillSatTable(GPS_Main &g)
{
    int n = 0;
    for (int k = 1; k <= kSlots; ++k) {
        const int p = slotPosition(k);
        if (at(g, p) == 0)
            continue;
        auto &row = g.SatTable[std::size_t(++n)];
        row[1] = at(g, p);
        row[2] = SatStateColor(at(g, p + 1));
        row[3] = at(g, p + 2) * 0.2;
        row[4] = at(g, p + 3) / 256.0;
        row[5] = at(g, p + 4) / 256.0;
    }
    // Only the number marks a row empty; readers skip such rows.
    for (int row = n + 1; row <= kSlots; ++row)
        g.SatTable[std::size_t(row)][1] = 0;
}

Fields RecSatFields(const GPS_Main &g)
{
    static const IndexedNames id("ID(%1)", 1, kSlots);
    static const IndexedNames condition("Condition(%1)", 1, kSlots);
    static const IndexedNames svacc("SVACC(%1)", 1, kSlots);
    static const IndexedNames level("Level(%1)", 1, kSlots);
    static const IndexedNames azimuth("Azimuth(%1)", 1, kSlots);
    static const IndexedNames elevation("Elevation(%1)", 1, kSlots);
    static const IndexedNames health("Health(%1)", 0, 32);
    Fields f;
    f.reserve(6 * kSlots + 34);
    auto add = [&f](const QString &name, const QString &text) { f.append({name, text}); };
    for (int k = 1; k <= kSlots; ++k) {
        const int p = slotPosition(k);
        const quint8 state = at(g, p + 1);
        add(id[k], at(g, p) == 0 ? QStringLiteral("N/R") : QString::number(at(g, p)));
        add(condition[k], SatStateText(state));
        add(svacc[k], QString::number(state >> 4));
        add(level[k], NumberText(at(g, p + 2) * 0.2));
        add(azimuth[k], NumberText(at(g, p + 3) / 256.0 * 360.0));
        add(elevation[k], NumberText(at(g, p + 4) / 256.0 * 180.0));
    }
    add(health[0], QString::number(at(g, 44)));
    for (int i = 0; i < 4; ++i)
        for (int j = 1; j <= 8; ++j)
            add(health[8 * i + j], HealthLetter(at(g, 45 + i), j));
    add(QStringLiteral("RawHex"), RawHexText(g));
    return f;
}
