#include "quality/ui/scatterwindow.h"

#include "decoders/messagevalues.h"
#include "decoders/unitformat.h"
#include "link/coordinate.h"
#include "link/gpsmain.h"
#include "link/messagetypes.h"
#include "widgets/valuetext.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

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
    // Fixes are numbered from the first since the clear; the kept ones are the newest.
    const quint64 dropped = m_stats.dropped();
    const quint64 added = dropped + count;
    const std::size_t twoD = m_twoD ? m_twoD->size() : 0;
    const quint64 twoDDropped = m_twoDDropped ? *m_twoDDropped : 0;
    const quint64 twoDAdded = twoDDropped + twoD;
    // Dropped fixes stay in the image until a tenth of the store has gone: one whole
    // redraw per tenth, not one per fix, once the store is full.
    const quint64 stale = dropped + twoDDropped - m_droppedAtWhole;
    bool whole = !m_dotsValid || m_dots.size() != pixels || m_dots.devicePixelRatio() != dpr ||
                 m_dotsClears != m_stats.clears() || added < m_dotsDrawn ||
                 twoDAdded < m_twoDDrawn ||
                 (m_stats.capacity() > 0 && stale * 10 >= m_stats.capacity());
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
        m_dotsDrawn = dropped;
        m_twoDDrawn = twoDDropped;
        m_droppedAtWhole = dropped + twoDDropped;
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
    const std::size_t from = std::size_t(std::max(m_dotsDrawn, dropped) - dropped);
    dots.reserve(qsizetype(count - std::min(from, count)));
    for (std::size_t i = from; i < count; ++i)
        dots << toImage(m_stats.eastNorthAt(i));
    p.drawPoints(dots.constData(), int(dots.size()));
    m_dotsDrawn = added;
    if (twoDAdded > m_twoDDrawn) {
        p.setPen(QPen(QColor(200, 120, 0), 1));
        p.setBrush(Qt::NoBrush);
        for (std::size_t i = std::size_t(std::max(m_twoDDrawn, twoDDropped) - twoDDropped);
             i < twoD; ++i) {
            const auto &f = (*m_twoD)[i];
            p.drawEllipse(toImage(m_stats.eastNorthOf(f[0], f[1], f[2])), 2.5, 2.5);
        }
        m_twoDDrawn = twoDAdded;
    }
}

ScatterWindow::ScatterWindow(GPS_Main &g, QWidget *parent)
    : DataWindowBase(g, nullptr, QStringLiteral("Scatter"), QStringLiteral("Position Scatter"),
                     parent)
{
    auto *top = new QGridLayout(this);
    m_plot = new ScatterPlot(m_stats, this);
    m_plot->setTwoD(&m_twoDFixes, &m_twoDDropped);
    top->addWidget(m_plot, 0, 0, 1, 1);
    fadeWhenStale(m_plot);
    top->setColumnStretch(0, 1);

    auto *figures = new QGridLayout;
    const struct {
        const char *name;
        const char *caption;
        int chars;
    } rows[] = {{"Fixes", "3D fixes", 20},
                {"TwoD", "2D fixes (hollow, not counted)", 20},
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
    int referenceRow = r + 2;
    addReferenceRows(figures, referenceRow);
    top->addLayout(figures, 0, 1);
    auto *errors = new QHBoxLayout;
    m_errorPlot = new ReferenceErrorPlot(this);
    errors->addWidget(m_errorPlot, 1);
    m_live = addButton(QStringLiteral("Live"), QStringLiteral("Live"));
    m_live->setToolTip(
        QStringLiteral("Follow the newest ten minutes again (or double-click the plot)"));
    connect(m_live, &QPushButton::clicked, this, &ScatterWindow::followErrors);
    errors->addWidget(m_live, 0, Qt::AlignBottom);
    top->addLayout(errors, 1, 0, 1, 2);
    fadeWhenStale(m_errorPlot);
    setReference(loadReferencePoint(g.platform().settings));

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &ScatterWindow::showFigures);
    m_opens = g.link().opens();
    takeFrames(Msg::Navigation, [this](const Frame &f) { onNavigation(f.bytes(), f.completedMs); });
    connect(&g, &GPS_Main::unitsChanged, this, &ScatterWindow::showFigures);
    showFigures();
}

void ScatterWindow::onNavigation(QByteArrayView frame, qint64 ms)
{
    if (m_opens != m_g.link().opens()) {
        // Another port opened since: another receiver, whose fixes do not mix with these.
        m_opens = m_g.link().opens();
        Clear_Click();
    }
    const NavigationMessage m = parseNavigation(frame);
    if (m.fix == 4) {
        m_stats.add(m.latitudeDeg, m.longitudeDeg, m.heightM);
        m_reference.add(ms, m.latitudeDeg, m.longitudeDeg, m.heightM);
    } else if (m.fix == 3 && onTheEarth(m.latitudeDeg, m.longitudeDeg, m.heightM)) {
        if (m_twoDFixes.size() >= kKeptFixes) {
            m_twoDFixes.pop_front();
            ++m_twoDDropped;
        }
        m_twoDFixes.push_back({m.latitudeDeg, m.longitudeDeg, m.heightM});
    }
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
    m_twoDDropped = 0;
    m_reference.clear();
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
    // Once the oldest are dropped, the figures are of the newest fixes: say of how many.
    const auto kept = [](qint64 count, quint64 dropped) {
        return dropped == 0
                   ? QString::number(count)
                   : QStringLiteral("last %1 of %2").arg(count).arg(count + qint64(dropped));
    };
    QString fixes = kept(s.count, m_stats.dropped());
    if (m_stats.offTheEarth() > 0)
        fixes += QStringLiteral(" (%1 off the earth)").arg(m_stats.offTheEarth());
    f.append({QStringLiteral("Fixes"), fixes});
    f.append({QStringLiteral("TwoD"), kept(qint64(m_twoDFixes.size()), m_twoDDropped)});
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
    showReferenceFigures(f);
    showFields(f);
    m_plot->update();
    fillErrorPlot();
}

ReferenceDialog::ReferenceDialog(const std::optional<ReferencePoint> &current, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ReferenceDialog"));
    setWindowTitle(QStringLiteral("Reference"));
    auto *top = new QVBoxLayout(this);
    top->addWidget(new QLabel(
        QStringLiteral("The surveyed position of the antenna: decimal degrees (47.3702) or\n"
                       "degrees and minutes (47 22.212 N), height in metres above the\n"
                       "ellipsoid (leave it empty for the horizontal figures alone)."),
        this));
    auto *grid = new QGridLayout;
    const auto field = [&](const QString &name, const QString &label, int row) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(name);
        auto *l = new QLabel(label, this);
        l->setBuddy(edit);
        grid->addWidget(l, row, 0);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    m_lat = field(QStringLiteral("RefLat"), QStringLiteral("&Latitude"), 0);
    m_lon = field(QStringLiteral("RefLon"), QStringLiteral("L&ongitude"), 1);
    m_height = field(QStringLiteral("RefHeight"), QStringLiteral("&Height (m)"), 2);
    top->addLayout(grid);
    if (current) {
        m_lat->setText(QString::number(current->latitudeDeg, 'f', 9));
        m_lon->setText(QString::number(current->longitudeDeg, 'f', 9));
        if (current->heightM)
            m_height->setText(QString::number(*current->heightM, 'f', 3));
    }
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("RefError"));
    m_error->setStyleSheet(QStringLiteral("color: #b00000"));
    m_error->setWordWrap(true);
    top->addWidget(m_error);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton *clear =
        buttons->addButton(QStringLiteral("&Clear reference"), QDialogButtonBox::ResetRole);
    clear->setObjectName(QStringLiteral("ClearReference"));
    connect(clear, &QPushButton::clicked, this, &ReferenceDialog::clearReference);
    connect(buttons, &QDialogButtonBox::accepted, this, &ReferenceDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ReferenceDialog::reject);
    top->addWidget(buttons);
}

std::optional<ReferencePoint> ReferenceDialog::point(QString &error) const
{
    ReferencePoint p;
    const std::optional<double> lat = parseCoordinate(m_lat->text(), true, error);
    if (!lat)
        return std::nullopt;
    const std::optional<double> lon = parseCoordinate(m_lon->text(), false, error);
    if (!lon)
        return std::nullopt;
    bool given = false;
    p.heightM = parseHeight(m_height->text(), error, given);
    if (given && !p.heightM)
        return std::nullopt;
    p.latitudeDeg = *lat;
    p.longitudeDeg = *lon;
    return p;
}

void ReferenceDialog::accept()
{
    QString error;
    const std::optional<ReferencePoint> p = point(error);
    if (!p) {
        // The field at fault gets the cursor; nothing is taken.
        m_error->setText(error);
        QLineEdit *at = error.contains(QLatin1String("latitude"))    ? m_lat
                        : error.contains(QLatin1String("longitude")) ? m_lon
                                                                     : m_height;
        at->setFocus();
        at->selectAll();
        return;
    }
    m_chosen = p;
    QDialog::accept();
}

void ReferenceDialog::clearReference()
{
    m_chosen.reset();
    QDialog::accept();
}

ReferenceErrorPlot::ReferenceErrorPlot(ScatterWindow *window)
    : TimePlot(QStringLiteral("Error about the reference, seconds since the port opened"),
               QStringLiteral("m"), nullptr),
      m_scatter(window)
{
    setObjectName(QStringLiteral("ErrorPlot"));
    setMinimumSize(300, 130);
    addLine(QStringLiteral("East"), QColor(31, 119, 180));
    addLine(QStringLiteral("North"), QColor(214, 39, 40));
    addLine(QStringLiteral("Up"), QColor(44, 160, 44));
}

void ReferenceErrorPlot::wheelEvent(QWheelEvent *e)
{
    const double steps = e->angleDelta().y() / 120.0;
    if (steps != 0)
        m_scatter->zoomErrors(std::pow(1.25, steps), timeAt(e->position().x()));
    e->accept();
}

void ReferenceErrorPlot::mousePressEvent(QMouseEvent *e)
{
    m_dragX = e->position().x();
    e->accept();
}

void ReferenceErrorPlot::mouseMoveEvent(QMouseEvent *e)
{
    if (!(e->buttons() & Qt::LeftButton))
        return;
    const double x = e->position().x();
    m_scatter->scrollErrors(timeAt(m_dragX) - timeAt(x));
    m_dragX = x;
    e->accept();
}

void ReferenceErrorPlot::mouseDoubleClickEvent(QMouseEvent *e)
{
    m_scatter->followErrors();
    e->accept();
}

void ScatterWindow::addReferenceRows(QGridLayout *figures, int &row)
{
    const struct {
        const char *name;
        const char *caption;
        int chars;
    } rows[] = {{"BiasEast", "Bias east", 10},
                {"BiasNorth", "Bias north", 10},
                {"BiasUp", "Bias up", 10},
                {"RefHRms", "Horizontal RMS", 10},
                {"RefVRms", "Vertical RMS", 10},
                {"RefCEP50", "CEP50 about reference", 10},
                {"RefR95", "R95 about reference", 10}};
    // The point across both columns: it is longer than a figure.
    figures->addWidget(caption(QStringLiteral("Reference")), row++, 0);
    figures->addWidget(addCell(QStringLiteral("Reference"), 24), row++, 0, 1, 2);
    for (const auto &r : rows) {
        figures->addWidget(caption(QLatin1String(r.caption)), row, 0);
        figures->addWidget(addCell(QLatin1String(r.name), r.chars), row, 1);
        ++row;
    }
    QPushButton *reference =
        addButton(QStringLiteral("ReferenceButton"), QStringLiteral("&Reference..."));
    connect(reference, &QPushButton::clicked, this, &ScatterWindow::Reference_Click);
    figures->addWidget(reference, row, 0);
    ++row;
}

void ScatterWindow::setReference(const std::optional<ReferencePoint> &point)
{
    m_reference.setReference(point);
    m_errorPlot->setVisible(point.has_value());
    m_live->setVisible(point.has_value());
    followErrors();
    showFigures();
}

void ScatterWindow::Reference_Click()
{
    ReferenceDialog d(m_reference.reference(), this);
    if (d.exec() != QDialog::Accepted)
        return;
    saveReferencePoint(m_g.platform().settings, d.chosen());
    setReference(d.chosen());
}

void ScatterWindow::showReferenceFigures(Fields &f)
{
    const std::optional<ReferencePoint> &point = m_reference.reference();
    const ReferenceSummary r = m_reference.summary();
    const bool any = r.count > 0;
    const auto metres = [any](double m, bool shown = true) {
        return any && shown ? QStringLiteral("%1 m").arg(m, 0, 'f', 2) : QString();
    };
    QString where = QStringLiteral("none");
    if (point) {
        where = QStringLiteral("%1, %2").arg(degreesMinutesText(point->latitudeDeg, true),
                                             degreesMinutesText(point->longitudeDeg, false));
        if (point->heightM)
            where += QStringLiteral(", %1 m").arg(*point->heightM, 0, 'f', 2);
    }
    f.append({QStringLiteral("Reference"), where});
    f.append({QStringLiteral("BiasEast"), metres(r.biasEastM)});
    f.append({QStringLiteral("BiasNorth"), metres(r.biasNorthM)});
    f.append({QStringLiteral("BiasUp"), metres(r.biasUpM, r.hasVertical)});
    f.append({QStringLiteral("RefHRms"), metres(r.horizontalRmsM)});
    f.append({QStringLiteral("RefVRms"), metres(r.verticalRmsM, r.hasVertical)});
    f.append({QStringLiteral("RefCEP50"), metres(r.cep50M)});
    f.append({QStringLiteral("RefR95"), metres(r.r95M)});
}

void ScatterWindow::fillErrorPlot()
{
    for (int i = 0; i < 3; ++i)
        m_errorPlot->line(i).points.clear();
    const auto &times = m_reference.times();
    const auto &errors = m_reference.errors();
    if (errors.empty()) {
        m_errorPlot->update();
        return;
    }
    // The last ten minutes, as History keeps.
    const qint64 origin = m_g.link().openedAtMs();
    const qint64 newest = times.back();
    const auto first = std::size_t(
        std::lower_bound(times.begin(), times.end(), newest - History::kSpanMs) - times.begin());
    for (std::size_t i = first; i < errors.size() && i < times.size(); ++i) {
        const double t = double(times[i] - origin) / 1000.0;
        m_errorPlot->line(0).points << QPointF(t, errors[i].east);
        m_errorPlot->line(1).points << QPointF(t, errors[i].north);
        if (m_reference.reference()->heightM)
            m_errorPlot->line(2).points << QPointF(t, errors[i].up);
    }
    if (m_errorsFollowing) {
        const double to = double(newest - origin) / 1000.0;
        m_errorsFrom = to - History::kSpanMs / 1000.0;
        m_errorsTo = to;
        m_errorPlot->setTimeRange(m_errorsFrom, m_errorsTo);
    } else {
        m_errorPlot->update();
    }
}

void ScatterWindow::zoomErrors(double factor, double atS)
{
    if (factor <= 0)
        return;
    m_errorsFollowing = false;
    const double span =
        std::clamp((m_errorsTo - m_errorsFrom) / factor, 10.0, History::kSpanMs / 1000.0);
    const double share =
        m_errorsTo > m_errorsFrom ? (atS - m_errorsFrom) / (m_errorsTo - m_errorsFrom) : 0.5;
    m_errorsFrom = atS - share * span;
    m_errorsTo = m_errorsFrom + span;
    m_errorPlot->setTimeRange(m_errorsFrom, m_errorsTo);
}

void ScatterWindow::scrollErrors(double seconds)
{
    m_errorsFollowing = false;
    m_errorsFrom += seconds;
    m_errorsTo += seconds;
    m_errorPlot->setTimeRange(m_errorsFrom, m_errorsTo);
}

void ScatterWindow::followErrors()
{
    m_errorsFollowing = true;
    fillErrorPlot();
}
