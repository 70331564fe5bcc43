#include "widgets/twips.h"
#include "widgets/valuetext.h"

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

namespace {

// The font is worked out first and given to the widget once, and only when it differs:
// a new font makes the widget lay itself out again, and the date box is fitted every
// second.
void shrink(QWidget *w, const QFont &start, const QString &text, int widthPixels)
{
    auto needed = [w, &text](const QFont &f) {
        return QFontMetrics(f, w).horizontalAdvance(text) + 1;
    };
    QFont f = start;
    if (needed(f) > widthPixels) {
        f.setStretch(QFont::SemiCondensed);
        while (needed(f) > widthPixels && f.pointSizeF() > 6.5)
            f.setPointSizeF(f.pointSizeF() - 0.5);
    }
    if (w->font() != f)
        w->setFont(f);
}

} // namespace

void shrinkFontToFit(QLabel *label, int widthPixels)
{
    shrink(label, label->font(), label->text(), widthPixels);
}

void shrinkFontToFit(ValueText *box, const QFont &designFont)
{
    shrink(box, designFont, box->text(), box->textRect().width());
}

void TextFitter::fit(ValueText *box, const QFont &designFont)
{
    QString shape = box->text();
    for (QChar &c : shape)
        if (c.isDigit())
            c = QLatin1Char('0');
    const int width = box->textRect().width();
    if (designFont != m_design) {
        m_design = designFont;
        const QFontMetrics metrics(designFont, box);
        const int zero = metrics.horizontalAdvance(QLatin1Char('0'));
        m_tabularDigits = true;
        for (char d = '1'; d <= '9'; ++d)
            m_tabularDigits = m_tabularDigits && metrics.horizontalAdvance(QLatin1Char(d)) == zero;
        m_shape.clear();
    }
    if (m_tabularDigits && shape == m_shape && width == m_width && box->font() == m_chosen)
        return;
    shrinkFontToFit(box, designFont);
    m_shape = shape;
    m_width = width;
    m_chosen = box->font();
}
