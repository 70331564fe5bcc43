#include "widgets/textline.h"

#include <QPainter>

TextLine::TextLine(QWidget *parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TextLine::setText(const QString &text)
{
    if (text == m_text)
        return;
    m_text = text;
    // All of it where the line is too short to show it.
    setToolTip(text);
    update();
}

QSize TextLine::sizeHint() const
{
    return {fontMetrics().averageCharWidth() * 40, fontMetrics().height() + 2};
}

QSize TextLine::minimumSizeHint() const
{
    return {0, fontMetrics().height() + 2};
}

void TextLine::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRect r = rect().adjusted(2, 0, -2, 0);
    p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter,
               fontMetrics().elidedText(m_text, Qt::ElideRight, r.width()));
}
