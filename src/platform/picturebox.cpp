#include "picturebox.h"

#include <QFontInfo>
#include <QPaintEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent), m_font(labelFont())
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    fitImage();
}

QFont PictureBox::labelFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    if (QFontInfo(font).family() != font.family()) {
        font = QFont();
        font.setStyleHint(QFont::SansSerif);
        font.setFamily(font.defaultFamily());
    }
    font.setPointSizeF(9.75);
    font.setBold(true);
    return font;
}

void PictureBox::fitImage()
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (size().expandedTo(QSize(1, 1)) * ratio);
    if (!m_image.isNull() && m_image.size() == pixels)
        return;
    endPainting();
    m_image = QImage(pixels, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    // Points on the image are as large as on the screen the widget is on.
    const int dotsPerMeter = int(logicalDpiX() / 0.0254 + 0.5);
    m_image.setDotsPerMeterX(dotsPerMeter);
    m_image.setDotsPerMeterY(dotsPerMeter);
    m_image.fill(Qt::white);
}

void PictureBox::setScale(QPointF topLeft, QPointF bottomRight)
{
    m_topLeft = topLeft;
    m_bottomRight = bottomRight;
}

QPainter &PictureBox::painter()
{
    fitImage();
    if (!m_painter.isActive()) {
        m_painter.begin(&m_image);
        m_painter.setFont(m_font);
    }
    return m_painter;
}

void PictureBox::endPainting() const
{
    if (m_painter.isActive())
        m_painter.end();
}

void PictureBox::clear()
{
    fitImage();
    endPainting();
    m_image.fill(Qt::white);
    m_printPosition = m_topLeft;
    update();
    emit cleared();
}

void PictureBox::setColor(const QColor &color)
{
    m_color = color;
}

QPointF PictureBox::toPixels(QPointF user) const
{
    const QSizeF logical = m_image.deviceIndependentSize();
    const double w = m_bottomRight.x() - m_topLeft.x();
    const double h = m_bottomRight.y() - m_topLeft.y();
    if (w == 0 || h == 0)
        return {};
    return {(user.x() - m_topLeft.x()) / w * logical.width(),
            (user.y() - m_topLeft.y()) / h * logical.height()};
}

double PictureBox::pixelsPerUnit() const
{
    const double w = m_bottomRight.x() - m_topLeft.x();
    return w == 0 ? 0 : m_image.deviceIndependentSize().width() / std::abs(w);
}

void PictureBox::circle(QPointF centre, double radius, bool filled)
{
    QPainter &p = painter();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(m_color);
    p.setBrush(filled ? QBrush(m_color) : QBrush(Qt::NoBrush));
    const double r = radius * pixelsPerUnit();
    p.drawEllipse(toPixels(centre), r, r);
    update();
}

void PictureBox::line(QPointF from, QPointF to)
{
    QPainter &p = painter();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(m_color);
    p.drawLine(toPixels(from), toPixels(to));
    update();
}

void PictureBox::moveTo(QPointF position)
{
    m_printPosition = position;
}

void PictureBox::print(const QString &text)
{
    QPainter &p = painter();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setPen(m_color);
    const QPointF at = toPixels(m_printPosition);
    p.drawText(QRectF(at, QSizeF(10000, 10000)), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
               text);
    update();
}

void PictureBox::paintEvent(QPaintEvent *e)
{
    endPainting();
    QPainter p(this);
    p.fillRect(e->rect(), Qt::white);
    p.drawImage(QPointF(0, 0), m_image);
    if (m_dimmed)
        p.fillRect(e->rect(), QColor(255, 255, 255, 170));
}

void PictureBox::setDimmed(bool dimmed)
{
    if (dimmed == m_dimmed)
        return;
    m_dimmed = dimmed;
    update();
}
