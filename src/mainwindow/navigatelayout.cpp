#include "mainwindow/navigatelayout.h"

namespace {

// Design tops and sizes, and each control's distance of its left edge from the
// window's right edge.
struct Design {
    const char *name;
    int fromRight, top, width, height;
};

constexpr Design kDesign[] = {
    {"ErrorDis", 2950, 300, 925, 1515},  {"TimeDate", 2000, 0, 1875, 285},
    {"CurLat", 1520, 300, 1395, 285},    {"CurLon", 1520, 600, 1395, 285},
    {"CurHeight", 1520, 900, 1395, 285}, {"CurHead", 1520, 1200, 1395, 285},
    {"CurSpeed", 1520, 1500, 1395, 285}, {"Sats", 1520, 1800, 435, 315},
    {"Vality", 1040, 1800, 915, 315},    {"Label1(1)", 2000, 360, 495, 195},
    {"Label1(2)", 2000, 660, 555, 195},  {"Label1(3)", 2000, 960, 555, 195},
    {"Label1(4)", 2000, 1260, 555, 195}, {"Label1(5)", 2000, 1560, 555, 195},
    {"Label1(6)", 2000, 1920, 555, 195},
};

QList<ControlPlace> places(int outerWidth, int plotSide)
{
    QList<ControlPlace> out;
    out.append({QStringLiteral("Picture1"), QRect(0, 0, plotSide, plotSide)});
    for (const Design &d : kDesign)
        out.append({QString::fromLatin1(d.name),
                    QRect(outerWidth - d.fromRight, d.top, d.width, d.height)});
    return out;
}

} // namespace

NavigateLayout layoutNavigate(QSize outerTwips, WindowShape shape, int clientHeight)
{
    NavigateLayout l;
    if (shape == WindowShape::Minimized)
        return l;
    l.apply = true;
    int width = outerTwips.width();
    int height = outerTwips.height();
    // A maximised window cannot be resized; it is laid out for the width it has.
    if (shape == WindowShape::Normal) {
        width = qMax(width, kNavigateMinWidth);
        height = width - 2300;
    }
    l.outer = QSize(width, height);
    int side = width - 3000;
    if (shape == WindowShape::Maximized)
        side = qMin(side, clientHeight);
    l.controls = places(width, qMax(0, side));
    return l;
}

QList<ControlPlace> designPlaces()
{
    QList<ControlPlace> out = places(6320, 3450);
    // The plot's design size is a little off square; the first resize squares it.
    out[0].twips = QRect(0, 0, 3450, 3435);
    return out;
}
