#include "widgets/picturebox.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

// Past this many kept circles or texts the cache starts again: a picture that draws
// something new every time (a moving label) must not grow it without end.
constexpr qsizetype kMaxKept = 64;
// Drawing kept as a list before it is put on the image, at most.
constexpr std::size_t kMaxOps = 1024;

} // namespace

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
    // A new size starts blank: what was drawn for the old one is gone.
    m_ops.clear();
    m_wipe = false;
    m_drawn.clear();
    m_drawnKnown = true;
    m_imageChanged = true;
    m_image = QImage(pixels, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    // Points on the image are as large as on the screen the widget is on.
    const int dotsPerMeter = int(logicalDpiX() / 0.0254 + 0.5);
    m_image.setDotsPerMeterX(dotsPerMeter);
    m_image.setDotsPerMeterY(dotsPerMeter);
    m_image.fill(Qt::white);
    // Text is measured at the image's resolution, which may have changed with it.
    m_textSizes.clear();
}

void PictureBox::setScale(QPointF topLeft, QPointF bottomRight)
{
    m_topLeft = topLeft;
    m_bottomRight = bottomRight;
}

QPainter &PictureBox::painter()
{
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
    // What was drawn and not yet put on the image is wiped with it, unseen.
    m_ops.clear();
    m_wipe = true;
    m_printPosition = m_topLeft;
    changed();
    emit cleared();
}

void PictureBox::record(Op op)
{
    fitImage();
    m_ops.push_back(std::move(op));
    // A surface drawn on and never wiped is put on its image now and then, so the
    // list stays short.
    if (m_ops.size() >= kMaxOps && rasterise())
        m_imageChanged = true;
    changed();
}

void PictureBox::changed()
{
    if (m_settling)
        return;
    m_settling = true;
    QMetaObject::invokeMethod(this, &PictureBox::settle, Qt::QueuedConnection);
}

void PictureBox::settle()
{
    m_settling = false;
    // A picture drawn again as it was (the sky plot for a fix that did not move the
    // satellites) is neither put on the image again nor painted.
    if (repeatsImage()) {
        m_ops.clear();
        m_wipe = false;
    }
    if (m_wipe || !m_ops.empty() || m_imageChanged)
        update();
    m_imageChanged = false;
}

bool PictureBox::rasterise()
{
    // Onto the image the drawing was made for: it was fitted to the widget then.
    if (repeatsImage()) {
        m_ops.clear();
        m_wipe = false;
        return false;
    }
    const bool changes = m_wipe || !m_ops.empty();
    if (m_wipe) {
        endPainting();
        m_image.fill(Qt::white);
        m_wipe = false;
        m_drawn.clear();
        m_drawnKnown = true;
    }
    for (const Op &op : m_ops)
        paintOp(op);
    if (m_drawnKnown && m_drawn.size() + m_ops.size() <= kMaxOps) {
        m_drawn.insert(m_drawn.end(), std::make_move_iterator(m_ops.begin()),
                       std::make_move_iterator(m_ops.end()));
    } else {
        m_drawn.clear();
        m_drawnKnown = false;
    }
    m_ops.clear();
    return changes;
}

void PictureBox::paintOp(const Op &op)
{
    QPainter &p = painter();
    switch (op.kind) {
    case Op::Circle: {
        QPoint at;
        const qreal ratio = m_image.devicePixelRatio();
        const QImage &sprite = circleSprite(op.color, op.from, op.radius, op.filled, at);
        p.drawImage(QPointF(at) / ratio, sprite);
        break;
    }
    case Op::Line:
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(op.color);
        p.drawLine(op.from, op.to);
        break;
    case Op::Print:
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setPen(op.color);
        p.drawStaticText(op.from, staticText(op.text));
        break;
    }
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

const QImage &PictureBox::circleSprite(const QColor &color, QPointF centre, double radius,
                                       bool filled, QPoint &at)
{
    const qreal ratio = m_image.devicePixelRatio();
    // The sprite starts on a whole device pixel, so the circle keeps its place within a
    // pixel and looks exactly as drawn straight onto the image.
    const int margin = int(std::ceil(radius * ratio)) + 2;
    at = QPoint(int(std::floor(centre.x() * ratio)) - margin,
                int(std::floor(centre.y() * ratio)) - margin);
    const QPointF inside = centre - QPointF(at) / ratio;
    // What the sprite's pixels depend on, as raw bytes: cheap to make and to compare.
    struct Parts {
        QRgb colour;
        qint32 filled;
        double radius, x, y, ratio;
    };
    static_assert(sizeof(Parts) == 2 * 4 + 4 * 8, "no padding bytes in the key");
    const Parts parts{color.rgba(), qint32(filled), radius, inside.x(), inside.y(), ratio};
    const QByteArray key(reinterpret_cast<const char *>(&parts), sizeof parts);
    auto it = m_circles.constFind(key);
    if (it != m_circles.constEnd())
        return *it;
    if (m_circles.size() >= kMaxKept)
        m_circles.clear();
    QImage sprite(QSize(2 * margin + 1, 2 * margin + 1), QImage::Format_ARGB32_Premultiplied);
    sprite.setDevicePixelRatio(ratio);
    sprite.fill(Qt::transparent);
    QPainter p(&sprite);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(color);
    p.setBrush(filled ? QBrush(color) : QBrush(Qt::NoBrush));
    p.drawEllipse(inside, radius, radius);
    p.end();
    return *m_circles.insert(key, sprite);
}

void PictureBox::circle(QPointF centre, double radius, bool filled)
{
    Op op{Op::Circle, m_color, toPixels(centre)};
    op.radius = radius * pixelsPerUnit();
    op.filled = filled;
    record(std::move(op));
}

const QStaticText &PictureBox::staticText(const QString &text)
{
    auto it = m_texts.constFind(text);
    if (it != m_texts.constEnd())
        return *it;
    if (m_texts.size() >= kMaxKept)
        m_texts.clear();
    QStaticText s(text);
    s.setTextFormat(Qt::PlainText);
    s.setPerformanceHint(QStaticText::AggressiveCaching);
    return *m_texts.insert(text, s);
}

void PictureBox::line(QPointF from, QPointF to)
{
    Op op{Op::Line, m_color, toPixels(from)};
    op.to = toPixels(to);
    record(std::move(op));
}

void PictureBox::moveTo(QPointF position)
{
    m_printPosition = position;
}

void PictureBox::print(const QString &text)
{
    Op op{Op::Print, m_color, toPixels(m_printPosition)};
    op.text = text;
    record(std::move(op));
}

QSizeF PictureBox::textSize(const QString &text)
{
    fitImage();
    auto it = m_textSizes.constFind(text);
    if (it == m_textSizes.constEnd()) {
        if (m_textSizes.size() >= kMaxKept)
            m_textSizes.clear();
        const QFontMetricsF metrics(m_font, &m_image);
        it = m_textSizes.insert(text, QSizeF(metrics.horizontalAdvance(text), metrics.height()));
    }
    const QSizeF logical = m_image.deviceIndependentSize();
    return {it->width() * std::abs(m_bottomRight.x() - m_topLeft.x()) / logical.width(),
            it->height() * std::abs(m_bottomRight.y() - m_topLeft.y()) / logical.height()};
}

void PictureBox::paintEvent(QPaintEvent *e)
{
    rasterise();
    endPainting();
    QPainter p(this);
    // The image covers the widget but for a moment while it is resized.
    if (m_image.deviceIndependentSize().toSize() != size())
        p.fillRect(e->rect(), Qt::white);
    p.drawImage(e->rect(), m_image,
                QRectF(QPointF(e->rect().topLeft()) * m_image.devicePixelRatio(),
                       QSizeF(e->rect().size()) * m_image.devicePixelRatio()));
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
