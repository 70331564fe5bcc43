#pragma once

#include "widgets/drawsurface.h"

#include <QStringList>

// A drawing surface that writes down every operation, one text line each, with
// coordinates rounded to 1e-9 so that tests can compare them as text:
// "scale -2,-2 2,2", "clear", "color #000000", "circle 0,0 r0.1 filled",
// "line 0,0 0,-1.5", "move 0.9,0", "print 12".
class RecordingSurface : public DrawSurface {
public:
    QStringList ops;

    static QString num(double v)
    {
        double r = std::round(v * 1e9) / 1e9;
        if (r == 0)
            r = 0;
        return QString::number(r, 'g', 12);
    }
    static QString pt(QPointF p) { return num(p.x()) + QLatin1Char(',') + num(p.y()); }

    void setScale(QPointF topLeft, QPointF bottomRight) override
    {
        ops << QStringLiteral("scale ") + pt(topLeft) + QLatin1Char(' ') + pt(bottomRight);
    }
    void clear() override { ops << QStringLiteral("clear"); }
    void setColor(const QColor &color) override { ops << QStringLiteral("color ") + color.name(); }
    void circle(QPointF centre, double radius, bool filled) override
    {
        ops << QStringLiteral("circle ") + pt(centre) + QStringLiteral(" r") + num(radius) +
                   (filled ? QStringLiteral(" filled") : QStringLiteral(" open"));
    }
    void line(QPointF from, QPointF to) override
    {
        ops << QStringLiteral("line ") + pt(from) + QLatin1Char(' ') + pt(to);
    }
    void moveTo(QPointF position) override { ops << QStringLiteral("move ") + pt(position); }
    void print(const QString &text) override { ops << QStringLiteral("print ") + text; }
    // Sizes easy to work with by hand: 0.1 a character, 0.3 high. Measuring draws nothing.
    QSizeF textSize(const QString &text) override { return {0.1 * double(text.size()), 0.3}; }
};
