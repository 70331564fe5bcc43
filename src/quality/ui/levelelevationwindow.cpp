#include "quality/ui/levelelevationwindow.h"

#include "quality/qualitywatch.h"

#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Levels in dB from 0 to this at least; the axis grows for a stronger receiver.
constexpr double kLevelTopDb = 30;

} // namespace

LevelElevationPlot::LevelElevationPlot(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Plot"));
    setMinimumSize(460, 300);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

QColor LevelElevationPlot::colorOf(int number)
{
    // Successive numbers a golden angle apart on the colour wheel, odd ones darker, so
    // that the few satellites in view seldom share a hue.
    return QColor::fromHsv(int(std::lround(number * 137.508)) % 360, 230, number % 2 ? 160 : 225);
}

void LevelElevationPlot::setPoints(std::map<int, std::vector<SatellitePoint>> points)
{
    m_points = std::move(points);
    update();
}

void LevelElevationPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const double legend = fm.horizontalAdvance(QStringLiteral("Sat 32")) + 28;
    const double left = fm.horizontalAdvance(QStringLiteral("000")) + 10;
    const QRectF a(left, fm.height() + 6, std::max(1.0, width() - left - legend),
                   std::max(1.0, height() - 3.0 * fm.height() - 12));
    double top = kLevelTopDb;
    for (const auto &[number, points] : m_points)
        for (const SatellitePoint &pt : points)
            top = std::max(top, std::ceil(pt.levelDb / 5) * 5);
    const auto xOf = [&](double elevation) {
        return a.left() + std::clamp(elevation, 0.0, 90.0) / 90.0 * a.width();
    };
    const auto yOf = [&](double level) { return a.bottom() - level / top * a.height(); };

    p.setPen(Qt::black);
    p.drawText(QRectF(a.left(), 0, a.width(), fm.height() + 2), Qt::AlignLeft,
               QStringLiteral("Level (dB) against elevation (degrees), last ten minutes"));
    for (int e = 0; e <= 90; e += 15) {
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(xOf(e), a.top()), QPointF(xOf(e), a.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(xOf(e) - 20, a.bottom() + 2, 40, fm.height()), Qt::AlignHCenter,
                   QString::number(e));
    }
    for (double v = 0; v <= top; v += 5) {
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(a.left(), yOf(v)), QPointF(a.right(), yOf(v)));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, yOf(v) - fm.height() / 2.0, a.left() - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v));
    }
    p.drawRect(a);
    if (m_points.empty())
        p.drawText(a, Qt::AlignCenter, QStringLiteral("No satellite tracked yet"));

    p.setRenderHint(QPainter::Antialiasing);
    int row = 0;
    for (const auto &[number, points] : m_points) {
        const QColor c = colorOf(number);
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        for (const SatellitePoint &pt : points)
            p.drawEllipse(QPointF(xOf(pt.elevationDeg), yOf(pt.levelDb)), 2.0, 2.0);
        const double y = a.top() + row++ * fm.height();
        p.drawEllipse(QPointF(a.right() + 12, y + fm.height() / 2.0), 3.5, 3.5);
        p.setPen(Qt::black);
        p.drawText(QPointF(a.right() + 20, y + fm.ascent()), QStringLiteral("Sat %1").arg(number));
    }
}

LevelElevationWindow::LevelElevationWindow(const QualityWatch &quality, QWidget *parent)
    : QWidget(parent, Qt::Window), m_quality(quality)
{
    setObjectName(QStringLiteral("LevelElevation"));
    setWindowTitle(QStringLiteral("Level against Elevation"));
    auto *top = new QVBoxLayout(this);
    m_plot = new LevelElevationPlot(this);
    top->addWidget(m_plot, 1);
    auto *exit = new QPushButton(QStringLiteral("Exit"), this);
    exit->setObjectName(QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &QWidget::close);
    top->addWidget(exit, 0, Qt::AlignRight);
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &LevelElevationWindow::refresh);
    m_tick.start();
    refresh();
}

void LevelElevationWindow::refresh()
{
    const History &h = m_quality.quality().history;
    if (h.levels().empty()) {
        m_plot->setPoints({});
        return;
    }
    m_plot->setPoints(levelsBySatellite(h.levels(), h.levels().back().timeMs - History::kSpanMs));
}
