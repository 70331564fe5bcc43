#include "signallevelswindow.h"

#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "messagevalues.h"
#include "sattable.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QPushButton>
#include <QStackedBarSeries>
#include <QVBoxLayout>
#include <QValueAxis>

namespace {

// The satellite table's packed colour, R + 256 G + 65536 B.
QColor packedColor(int rgb)
{
    return QColor(rgb & 255, (rgb >> 8) & 255, (rgb >> 16) & 255);
}

// The set of a state byte: the highest of bits 0..3 that is set, else the last.
int setOf(quint8 state)
{
    for (int bit = 3; bit >= 0; --bit)
        if (state & (1 << bit))
            return bit;
    return 4;
}

// Levels reach 255 fifths of a dB.
constexpr double kTopDb = 52;

} // namespace

SignalLevelsWindow::SignalLevelsWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, g.SignalLevelsOpen, QStringLiteral("SignalLevels"),
                     QStringLiteral("Signal Levels"), parent)
{
    auto *chart = new QChart;
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setAlignment(Qt::AlignBottom);
    auto *series = new QStackedBarSeries;
    const char *names[] = {"Search", "Track", "Decode", "Fix", "No state"};
    const int colors[] = {SatColor::kSearch, SatColor::kTrack, SatColor::kDecode, SatColor::kFix,
                          SatColor::kIdle};
    for (std::size_t i = 0; i < m_sets.size(); ++i) {
        m_sets[i] = new QBarSet(QLatin1String(names[i]));
        m_sets[i]->setColor(packedColor(colors[i]));
        m_sets[i]->setBorderColor(packedColor(colors[i]).darker(150));
        for (int k = 0; k < 8; ++k)
            m_sets[i]->append(0);
        series->append(m_sets[i]);
    }
    series->setBarWidth(0.7);
    chart->addSeries(series);
    m_axis = new QBarCategoryAxis;
    for (int k = 1; k <= 8; ++k)
        m_labels << QStringLiteral("ch%1").arg(k);
    m_axis->append(m_labels);
    m_axis->setTitleText(QStringLiteral("Satellite (\u2713 used in the fix)"));
    chart->addAxis(m_axis, Qt::AlignBottom);
    series->attachAxis(m_axis);
    auto *levels = new QValueAxis;
    levels->setRange(0, kTopDb);
    levels->setTitleText(QStringLiteral("Level (dB)"));
    levels->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(levels, Qt::AlignLeft);
    series->attachAxis(levels);

    m_view = new QChartView(chart, this);
    m_view->setObjectName(QStringLiteral("Chart"));
    m_view->setRenderHint(QPainter::Antialiasing, false);
    m_view->setMinimumSize(480, 320);

    auto *top = new QVBoxLayout(this);
    top->addWidget(m_view, 1);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &SignalLevelsWindow::Exit_Click);
    top->addWidget(exit, 0, Qt::AlignRight);

    m_set.fill(4);
    connect(&g, &GPS_Main::frameReceived, this, &SignalLevelsWindow::onFrame);
}

void SignalLevelsWindow::onFrame(bool good)
{
    if (good && m_g.MsgType == Msg::Satellites)
        showSatellites();
}

void SignalLevelsWindow::showSatellites()
{
    const SatelliteMessage m =
        parseSatellites(QByteArrayView(m_g.RxBuffer.data() + 1, qBound(0, int(m_g.MsgLength), 50)));
    const NavigationMessage nav =
        parseNavigation(QByteArrayView(m_g.LastNavigation.data() + 1, 44));
    QStringList labels;
    for (std::size_t k = 0; k < 8; ++k) {
        const SatelliteChannel &c = m.channels[k];
        const int n = c.number;
        const bool used = n >= 1 && n <= 32 &&
                          (nav.satUse[std::size_t((n - 1) / 8)] >> ((n - 1) % 8) & 1);
        const int set = n ? setOf(c.state) : 4;
        const double level = n ? c.levelDb : 0;
        if (set != m_set[k] || level != m_levels[k]) {
            m_sets[std::size_t(m_set[k])]->replace(int(k), 0);
            m_sets[std::size_t(set)]->replace(int(k), level);
            m_set[k] = set;
            m_levels[k] = level;
        }
        m_used[k] = used;
        // Each label must differ from the others: an empty channel keeps its own.
        labels << (n ? QString::number(n) + (used ? QStringLiteral(" \u2713") : QString())
                     : QStringLiteral("ch%1 \u2013").arg(k + 1));
    }
    if (labels != m_labels) {
        m_labels = labels;
        m_axis->setCategories(labels);
    }
    messageArrived();
}

double SignalLevelsWindow::level(int channel) const
{
    const auto k = std::size_t(channel - 1);
    return m_sets[std::size_t(m_set[k])]->at(int(k));
}

QColor SignalLevelsWindow::color(int channel) const
{
    return m_sets[std::size_t(m_set[std::size_t(channel - 1)])]->color();
}

QString SignalLevelsWindow::label(int channel) const
{
    return m_axis->at(channel - 1);
}

bool SignalLevelsWindow::used(int channel) const
{
    return m_used[std::size_t(channel - 1)];
}
