#pragma once

#include <QColor>
#include <QPointF>
#include <QSizeF>
#include <QString>

// A picture that is drawn in its own user coordinates. Everything drawn stays on the
// surface until the next clear; a window shows it without redrawing it.
class DrawSurface {
public:
    virtual ~DrawSurface() = default;

    // The user coordinates of the surface's top-left and bottom-right corners.
    virtual void setScale(QPointF topLeft, QPointF bottomRight) = 0;
    // Everything erased to the background colour.
    virtual void clear() = 0;
    // The colour of outlines, lines and text from now on.
    virtual void setColor(const QColor &color) = 0;
    // Outline in the current colour; a filled circle is solid in that colour too.
    virtual void circle(QPointF centre, double radius, bool filled) = 0;
    virtual void line(QPointF from, QPointF to) = 0;
    virtual void moveTo(QPointF position) = 0;
    // The text with the top-left corner of its first character at the print position.
    virtual void print(const QString &text) = 0;
    // The width and height `text` takes when printed, in user coordinates.
    virtual QSizeF textSize(const QString &text) = 0;
};
