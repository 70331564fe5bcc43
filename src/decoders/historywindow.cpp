#include "historywindow.h"

#include "link/gpsmain.h"
#include "link/messagetypes.h"

#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLegend>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kSpanS = History::kSpanMs / 1000.0;

// A chart view whose mouse moves the shared time axis through the window.
class TimeChartView : public QChartView {
public:
    TimeChartView(QChart *chart, HistoryWindow *w) : QChartView(chart), m_w(w)
    {
        setRenderHint(QPainter::Antialiasing, false);
    }

protected:
    void wheelEvent(QWheelEvent *e) override
    {
        const double steps = e->angleDelta().y() / 120.0;
        if (steps == 0)
            return;
        m_w->zoom(std::pow(1.25, steps), timeAt(e->position().x()));
        e->accept();
    }
    void mousePressEvent(QMouseEvent *e) override
    {
        m_dragX = e->position().x();
        e->accept();
    }
    void mouseMoveEvent(QMouseEvent *e) override
    {
        if (!(e->buttons() & Qt::LeftButton))
            return;
        const double x = e->position().x();
        m_w->scroll(timeAt(m_dragX) - timeAt(x));
        m_dragX = x;
        e->accept();
    }
    void mouseDoubleClickEvent(QMouseEvent *e) override
    {
        m_w->follow();
        e->accept();
    }

private:
    double timeAt(double x) const
    {
        const QRectF plot = chart()->plotArea();
        const auto *axis = static_cast<QValueAxis *>(chart()->axes(Qt::Horizontal).first());
        if (plot.width() <= 0)
            return axis->min();
        return axis->min() + (x - plot.left()) / plot.width() * (axis->max() - axis->min());
    }

    HistoryWindow *m_w;
    double m_dragX = 0;
};

QLineSeries *addSeries(QChart *chart, const QString &name)
{
    auto *s = new QLineSeries;
    s->setName(name);
    chart->addSeries(s);
    for (QAbstractAxis *a : chart->axes())
        s->attachAxis(a);
    return s;
}

// Drops the points older than `fromS` from the front of a series.
void trim(QLineSeries *s, double fromS)
{
    int n = 0;
    const int count = s->count();
    while (n < count && s->at(n).x() < fromS)
        ++n;
    if (n > 0)
        s->removePoints(0, n);
}

} // namespace

HistoryWindow::HistoryWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, g.HistoryOpen, QStringLiteral("History"), QStringLiteral("History"),
                     parent)
{
    auto *top = new QVBoxLayout(this);
    auto *plots = new QVBoxLayout;
    plots->setSpacing(0);
    top->addLayout(plots, 1);

    QChart *c = addChart(QStringLiteral("Satellites used and fix state"), QString());
    m_sats = addSeries(c, QStringLiteral("Satellites used"));
    m_fix = addSeries(c, QStringLiteral("Fix state (3 = 2D, 4 = 3D)"));
    c = addChart(QStringLiteral("Level per channel"), QStringLiteral("dB"));
    for (int k = 1; k <= 8; ++k)
        m_levels[std::size_t(k - 1)] = addSeries(c, QStringLiteral("ch%1").arg(k));
    c = addChart(QStringLiteral("Height"), QStringLiteral("m"));
    m_height = addSeries(c, QStringLiteral("Height"));
    c->legend()->hide();
    c = addChart(QStringLiteral("Speed"), QStringLiteral("km/h"));
    m_speed = addSeries(c, QStringLiteral("Speed"));
    c->legend()->hide();
    c = addChart(QStringLiteral("Dilution of precision"), QString());
    m_hdop = addSeries(c, QStringLiteral("HDOP"));
    m_vdop = addSeries(c, QStringLiteral("VDOP"));
    for (QChart *chart : m_charts) {
        auto *view = new TimeChartView(chart, this);
        view->setMinimumSize(560, 130);
        m_views << view;
        plots->addWidget(view);
    }
    m_timeAxes.last()->setTitleText(QStringLiteral("s since the port opened"));

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
    live->setToolTip(QStringLiteral("Follow the newest ten minutes again (or double-click a plot)"));
    connect(live, &QPushButton::clicked, this, &HistoryWindow::follow);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &HistoryWindow::Exit_Click);
    buttons->addWidget(m_pause);
    buttons->addWidget(live);
    buttons->addStretch(1);
    buttons->addWidget(exit);
    bottom->addLayout(buttons);
    top->addLayout(bottom);

    // The plots take in new data once a second; the age line follows every navigation
    // message.
    connect(&g, &GPS_Main::frameReceived, this, [this](bool good) {
        if (good && m_g.MsgType == Msg::Navigation)
            messageArrived();
    });
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &HistoryWindow::refresh);
    m_tick.start();
    setTimeRange(-kSpanS, 0);
    refresh();
}

HistoryWindow::~HistoryWindow() = default;

QChart *HistoryWindow::addChart(const QString &title, const QString &unit)
{
    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    auto *time = new QValueAxis;
    time->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(time, Qt::AlignBottom);
    auto *value = new QValueAxis;
    value->setTitleText(unit);
    value->setLabelFormat(QStringLiteral("%.1f"));
    chart->addAxis(value, Qt::AlignLeft);
    m_charts << chart;
    m_timeAxes << time;
    return chart;
}

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
    const ReceiverQuality &q = m_g.quality();
    if (!m_originSet || m_originMs != m_g.link().openedAtMs()) {
        // Another port: another receiver, and the axis counts from its opening.
        m_originMs = m_g.link().openedAtMs();
        m_originSet = true;
        for (QChart *c : m_charts)
            for (QAbstractSeries *s : c->series())
                static_cast<QLineSeries *>(s)->clear();
        m_lastNavMs = m_lastLevelMs = -1;
        m_navSecond = m_levelSecond = std::numeric_limits<qint64>::min();
    }
    fillTtff();
    if (paused())
        return;
    const History &h = q.history;
    QList<QPointF> sats, fix, height, speed, hdop, vdop;
    for (auto it = std::upper_bound(
             h.navigation().begin(), h.navigation().end(), m_lastNavMs,
             [](qint64 t, const NavSample &s) { return t < s.timeMs; });
         it != h.navigation().end(); ++it) {
        m_lastNavMs = it->timeMs;
        const qint64 second = secondOf(it->timeMs);
        if (second <= m_navSecond)
            continue;
        m_navSecond = second;
        const double t = seconds(it->timeMs);
        sats << QPointF(t, it->satellitesUsed);
        fix << QPointF(t, it->fix);
        height << QPointF(t, it->heightM);
        speed << QPointF(t, it->speedKmh);
        hdop << QPointF(t, it->hdop);
        vdop << QPointF(t, it->vdop);
    }
    std::array<QList<QPointF>, 8> levels;
    for (auto it = std::upper_bound(
             h.levels().begin(), h.levels().end(), m_lastLevelMs,
             [](qint64 t, const LevelSample &s) { return t < s.timeMs; });
         it != h.levels().end(); ++it) {
        m_lastLevelMs = it->timeMs;
        const qint64 second = secondOf(it->timeMs);
        if (second <= m_levelSecond)
            continue;
        m_levelSecond = second;
        const double t = seconds(it->timeMs);
        for (std::size_t k = 0; k < 8; ++k)
            levels[k] << QPointF(t, it->number[k] ? it->levelDb[k] : 0.0);
    }
    const bool added = !sats.isEmpty() || !levels[0].isEmpty();
    if (!sats.isEmpty()) {
        m_sats->append(sats);
        m_fix->append(fix);
        m_height->append(height);
        m_speed->append(speed);
        m_hdop->append(hdop);
        m_vdop->append(vdop);
    }
    for (std::size_t k = 0; k < 8; ++k)
        if (!levels[k].isEmpty())
            m_levels[k]->append(levels[k]);
    if (!added)
        return;
    // Ten minutes are kept, as in the core.
    const double newest = seconds(std::max(m_lastNavMs, m_lastLevelMs));
    for (QChart *c : m_charts)
        for (QAbstractSeries *s : c->series())
            trim(static_cast<QLineSeries *>(s), newest - kSpanS);
    if (m_following)
        setTimeRange(newest - kSpanS, newest);
    fitValues();
}

void HistoryWindow::fitValues()
{
    for (QChart *c : m_charts) {
        double lo = 0, hi = 1;
        bool any = false;
        for (QAbstractSeries *a : c->series()) {
            const auto *s = static_cast<QLineSeries *>(a);
            for (const QPointF &p : s->points()) {
                lo = any ? std::min(lo, p.y()) : p.y();
                hi = any ? std::max(hi, p.y()) : p.y();
                any = true;
            }
        }
        if (!any) {
            lo = 0;
            hi = 1;
        }
        const double pad = hi > lo ? (hi - lo) * 0.08 : 1.0;
        auto *axis = static_cast<QValueAxis *>(c->axes(Qt::Vertical).first());
        axis->setRange(lo - pad, hi + pad);
    }
}

void HistoryWindow::setTimeRange(double from, double to)
{
    for (QValueAxis *a : m_timeAxes)
        a->setRange(from, to);
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
    const double newest = seconds(std::max(m_lastNavMs, m_lastLevelMs));
    if (m_lastNavMs >= 0 || m_lastLevelMs >= 0)
        setTimeRange(newest - kSpanS, newest);
}

void HistoryWindow::zoom(double factor, double atS)
{
    if (factor <= 0)
        return;
    m_following = false;
    const QValueAxis *a = timeAxis();
    // No closer than ten seconds, no wider than the ten minutes.
    const double span = std::clamp((a->max() - a->min()) / factor, 10.0, kSpanS);
    const double share = a->max() > a->min() ? (atS - a->min()) / (a->max() - a->min()) : 0.5;
    const double from = atS - share * span;
    setTimeRange(from, from + span);
}

void HistoryWindow::scroll(double seconds)
{
    m_following = false;
    const QValueAxis *a = timeAxis();
    setTimeRange(a->min() + seconds, a->max() + seconds);
}

void HistoryWindow::fillTtff()
{
    const std::deque<TtffRun> &runs = m_g.quality().ttff.runs();
    // The current run changes until its 3D fix; the rows are few.
    m_ttff->setRowCount(int(runs.size()));
    int row = 0;
    // Newest first.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it, ++row) {
        const auto ttff = [](const std::optional<qint64> &ms) {
            return ms ? SecondsText(*ms) : QStringLiteral("\u2013");
        };
        const QStringList cells = {TtffStartText(it->cause), SecondsText(it->startMs - m_originMs),
                                   ttff(it->to2DMs), ttff(it->to3DMs)};
        for (int c = 0; c < cells.size(); ++c) {
            QTableWidgetItem *item = m_ttff->item(row, c);
            if (!item)
                m_ttff->setItem(row, c, item = new QTableWidgetItem);
            if (item->text() != cells[c])
                item->setText(cells[c]);
        }
    }
}
