#include "twips.h"

#include <QWidget>
#include <cmath>

namespace {
double dpi(const QWidget *w)
{
    const int d = w ? w->logicalDpiX() : 96;
    return d > 0 ? d : 96;
}
} // namespace

int twipsToPixels(int twips, const QWidget *w)
{
    return int(std::lround(twips * dpi(w) / 1440.0));
}

int pixelsToTwips(int pixels, const QWidget *w)
{
    return int(std::lround(pixels * 1440.0 / dpi(w)));
}

QRect twipsRect(int left, int top, int width, int height, const QWidget *w)
{
    return QRect(twipsToPixels(left, w), twipsToPixels(top, w), twipsToPixels(width, w),
                 twipsToPixels(height, w));
}
