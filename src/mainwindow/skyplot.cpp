#include "skyplot.h"

#include "decoders/formatters.h"
#include "link/gpsmain.h"
#include "platform/drawsurface.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.28318530717958;
constexpr double kQuarterTurn = 1.570796326794895;

// A fraction of a turn clockwise from north, on a surface whose y grows downwards.
QPointF polar(double radius, double turnFraction)
{
    const double theta = kTwoPi * turnFraction - kQuarterTurn;
    return {radius * std::cos(theta), radius * std::sin(theta)};
}

} // namespace

QColor packedColor(double packed)
{
    if (!std::isfinite(packed))
        return Qt::black;
    const double rounded = std::round(packed);
    if (rounded < 0 || rounded > 0xFFFFFF)
        return Qt::black;
    const int v = int(rounded);
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

QString SatLabel(const GPS_Main &g, int slot)
{
    if (slot < 1 || slot >= int(g.SatTable.size()))
        return {};
    const auto &row = g.SatTable[slot];
    switch (g.SatLabelMode) {
    case 1:
        return NumberText(row[1]);
    case 2:
        return NumberText(row[3]);
    case 3:
        return NumberText(row[1]) + QLatin1Char('-') + NumberText(row[3]);
    default:
        return {};
    }
}

void DrawSkyPlot(const GPS_Main &g, DrawSurface &surface)
{
    surface.setColor(Qt::black);
    surface.setScale(QPointF(-2, -2), QPointF(2, 2));
    surface.clear();

    surface.circle(QPointF(0, 0), 0.1, true);
    surface.circle(QPointF(0, 0), 1.9, false);

    const struct {
        const char *letter;
        QPointF at;
    } compass[] = {
        {"S", {-0.1, 1.6}}, {"E", {1.6, -0.15}}, {"N", {-0.1, -1.8}}, {"W", {-1.8, -0.15}}};
    for (const auto &c : compass) {
        surface.moveTo(c.at);
        surface.print(QString::fromLatin1(c.letter));
    }

    surface.line(QPointF(0, 0), polar(g.HeadingLineLength, g.HeadingFraction));

    if (g.SatLabelMode == 0)
        return;
    for (int slot = 1; slot <= 8; ++slot) {
        const auto &row = g.SatTable[slot];
        // An empty slot in the middle does not end the list.
        if (!(row[1] > 0))
            continue;
        surface.setColor(packedColor(row[2]));
        surface.moveTo(polar((1 - row[5]) * 1.8, row[4]));
        surface.print(SatLabel(g, slot));
    }
}
