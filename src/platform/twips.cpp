#include "twips.h"

#include <QLabel>
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

void ShrinkFontToFit(QLabel *label, int widthPixels)
{
    auto needed = [label] { return label->fontMetrics().horizontalAdvance(label->text()) + 1; };
    if (needed() <= widthPixels)
        return;
    QFont f = label->font();
    f.setStretch(QFont::SemiCondensed);
    label->setFont(f);
    while (needed() > widthPixels && f.pointSizeF() > 6.5) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        label->setFont(f);
    }
}
