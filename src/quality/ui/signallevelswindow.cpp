#include "quality/ui/signallevelswindow.h"

#include "decoders/messagevalues.h"
#include "decoders/sattable.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"

#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The satellite table's packed colour, R + 256 G + 65536 B.
QColor packedColor(int rgb)
{
    return QColor(rgb & 255, (rgb >> 8) & 255, (rgb >> 16) & 255);
}

// Levels reach 255 fifths of a dB.
constexpr double kTopDb = 52;

} // namespace

LevelBars::LevelBars(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Chart"));
    setMinimumSize(480, 300);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    clear();
}

void LevelBars::clear()
{
    for (std::size_t k = 0; k < m_bars.size(); ++k)
        m_bars[k] = {0, packedColor(SatColor::kIdle), QStringLiteral("ch%1").arg(k + 1), false};
    update();
}

void LevelBars::setBars(const std::array<Bar, 8> &bars)
{
    m_bars = bars;
    update();
}

void LevelBars::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    const int left = fm.horizontalAdvance(QStringLiteral("50 dB")) + 10;
    const int top = fm.height() + 6;
    const int bottom = height() - 2 * fm.height() - 10;
    const int right = width() - 8;
    const double plotH = std::max(1, bottom - top);
    const auto yOf = [&](double db) { return bottom - db / kTopDb * plotH; };

    // Level grid every 10 dB.
    for (int db = 0; db <= 50; db += 10) {
        const double y = yOf(db);
        p.setPen(QColor(220, 220, 220));
        p.drawLine(QPointF(left, y), QPointF(right, y));
        p.setPen(Qt::black);
        p.drawText(QRectF(0, y - fm.height() / 2.0, left - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 dB").arg(db));
    }
    const double slot = double(right - left) / 8;
    for (std::size_t k = 0; k < m_bars.size(); ++k) {
        const Bar &b = m_bars[k];
        const double x = left + slot * double(k);
        const QRectF bar(x + slot * 0.15, yOf(b.levelDb), slot * 0.7, bottom - yOf(b.levelDb));
        p.setPen(QPen(b.used ? Qt::black : b.color.darker(150), b.used ? 2.5 : 1));
        p.setBrush(b.color);
        if (b.levelDb > 0)
            p.drawRect(bar);
        p.setPen(Qt::black);
        if (b.levelDb > 0)
            p.drawText(QRectF(x, bar.top() - fm.height() - 2, slot, fm.height()),
                       Qt::AlignHCenter | Qt::AlignBottom, QString::number(b.levelDb, 'f', 1));
        QFont f = font();
        f.setBold(b.used);
        p.setFont(f);
        p.drawText(QRectF(x, bottom + 4, slot, fm.height()), Qt::AlignHCenter, b.label);
        p.setFont(font());
    }
    p.drawLine(QPointF(left, bottom), QPointF(right, bottom));
    p.drawText(QRectF(left, height() - fm.height() - 2, right - left, fm.height()),
               Qt::AlignHCenter,
               QStringLiteral("Satellite (\u2713 and outlined: used in the fix); colour: channel "
                              "state"));
}

SignalLevelsWindow::SignalLevelsWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, nullptr, QStringLiteral("SignalLevels"), QStringLiteral("Signal Levels"),
                     parent)
{
    m_bars = new LevelBars(this);
    auto *top = new QVBoxLayout(this);
    top->addWidget(m_bars, 1);
    fadeWhenStale(m_bars);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &SignalLevelsWindow::Exit_Click);
    top->addWidget(exit, 0, Qt::AlignRight);
    takeFrames(Msg::Satellites, [this](const Frame &f) { showSatellites(f.bytes()); });
}

void SignalLevelsWindow::showSatellites(QByteArrayView frame)
{
    const SatelliteMessage m = parseSatellites(frame);
    const NavigationMessage nav =
        parseNavigation(QByteArrayView(m_g.LastNavigation.data() + 1, 44));
    std::array<LevelBars::Bar, 8> bars;
    for (std::size_t k = 0; k < 8; ++k) {
        const SatelliteChannel &c = m.channels[k];
        const int n = c.number;
        LevelBars::Bar &b = bars[k];
        b.used = nav.usesSatellite(n);
        b.levelDb = n ? c.levelDb : 0;
        b.color = packedColor(n ? SatStateColor(c.state) : SatColor::kIdle);
        b.label = n ? QString::number(n) + (b.used ? QStringLiteral(" \u2713") : QString())
                    : QStringLiteral("ch%1 \u2013").arg(k + 1);
    }
    m_bars->setBars(bars);
    messageArrived();
}

void SignalLevelsWindow::clearReceiver()
{
    DataWindowBase::clearReceiver();
    m_bars->clear();
}

double SignalLevelsWindow::level(int channel) const
{
    return m_bars->bars()[std::size_t(channel - 1)].levelDb;
}

QColor SignalLevelsWindow::color(int channel) const
{
    return m_bars->bars()[std::size_t(channel - 1)].color;
}

QString SignalLevelsWindow::label(int channel) const
{
    return m_bars->bars()[std::size_t(channel - 1)].label;
}

bool SignalLevelsWindow::used(int channel) const
{
    return m_bars->bars()[std::size_t(channel - 1)].used;
}
