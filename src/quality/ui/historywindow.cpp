#include "quality/ui/historywindow.h"

#include "decoders/unitformat.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "quality/qualitywatch.h"
#include "quality/satellitelevels.h"
#include "quality/ui/levelelevationwindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kSpanS = History::kSpanMs / 1000.0;

// A tick step of 1, 2 or 5 times a power of ten giving about `count` ticks over `span`.
double tickStep(double span, int count)
{
    if (span <= 0)
        return 1;
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 5.0})
        if (m * power >= raw)
            return m * power;
    return 10 * power;
}

// Drops the points older than `fromS` from the front.
void trim(QList<QPointF> &points, double fromS)
{
    const auto firstKept = std::find_if(points.begin(), points.end(),
                                        [fromS](const QPointF &p) { return p.x() >= fromS; });
    points.erase(points.begin(), firstKept);
}

const QColor kChannelColors[8] = {QColor(31, 119, 180),  QColor(255, 127, 14),  QColor(44, 160, 44),
                                  QColor(214, 39, 40),   QColor(148, 103, 189), QColor(140, 86, 75),
                                  QColor(227, 119, 194), QColor(127, 127, 127)};

} // namespace

TimePlot::TimePlot(const QString &title, const QString &unit, HistoryWindow *window)
    : QWidget(window), m_title(title), m_unit(unit), m_window(window)
{
    setMinimumSize(560, 110);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

void TimePlot::setUnit(const QString &unit)
{
    m_unit = unit;
    update();
}

int TimePlot::addLine(const QString &name, const QColor &color)
{
    m_lines.append({name, color, {}});
    return int(m_lines.size()) - 1;
}

void TimePlot::setTimeRange(double from, double to)
{
    m_from = from;
    m_to = to;
    update();
}

QRectF TimePlot::plotArea() const
{
    const QFontMetrics fm = fontMetrics();
    const double left = fm.horizontalAdvance(QStringLiteral("-0000.0")) + 8;
    // The same legend room in every plot, so that their time axes line up.
    const double legend = fm.horizontalAdvance(QStringLiteral("Satellites used")) + 24;
    return QRectF(left, fm.height() + 4, std::max(1.0, width() - left - legend),
                  std::max(1.0, height() - 2.0 * fm.height() - 10));
}

double TimePlot::timeAt(double x) const
{
    const QRectF a = plotArea();
    return m_from + (x - a.left()) / a.width() * (m_to - m_from);
}

QPointF TimePlot::valueRange() const
{
    double lo = 0, hi = 0;
    bool any = false;
    for (const Line &l : m_lines)
        for (const QPointF &p : l.points) {
            if (p.x() < m_from || p.x() > m_to)
                continue;
            lo = any ? std::min(lo, p.y()) : p.y();
            hi = any ? std::max(hi, p.y()) : p.y();
            any = true;
        }
    if (!any)
        return {0, 1};
    const double pad = hi > lo ? (hi - lo) * 0.08 : std::max(1.0, std::fabs(hi) * 0.01);
    return {lo - pad, hi + pad};
}

void TimePlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const QRectF a = plotArea();
    const QPointF values = valueRange();
    const auto xOf = [&](double t) {
        return a.left() + (t - m_from) / (m_to - m_from) * a.width();
    };
    const auto yOf = [&](double v) {
        return a.bottom() - (v - values.x()) / (values.y() - values.x()) * a.height();
    };
    p.setPen(Qt::black);
    p.drawText(QRectF(a.left(), 0, a.width(), fm.height() + 2), Qt::AlignLeft,
               m_unit.isEmpty() ? m_title : QStringLiteral("%1 (%2)").arg(m_title, m_unit));

    // Grid and ticks.
    const double vStep = tickStep(values.y() - values.x(), 3);
    for (double v = std::ceil(values.x() / vStep) * vStep; v <= values.y(); v += vStep) {
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(a.left(), yOf(v)), QPointF(a.right(), yOf(v)));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, yOf(v) - fm.height() / 2.0, a.left() - 4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'g', 5));
    }
    const double tStep = tickStep(m_to - m_from, 8);
    for (double t = std::ceil(m_from / tStep) * tStep; t <= m_to; t += tStep) {
        p.setPen(QColor(225, 225, 225));
        p.drawLine(QPointF(xOf(t), a.top()), QPointF(xOf(t), a.bottom()));
        p.setPen(Qt::black);
        p.drawText(QRectF(xOf(t) - 40, a.bottom() + 2, 80, fm.height()), Qt::AlignHCenter,
                   QString::number(t, 'g', 6));
    }
    p.drawRect(a);

    // The lines, clipped to the plot; a lone sample between gaps is a dot.
    p.save();
    p.setClipRect(a);
    p.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < lineCount(); ++i) {
        for (const QList<QPointF> &piece : pieces(i)) {
            QPolygonF poly;
            for (const QPointF &pt : piece)
                if (pt.x() >= m_from - tStep && pt.x() <= m_to + tStep)
                    poly << QPointF(xOf(pt.x()), yOf(pt.y()));
            if (poly.size() == 1) {
                p.setPen(QPen(m_lines[i].color, 4, Qt::SolidLine, Qt::RoundCap));
                p.drawPoint(poly.first());
            } else {
                p.setPen(QPen(m_lines[i].color, 1.5));
                p.drawPolyline(poly);
            }
        }
    }
    p.restore();

    // The legend, right of the plot.
    if (m_lines.size() > 1) {
        // In as many columns as the plot's height needs.
        const int rows = std::max(1, int(a.height() / fm.height()));
        const int columns = (int(m_lines.size()) + rows - 1) / rows;
        const double columnWidth = (width() - a.right()) / columns;
        for (int i = 0; i < int(m_lines.size()); ++i) {
            const Line &l = m_lines[i];
            const double x = a.right() + (i / rows) * columnWidth;
            const double y = a.top() + (i % rows) * fm.height();
            p.setPen(QPen(l.color, 3));
            p.drawLine(QPointF(x + 6, y + fm.height() / 2.0),
                       QPointF(x + 16, y + fm.height() / 2.0));
            p.setPen(Qt::black);
            p.drawText(QPointF(x + 20, y + fm.ascent()), l.name);
        }
    }
}

QList<QList<QPointF>> TimePlot::pieces(int i) const
{
    QList<QList<QPointF>> out;
    const QList<QPointF> &points = m_lines[i].points;
    for (qsizetype k = 0; k < points.size(); ++k) {
        if (k == 0 || points[k].x() - points[k - 1].x() > kGapS)
            out.append(QList<QPointF>());
        out.last().append(points[k]);
    }
    return out;
}

void TimePlot::wheelEvent(QWheelEvent *e)
{
    const double steps = e->angleDelta().y() / 120.0;
    if (steps != 0)
        m_window->zoom(std::pow(1.25, steps), timeAt(e->position().x()));
    e->accept();
}

void TimePlot::mousePressEvent(QMouseEvent *e)
{
    m_dragX = e->position().x();
    e->accept();
}

void TimePlot::mouseMoveEvent(QMouseEvent *e)
{
    if (!(e->buttons() & Qt::LeftButton))
        return;
    const double x = e->position().x();
    m_window->scroll(timeAt(m_dragX) - timeAt(x));
    m_dragX = x;
    e->accept();
}

void TimePlot::mouseDoubleClickEvent(QMouseEvent *e)
{
    m_window->follow();
    e->accept();
}

HistoryWindow::HistoryWindow(GPS_Main &g, const QualityWatch &quality, QWidget *parent)
    : DataWindowBase(g, nullptr, QStringLiteral("History"), QStringLiteral("History"), parent),
      m_quality(quality)
{
    auto *top = new QVBoxLayout(this);
    auto *plots = new QVBoxLayout;
    plots->setSpacing(2);
    top->addLayout(plots, 1);

    auto *sats = new TimePlot(QStringLiteral("Satellites used and fix state (3 = 2D, 4 = 3D)"),
                              QString(), this);
    sats->addLine(QStringLiteral("Satellites used"), QColor(31, 119, 180));
    sats->addLine(QStringLiteral("Fix state"), QColor(214, 39, 40));
    auto *levels = new TimePlot(QStringLiteral("Level per channel"), QStringLiteral("dB"), this);
    for (int k = 1; k <= 8; ++k)
        levels->addLine(QStringLiteral("ch%1").arg(k), kChannelColors[k - 1]);
    auto *height = new TimePlot(QStringLiteral("Height"), QStringLiteral("m"), this);
    height->addLine(QStringLiteral("Height"), QColor(44, 160, 44));
    auto *speed = new TimePlot(QStringLiteral("Speed"), QStringLiteral("km/h"), this);
    speed->addLine(QStringLiteral("Speed"), QColor(148, 103, 189));
    auto *dop = new TimePlot(QStringLiteral("Dilution of precision, seconds since the port "
                                            "opened below"),
                             QString(), this);
    dop->addLine(QStringLiteral("HDOP"), QColor(255, 127, 14));
    dop->addLine(QStringLiteral("VDOP"), QColor(140, 86, 75));
    m_plots = {sats, levels, height, speed, dop};
    for (TimePlot *plot : m_plots) {
        plots->addWidget(plot);
        fadeWhenStale(plot);
    }
    addClockOffsetPlot(plots);

    auto *bottom = new QHBoxLayout;
    m_ttff = new QTableWidget(0, 4, this);
    m_ttff->setObjectName(QStringLiteral("TTFF"));
    m_ttff->setHorizontalHeaderLabels({QStringLiteral("Run started by"), QStringLiteral("At (s)"),
                                       QStringLiteral("TTFF 2D (s)"),
                                       QStringLiteral("TTFF 3D (s)")});
    m_ttff->verticalHeader()->hide();
    m_ttff->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_ttff->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_ttff->setFixedHeight(4 * m_ttff->verticalHeader()->defaultSectionSize() + 8);
    bottom->addWidget(m_ttff, 1);
    auto *buttons = new QVBoxLayout;
    m_pause = addButton(QStringLiteral("Pause"), QStringLiteral("Pause"));
    m_pause->setCheckable(true);
    connect(m_pause, &QPushButton::toggled, this, &HistoryWindow::setPaused);
    QPushButton *live = addButton(QStringLiteral("Live"), QStringLiteral("Live"));
    live->setToolTip(
        QStringLiteral("Follow the newest ten minutes again (or double-click a plot)"));
    connect(live, &QPushButton::clicked, this, &HistoryWindow::follow);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &HistoryWindow::Exit_Click);
    buttons->addWidget(m_pause);
    buttons->addWidget(live);
    addSatelliteControls(plots, buttons);
    buttons->addStretch(1);
    buttons->addWidget(exit);
    bottom->addLayout(buttons);
    top->addLayout(bottom);

    // The age line follows every navigation message; the plots take in new data once a
    // second.
    takeFrames(Msg::Navigation, [this](const Frame &) { messageArrived(); });
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &HistoryWindow::refresh);
    m_tick.start();
    setTimeRange(-kSpanS, 0);
    showUnits();
    connect(&g, &GPS_Main::unitsChanged, this, &HistoryWindow::showUnits);
    refresh();
}

void HistoryWindow::showUnits()
{
    const Units &now = m_g.units();
    // Every unit is a fixed multiple of metres or km/h: the points taken in are scaled,
    // so a paused window keeps what it shows.
    const double height = heightValue(1, now.height) / heightValue(1, m_units.height);
    const double speed = speedValue(1, now.speed) / speedValue(1, m_units.speed);
    for (QPointF &p : m_plots[2]->line(0).points)
        p.ry() *= height;
    for (QPointF &p : m_plots[3]->line(0).points)
        p.ry() *= speed;
    m_units = now;
    m_plots[2]->setUnit(unitLabel(now.height));
    m_plots[3]->setUnit(unitLabel(now.speed));
}

HistoryWindow::~HistoryWindow() = default;

double HistoryWindow::seconds(qint64 ms) const
{
    return double(ms - m_originMs) / 1000.0;
}

qint64 HistoryWindow::secondOf(qint64 ms) const
{
    const qint64 d = ms - m_originMs;
    return d >= 0 ? d / 1000 : -((-d + 999) / 1000);
}

void HistoryWindow::refresh()
{
    const ReceiverQuality &q = m_quality.quality();
    if (!m_originSet || m_originMs != m_g.link().openedAtMs() ||
        m_historyResets != q.history.resets()) {
        // Another port: another receiver, and the axis counts from its opening. Or the
        // history took samples back (a replay moved back): the plots start over too.
        m_originMs = m_g.link().openedAtMs();
        m_originSet = true;
        m_historyResets = q.history.resets();
        for (TimePlot *plot : m_plots)
            for (int i = 0; i < plot->lineCount(); ++i)
                plot->line(i).points.clear();
        m_lastNavMs = m_lastLevelMs = -1;
        m_navSecond = m_levelSecond = std::numeric_limits<qint64>::min();
        m_offsetOrigin = std::numeric_limits<qint64>::min();
    }
    fillTtff();
    if (paused())
        return;
    const History &h = q.history;
    bool added = false;
    for (auto it = std::upper_bound(h.navigation().begin(), h.navigation().end(), m_lastNavMs,
                                    [](qint64 t, const NavSample &s) { return t < s.timeMs; });
         it != h.navigation().end(); ++it) {
        m_lastNavMs = it->timeMs;
        const qint64 second = secondOf(it->timeMs);
        if (second <= m_navSecond)
            continue;
        m_navSecond = second;
        const double t = seconds(it->timeMs);
        m_plots[0]->line(0).points << QPointF(t, it->satellitesUsed);
        m_plots[0]->line(1).points << QPointF(t, it->fix);
        m_plots[2]->line(0).points << QPointF(t, heightValue(it->heightM, m_units.height));
        m_plots[3]->line(0).points << QPointF(t, speedValue(it->speedKmh, m_units.speed));
        m_plots[4]->line(0).points << QPointF(t, it->hdop);
        m_plots[4]->line(1).points << QPointF(t, it->vdop);
        added = true;
    }
    for (auto it = std::upper_bound(h.levels().begin(), h.levels().end(), m_lastLevelMs,
                                    [](qint64 t, const LevelSample &s) { return t < s.timeMs; });
         it != h.levels().end(); ++it) {
        m_lastLevelMs = it->timeMs;
        const qint64 second = secondOf(it->timeMs);
        if (second <= m_levelSecond)
            continue;
        m_levelSecond = second;
        const double t = seconds(it->timeMs);
        for (std::size_t k = 0; k < 8; ++k)
            m_plots[1]->line(int(k)).points << QPointF(t, it->number[k] ? it->levelDb[k] : 0.0);
        added = true;
    }
    if (refreshClockOffset())
        added = true;
    if (!added)
        return;
    fillSatelliteLevels();
    // Ten minutes are kept, as in the core.
    const double newest = seconds(std::max({m_lastNavMs, m_lastLevelMs, m_lastOffsetMs}));
    for (TimePlot *plot : m_plots)
        for (int i = 0; i < plot->lineCount(); ++i)
            trim(plot->line(i).points, newest - kSpanS);
    if (m_following)
        setTimeRange(newest - kSpanS, newest);
    else
        for (TimePlot *plot : m_plots)
            plot->update();
}

void HistoryWindow::addClockOffsetPlot(QVBoxLayout *plots)
{
    // Above the bottom plot, which carries the time axis's caption.
    m_offsetPlot = new TimePlot(QStringLiteral("Clock offset: receiver UTC \u2212 computer UTC at "
                                               "the first byte"),
                                QStringLiteral("s"), this);
    m_offsetPlot->setObjectName(QStringLiteral("ClockOffset"));
    m_offsetPlot->addLine(QStringLiteral("Clock offset"), QColor(23, 190, 207));
    plots->insertWidget(plots->count() - 1, m_offsetPlot);
    fadeWhenStale(m_offsetPlot);
    m_plots.append(m_offsetPlot);
    // Six plots and the table still fit a screen 800 pixels high.
    for (TimePlot *plot : m_plots)
        plot->setMinimumHeight(96);
}

bool HistoryWindow::refreshClockOffset()
{
    const ClockOffsets &offsets = m_quality.clockOffsets();
    QList<QPointF> &points = m_offsetPlot->line(0).points;
    if (m_offsetOrigin != m_originMs || m_offsetResets != offsets.resets()) {
        m_offsetOrigin = m_originMs;
        m_offsetResets = offsets.resets();
        points.clear();
        m_lastOffsetMs = -1;
        m_offsetSecond = std::numeric_limits<qint64>::min();
    }
    bool added = false;
    const std::deque<OffsetSample> &samples = offsets.samples();
    for (auto it = std::upper_bound(samples.begin(), samples.end(), m_lastOffsetMs,
                                    [](qint64 t, const OffsetSample &s) { return t < s.timeMs; });
         it != samples.end(); ++it) {
        m_lastOffsetMs = it->timeMs;
        const qint64 second = secondOf(it->timeMs);
        if (second <= m_offsetSecond)
            continue;
        m_offsetSecond = second;
        points << QPointF(seconds(it->timeMs), it->offsetS);
        added = true;
    }
    return added;
}

void HistoryWindow::setTimeRange(double from, double to)
{
    m_from = from;
    m_to = to;
    for (TimePlot *plot : m_plots)
        plot->setTimeRange(from, to);
    m_satellitePlot->setTimeRange(from, to);
}

bool HistoryWindow::paused() const
{
    return m_pause->isChecked();
}

void HistoryWindow::setPaused(bool paused)
{
    if (m_pause->isChecked() != paused)
        m_pause->setChecked(paused); // comes back here through toggled
    else if (!paused)
        refresh();
}

void HistoryWindow::follow()
{
    m_following = true;
    if (m_lastNavMs >= 0 || m_lastLevelMs >= 0) {
        const double newest = seconds(std::max({m_lastNavMs, m_lastLevelMs, m_lastOffsetMs}));
        setTimeRange(newest - kSpanS, newest);
    }
}

void HistoryWindow::zoom(double factor, double atS)
{
    if (factor <= 0)
        return;
    m_following = false;
    // No closer than ten seconds, no wider than the ten minutes.
    const double span = std::clamp((m_to - m_from) / factor, 10.0, kSpanS);
    const double share = m_to > m_from ? (atS - m_from) / (m_to - m_from) : 0.5;
    const double from = atS - share * span;
    setTimeRange(from, from + span);
}

void HistoryWindow::scroll(double seconds)
{
    m_following = false;
    setTimeRange(m_from + seconds, m_to + seconds);
}

void HistoryWindow::fillTtff()
{
    const std::deque<TtffRun> &runs = m_quality.quality().ttff.runs();
    m_ttff->setRowCount(int(runs.size()));
    int row = 0;
    // Newest first; the current run changes until its 3D fix.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it, ++row) {
        const QStringList cells = {ttffStartText(it->cause),
                                   tenthsOfSecondsText(it->startMs - m_originMs), ttff2DText(*it),
                                   ttff3DText(*it)};
        for (int c = 0; c < cells.size(); ++c) {
            QTableWidgetItem *item = m_ttff->item(row, c);
            if (!item)
                m_ttff->setItem(row, c, item = new QTableWidgetItem);
            if (item->text() != cells[c])
                item->setText(cells[c]);
        }
    }
}

void HistoryWindow::addSatelliteControls(QVBoxLayout *plots, QVBoxLayout *buttons)
{
    m_satellitePlot =
        new TimePlot(QStringLiteral("Level per satellite"), QStringLiteral("dB"), this);
    m_satellitePlot->setObjectName(QStringLiteral("LevelsBySatellite"));
    // In the place of the per-channel plot, shown instead of it.
    plots->insertWidget(plots->indexOf(m_plots[1]) + 1, m_satellitePlot);
    fadeWhenStale(m_satellitePlot);
    m_satellitePlot->hide();
    m_bySatellite = new QCheckBox(QStringLiteral("by &satellite"), this);
    m_bySatellite->setObjectName(QStringLiteral("BySatellite"));
    m_bySatellite->setToolTip(QStringLiteral("One level line per satellite, across channel "
                                             "changes, instead of one per channel"));
    connect(m_bySatellite, &QCheckBox::toggled, this, &HistoryWindow::setLevelsBySatellite);
    QPushButton *elevation =
        addButton(QStringLiteral("LevelElevation"), QStringLiteral("Level vs &elevation..."));
    connect(elevation, &QPushButton::clicked, this, &HistoryWindow::showLevelElevation);
    buttons->addWidget(m_bySatellite);
    buttons->addWidget(elevation);
}

void HistoryWindow::setLevelsBySatellite(bool on)
{
    if (m_bySatellite->isChecked() != on) {
        m_bySatellite->setChecked(on); // comes back here through toggled
        return;
    }
    m_plots[1]->setVisible(!on);
    m_satellitePlot->setVisible(on);
    fillSatelliteLevels();
}

bool HistoryWindow::levelsBySatellite() const
{
    return m_bySatellite->isChecked();
}

QList<QPointF> HistoryWindow::satelliteLevel(int number) const
{
    const qsizetype i = m_satelliteNumbers.indexOf(number);
    return i < 0 ? QList<QPointF>() : m_satellitePlot->line(int(i)).points;
}

void HistoryWindow::fillSatelliteLevels()
{
    // Drawn again from the history each time: ten minutes of eight channels once a
    // second is little, and a satellite's line then follows it from channel to channel.
    m_satellitePlot->removeLines();
    m_satelliteNumbers.clear();
    const std::deque<LevelSample> &levels = m_quality.quality().history.levels();
    if (!levelsBySatellite() || levels.empty() || m_lastLevelMs < 0) {
        m_satellitePlot->update();
        return;
    }
    // The samples the window has taken in, one a second, as the other plots show them.
    std::deque<LevelSample> shown;
    qint64 second = std::numeric_limits<qint64>::min();
    for (const LevelSample &s : levels) {
        if (s.timeMs > m_lastLevelMs)
            break;
        if (secondOf(s.timeMs) > second) {
            second = secondOf(s.timeMs);
            shown.push_back(s);
        }
    }
    for (const auto &[number, points] : ::levelsBySatellite(shown)) {
        const int i = m_satellitePlot->addLine(QStringLiteral("Sat %1").arg(number),
                                               LevelElevationPlot::colorOf(number));
        m_satelliteNumbers.append(number);
        QList<QPointF> &line = m_satellitePlot->line(i).points;
        for (const SatellitePoint &p : points)
            line << QPointF(seconds(p.timeMs), p.levelDb);
    }
    m_satellitePlot->update();
}

void HistoryWindow::showLevelElevation()
{
    if (!m_levelElevation)
        m_levelElevation = new LevelElevationWindow(m_quality, this);
    m_levelElevation->show();
    m_levelElevation->raise();
    m_levelElevation->activateWindow();
}
