#pragma once

#include "widgets/drawsurface.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QStaticText>
#include <QWidget>
#include <vector>

// A drawing surface kept in an image of the widget's size. Painting the widget only
// copies the image, so what is shown changes only when something is drawn.
class PictureBox : public QWidget, public DrawSurface {
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);

    void setScale(QPointF topLeft, QPointF bottomRight) override;
    void clear() override;
    void setColor(const QColor &color) override;
    void circle(QPointF centre, double radius, bool filled) override;
    void line(QPointF from, QPointF to) override;
    void moveTo(QPointF position) override;
    void print(const QString &text) override;
    QSizeF textSize(const QString &text) override;

    // What the surface holds now, at the widget's size.
    const QImage &image()
    {
        // Put on the image here, it is still to be painted on the widget.
        if (rasterise())
            m_imageChanged = true;
        endPainting();
        return m_image;
    }
    // The text font: bold 9.75 pt "MS Sans Serif", or the platform's sans-serif
    // family where that one is missing.
    static QFont labelFont();
    // Shows the picture faded, for a picture that is no longer current; the image
    // itself is kept as drawn.
    void setDimmed(bool dimmed);
    bool dimmed() const { return m_dimmed; }

signals:
    // The surface was wiped, as every redraw of a picture begins.
    void cleared();

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    // Gives the image the widget's current size; a new image starts blank.
    void fitImage();
    QPointF toPixels(QPointF user) const;
    // One painter serves a whole redraw; it ends before the image is read or replaced.
    QPainter &painter();
    void endPainting() const;
    double pixelsPerUnit() const;
    // A circle of the current colour as it is drawn on the image at `centre` (pixels),
    // kept so that drawing the same circle again is one copy.
    const QImage &circleSprite(const QColor &color, QPointF centre, double radius, bool filled,
                               QPoint &at);
    const QStaticText &staticText(const QString &text);

    // One drawing call, in the image's pixels, kept until the image is next needed.
    struct Op {
        enum Kind { Circle, Line, Print } kind;
        QColor color;
        QPointF from;
        QPointF to = {};
        double radius = 0;
        bool filled = false;
        QString text = {};
        bool operator==(const Op &) const = default;
    };
    void record(Op op);
    // The widget is painted again once the drawing in hand is over (a redraw of a picture
    // is many calls), and only if it changed what the image shows.
    void changed();
    void settle();
    // A new drawing after a wipe that repeats the one on the image leaves it as it is.
    bool repeatsImage() const { return m_wipe && m_drawnKnown && m_ops == m_drawn; }
    // Puts what was drawn since the image was last needed on it: a picture drawn again
    // and again between two paints (a fast line) is rasterised once, as last drawn.
    // Whether the image changed.
    bool rasterise();
    void paintOp(const Op &op);

    QImage m_image;
    std::vector<Op> m_ops;
    // The image is to be wiped before the kept drawing is put on it.
    bool m_wipe = false;
    // What is on the image since it was last wiped, while that is known (short enough).
    std::vector<Op> m_drawn;
    bool m_drawnKnown = true;
    bool m_settling = false;
    bool m_imageChanged = false;
    QPointF m_topLeft{0, 0};
    QPointF m_bottomRight{1, 1};
    QColor m_color = Qt::black;
    QPointF m_printPosition;
    QFont m_font;
    mutable QPainter m_painter;
    bool m_dimmed = false;
    // The same centre mark, horizon and labels come back at every redraw; an
    // antialiased outline and shaping a text cost far more than copying what they
    // drew the time before. Both caches are emptied when they grow past a few dozen.
    QHash<QByteArray, QImage> m_circles;
    QHash<QString, QStaticText> m_texts;
    // Label widths in the image's pixels, asked for at every redraw.
    QHash<QString, QSizeF> m_textSizes;
};
