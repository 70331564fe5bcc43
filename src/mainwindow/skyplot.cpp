#include "mainwindow/skyplot.h"

#include "decoders/formatters.h"
#include "decoders/messagevalues.h"
#include "link/gpsmain.h"
#include "widgets/drawsurface.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kTwoPi = 6.28318530717958;
constexpr double kQuarterTurn = 1.570796326794895;
// The plot runs from -2 to 2 on both axes; labels stay whole within it.
constexpr double kPlotEdge = 2;
// A satellite on the horizon is drawn here, just inside the horizon circle of 1.9.
constexpr double kHorizonRadius = 1.8;
// The elevation rings, light grey (palette colour 7) so they stay behind the labels.
constexpr double kRingElevations[] = {30, 60};
constexpr QColor kRingColour(192, 192, 192);
// The used-in-fix mark left of a label, in label heights: its radius and its gap.
constexpr double kMarkRadius = 0.3;
constexpr double kMarkGap = 0.15;

// A fraction of a turn clockwise from north, on a surface whose y grows downwards.
QPointF polar(double radius, double turnFraction)
{
    const double theta = kTwoPi * turnFraction - kQuarterTurn;
    return {radius * std::cos(theta), radius * std::sin(theta)};
}

// Distance from the centre of a satellite at `degrees` elevation: the horizon at
// 1.8, the zenith at the centre. Elevations past 90° (a byte above 128) are the zenith.
double elevationRadius(double degrees)
{
    return (1 - std::clamp(degrees, 0.0, 90.0) / 90) * kHorizonRadius;
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

    surface.setColor(kRingColour);
    for (const double elevation : kRingElevations)
        surface.circle(QPointF(0, 0), elevationRadius(elevation), false);
    surface.setColor(Qt::black);

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
    // The satellites the Signal Levels window ticks: those of the latest fix.
    const NavigationMessage nav = parseNavigation(
        QByteArrayView(g.LastNavigation.data() + 1, qsizetype(g.LastNavigation.size() - 1)));
    for (int slot = 1; slot <= 8; ++slot) {
        const auto &row = g.SatTable[slot];
        // An empty slot in the middle does not end the list.
        if (!(row[1] > 0))
            continue;
        // A place that is not a number cannot be drawn anywhere.
        if (!std::isfinite(row[4]) || !std::isfinite(row[5]))
            continue;
        // Column 5 is the elevation byte / 256, and the byte counts 256 to half a turn.
        const QPointF at = polar(elevationRadius(row[5] * 180), row[4]);
        const QString label = SatLabel(g, slot);
        const QSizeF size = surface.textSize(label);
        const bool used = row[1] <= 32 && nav.usesSatellite(int(row[1]));
        const double markWidth = used ? (2 * kMarkRadius + kMarkGap) * size.height() : 0;
        // Near the east or south horizon the label moves in until it ends at the edge.
        const QPointF topLeft(
            std::max(-kPlotEdge + markWidth, std::min(at.x(), kPlotEdge - size.width())),
            std::max(-kPlotEdge, std::min(at.y(), kPlotEdge - size.height())));
        surface.setColor(packedColor(row[2]));
        if (used)
            surface.circle(
                topLeft + QPointF(-(kMarkRadius + kMarkGap) * size.height(), size.height() / 2),
                kMarkRadius * size.height(), true);
        surface.moveTo(topLeft);
        surface.print(label);
    }
}
