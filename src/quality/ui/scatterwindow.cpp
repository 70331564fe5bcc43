#include "quality/ui/scatterwindow.h"

#include "decoders/messagevalues.h"
#include "decoders/unitformat.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace {

// 1, 2 or 5 times a power of ten, at most `metres`.
double roundLength(double metres)
{
    if (metres <= 0)
        return 0;
    const double power = std::pow(10.0, std::floor(std::log10(metres)));
    for (const double m : {5.0, 2.0, 1.0})
        if (m * power <= metres)
            return m * power;
    return power;
}

QString metresText(double m)
{
    return m < 10 ? QStringLiteral("%1 m").arg(m, 0, 'f', 2)
                  : QStringLiteral("%1 m").arg(m, 0, 'f', 1);
}

const QColor kCep(0, 128, 0), kDrms(0, 0, 192), kR95(192, 0, 0);

} // namespace

QString degreesMinutesText(double degrees, bool latitude)
{
    const QChar hemisphere = latitude ? (degrees < 0 ? u'S' : u'N') : (degrees < 0 ? u'W' : u'E');
    double a = std::fabs(degrees);
    int whole = int(a);
    double minutes = (a - whole) * 60.0;
    // 59.99996' shown to four places is a whole degree more.
    if (std::round(minutes * 10000) >= 600000) {
        ++whole;
        minutes = 0;
    }
    return QStringLiteral("%1\u00b0%2' %3")
        .arg(whole)
        .arg(minutes, 7, 'f', 4, QLatin1Char('0'))
        .arg(hemisphere);
}

ScatterPlot::ScatterPlot(const PositionStatistics &stats, QWidget *parent)
    : QWidget(parent), m_stats(stats)
{
    setObjectName(QStringLiteral("Plot"));
    setMinimumSize(320, 320);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
}

double ScatterPlot::extentMetres() const
{
    const PositionSummary &s = m_stats.summary();
    double extent = std::max(1.0, s.r95M * 1.15);
    extent = std::max(extent, s.drms2M * 1.1);
    // Outlying fixes stay in view too, up to four times the R95 circle.
    return std::max(extent, std::min(s.farthestM * 1.05, std::max(1.0, s.r95M) * 4));
}

double ScatterPlot::metresPerPixel() const
{
    const int side = std::max(1, std::min(width(), height()) - 20);
    return 2 * extentMetres() / side;
}

double ScatterPlot::scaleBarMetres() const
{
    return roundLength(metresPerPixel() * width() / 4.0);
}

void ScatterPlot::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QPointF centre(width() / 2.0, height() / 2.0);
    const double mpp = metresPerPixel();
    // Axes through the mean.
    p.setPen(QPen(QColor(200, 200, 200), 1));
    p.drawLine(QPointF(0, centre.y()), QPointF(width(), centre.y()));
    p.drawLine(QPointF(centre.x(), 0), QPointF(centre.x(), height()));
    p.setPen(Qt::black);
    p.drawText(QRectF(width() - 20, centre.y() - 18, 18, 16), Qt::AlignRight, QStringLiteral("E"));
    p.drawText(QRectF(centre.x() + 4, 2, 16, 16), Qt::AlignLeft, QStringLiteral("N"));

    updateDots(mpp);
    p.drawImage(QPointF(0, 0), m_dots);

    const PositionSummary &s = m_stats.summary();
    p.setRenderHint(QPainter::Antialiasing);
    if (s.count > 0) {
        const struct {
            double r;
            QColor color;
            const char *name;
        } circles[] = {
            {s.cep50M, kCep, "CEP50"}, {s.drms2M, kDrms, "2DRMS"}, {s.r95M, kR95, "R95"}};
        int line = 0;
        for (const auto &c : circles) {
            p.setPen(QPen(c.color, 1.5));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(centre, c.r / mpp, c.r / mpp);
            p.drawText(QPointF(6, 16 + 16 * line++),
                       QStringLiteral("%1 %2").arg(QLatin1String(c.name), metresText(c.r)));
        }
        p.setPen(QPen(Qt::black, 1.5));
        p.drawLine(centre - QPointF(6, 0), centre + QPointF(6, 0));
        p.drawLine(centre - QPointF(0, 6), centre + QPointF(0, 6));
    } else {
        p.setPen(Qt::black);
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("No 3D fix yet"));
    }

    // The scale bar, bottom left.
    const double bar = scaleBarMetres();
    const double px = bar / mpp;
    const double y = height() - 12;
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(QPointF(10, y), QPointF(10 + px, y));
    p.drawLine(QPointF(10, y - 4), QPointF(10, y + 4));
    p.drawLine(QPointF(10 + px, y - 4), QPointF(10 + px, y + 4));
    p.drawText(QPointF(14 + px, y + 4), metresText(bar).replace(QStringLiteral(".00"), QString()));
}

void ScatterPlot::updateDots(double mpp)
{
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    const std::size_t count = std::size_t(m_stats.count());
    const std::size_t twoD = m_twoD ? m_twoD->size() : 0;
    bool whole = !m_dotsValid || m_dots.size() != pixels || m_dots.devicePixelRatio() != dpr ||
                 m_dotsClears != m_stats.clears() || count < m_dotsDrawn || twoD < m_twoDDrawn;
    EastNorth moved;
    if (!whole && count > 0) {
        // A dot at the far corner moves by the change of scale times its distance.
        moved = m_stats.eastNorthOfVector(m_dotsMean);
        const double corner = std::hypot(width(), height()) / 2;
        whole = std::hypot(moved.east, moved.north) / mpp >= 1 ||
                corner * std::fabs(m_dotsMpp - mpp) / mpp >= 1;
    }
    if (whole) {
        if (m_dots.size() != pixels || m_dots.devicePixelRatio() != dpr) {
            m_dots = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
            m_dots.setDevicePixelRatio(dpr);
        }
        m_dots.fill(Qt::transparent);
        m_dotsValid = count > 0;
        m_dotsClears = m_stats.clears();
        m_dotsMean = count > 0 ? m_stats.meanVector() : PositionStatistics::Vector{};
        m_dotsMpp = mpp;
        m_dotsDrawn = m_twoDDrawn = 0;
        moved = {};
        ++m_wholeRedraws;
    }
    if (count == 0)
        return;
    // The image's own centre and scale: `moved` is where its mean lies about today's.
    const QPointF centre(width() / 2.0, height() / 2.0);
    const auto toImage = [&](EastNorth en) {
        return QPointF(centre.x() + (en.east - moved.east) / m_dotsMpp,
                       centre.y() - (en.north - moved.north) / m_dotsMpp);
    };
    QPainter p(&m_dots);
    // The fixes: small dots, without antialiasing, for speed with many of them.
    p.setPen(QPen(QColor(60, 60, 60), 2));
    QList<QPointF> dots;
    dots.reserve(qsizetype(count - m_dotsDrawn));
    for (std::size_t i = m_dotsDrawn; i < count; ++i)
        dots << toImage(m_stats.eastNorthAt(i));
    p.drawPoints(dots.constData(), int(dots.size()));
    m_dotsDrawn = count;
    if (twoD > m_twoDDrawn) {
        p.setPen(QPen(QColor(200, 120, 0), 1));
        p.setBrush(Qt::NoBrush);
        for (std::size_t i = m_twoDDrawn; i < twoD; ++i) {
            const auto &f = (*m_twoD)[i];
            p.drawEllipse(toImage(m_stats.eastNorthOf(f[0], f[1], f[2])), 2.5, 2.5);
        }
        m_twoDDrawn = twoD;
    }
}

ScatterWindow::ScatterWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, nullptr, QStringLiteral("Scatter"), QStringLiteral("Position Scatter"),
                     parent)
{
    auto *top = new QGridLayout(this);
    m_plot = new ScatterPlot(m_stats, this);
    m_plot->setTwoD(&m_twoDFixes);
    top->addWidget(m_plot, 0, 0, 1, 1);
    fadeWhenStale(m_plot);
    top->setColumnStretch(0, 1);

    auto *figures = new QGridLayout;
    const struct {
        const char *name;
        const char *caption;
        int chars;
    } rows[] = {{"Fixes", "3D fixes", 8},
                {"TwoD", "2D fixes (hollow, not counted)", 8},
                {"CEP50", "CEP50", 10},
                {"DRMS2", "2DRMS", 10},
                {"R95", "R95", 10},
                {"MeanLat", "Mean latitude", 14},
                {"MeanLon", "Mean longitude", 14},
                {"MeanLatDM", "", 16},
                {"MeanLonDM", "", 16},
                {"HeightMean", "Mean height", 10},
                {"HeightStd", "Height std dev", 10}};
    int r = 0;
    for (const auto &row : rows) {
        figures->addWidget(caption(QLatin1String(row.caption)), r, 0);
        figures->addWidget(addCell(QLatin1String(row.name), row.chars), r, 1);
        ++r;
    }
    figures->setRowStretch(r, 1);
    QPushButton *clear = addButton(QStringLiteral("Clear"), QStringLiteral("Clear"));
    connect(clear, &QPushButton::clicked, this, &ScatterWindow::Clear_Click);
    figures->addWidget(clear, r + 1, 0);
    QPushButton *exit = addButton(QStringLiteral("Exit"), QStringLiteral("Exit"));
    connect(exit, &QPushButton::clicked, this, &ScatterWindow::Exit_Click);
    figures->addWidget(exit, r + 1, 1);
    top->addLayout(figures, 0, 1);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &ScatterWindow::showFigures);
    m_opens = g.link().opens();
    takeFrames(Msg::Navigation, [this](const Frame &f) { onNavigation(f.bytes()); });
    connect(&g, &GPS_Main::unitsChanged, this, &ScatterWindow::showFigures);
    showFigures();
}

void ScatterWindow::onNavigation(QByteArrayView frame)
{
    if (m_opens != m_g.link().opens()) {
        // Another port opened since: another receiver, whose fixes do not mix with these.
        m_opens = m_g.link().opens();
        Clear_Click();
    }
    const NavigationMessage m = parseNavigation(frame);
    if (m.fix == 4)
        m_stats.add(m.latitudeDeg, m.longitudeDeg, m.heightM);
    else if (m.fix == 3)
        m_twoDFixes.push_back({m.latitudeDeg, m.longitudeDeg, m.heightM});
    messageArrived();
    if ((m.fix == 3 || m.fix == 4) && !m_refresh.isActive())
        m_refresh.start();
}

void ScatterWindow::refresh()
{
    if (m_refresh.isActive())
        showFigures();
}

void ScatterWindow::Clear_Click()
{
    m_stats.clear();
    m_twoDFixes.clear();
    showFigures();
}

void ScatterWindow::clearReceiver()
{
    DataWindowBase::clearReceiver();
    m_opens = m_g.link().opens();
    Clear_Click();
}

void ScatterWindow::showFigures()
{
    m_refresh.stop();
    const PositionSummary &s = m_stats.summary();
    const bool any = s.count > 0;
    const auto metres = [any](double m) {
        return any ? QStringLiteral("%1 m").arg(m, 0, 'f', 2) : QString();
    };
    const Units &units = m_g.units();
    // The height in the chosen unit, to the same hundredths as the distances.
    const auto height = [any, &units](double m) {
        return any ? QStringLiteral("%1 %2")
                         .arg(heightValue(m, units.height), 0, 'f', 2)
                         .arg(unitLabel(units.height))
                   : QString();
    };
    // Degrees and minutes beside the decimal degrees, or seconds when those are chosen.
    const auto position = [any, &units](double degrees, bool latitude) {
        if (!any)
            return QString();
        return units.position == PositionFormat::DegMinSec
                   ? degreesPositionText(degrees, latitude, units.position)
                   : degreesMinutesText(degrees, latitude);
    };
    Fields f;
    f.append({QStringLiteral("Fixes"), QString::number(s.count)});
    f.append({QStringLiteral("TwoD"), QString::number(m_twoDFixes.size())});
    f.append({QStringLiteral("CEP50"), metres(s.cep50M)});
    f.append({QStringLiteral("DRMS2"), metres(s.drms2M)});
    f.append({QStringLiteral("R95"), metres(s.r95M)});
    f.append({QStringLiteral("MeanLat"),
              any ? QStringLiteral("%1\u00b0").arg(s.meanLatitudeDeg, 0, 'f', 7) : QString()});
    f.append({QStringLiteral("MeanLon"),
              any ? QStringLiteral("%1\u00b0").arg(s.meanLongitudeDeg, 0, 'f', 7) : QString()});
    f.append({QStringLiteral("MeanLatDM"), position(s.meanLatitudeDeg, true)});
    f.append({QStringLiteral("MeanLonDM"), position(s.meanLongitudeDeg, false)});
    f.append({QStringLiteral("HeightMean"), height(s.meanHeightM)});
    f.append({QStringLiteral("HeightStd"), height(s.heightStdM)});
    showFields(f);
    m_plot->update();
}
