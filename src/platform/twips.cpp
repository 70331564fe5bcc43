#include "twips.h"

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
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

namespace {

void shrink(QWidget *w, const QString &text, int widthPixels)
{
    auto needed = [w, &text] { return w->fontMetrics().horizontalAdvance(text) + 1; };
    if (needed() <= widthPixels)
        return;
    QFont f = w->font();
    f.setStretch(QFont::SemiCondensed);
    w->setFont(f);
    while (needed() > widthPixels && f.pointSizeF() > 6.5) {
        f.setPointSizeF(f.pointSizeF() - 0.5);
        w->setFont(f);
    }
}

} // namespace

void ShrinkFontToFit(QLabel *label, int widthPixels)
{
    shrink(label, label->text(), widthPixels);
}

void ShrinkFontToFit(QLineEdit *box, const QFont &designFont)
{
    if (box->font() != designFont)
        box->setFont(designFont);
    // The frame and the box's own text margins (two pixels a side) take their part.
    const int frame =
        box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, box) : 0;
    const QMargins margins = box->textMargins();
    shrink(box, box->text(), box->width() - 2 * frame - 4 - margins.left() - margins.right());
}
