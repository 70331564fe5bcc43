#pragma once

#include "decoders/ui/datawindow.h"
#include "quality/fixstatistics.h"
#include "quality/reference.h"
#include "quality/ui/historywindow.h"

#include <QDialog>

#include <QImage>
#include <QTimer>

#include <array>
#include <deque>
#include <vector>

class QGridLayout;
class QLabel;
class QPushButton;
class QLineEdit;
class ScatterWindow;

// "Reference": the surveyed point the fixes are measured against. Latitude and
// longitude in decimal degrees or degrees and minutes, height in metres (may be left
// empty). OK with a bad field names it under the fields and stays open.
class ReferenceDialog : public QDialog {
    Q_OBJECT
public:
    ReferenceDialog(const std::optional<ReferencePoint> &current, QWidget *parent = nullptr);
    // The point as typed, when every field reads; the error otherwise.
    std::optional<ReferencePoint> point(QString &error) const;
    // What OK took; nullopt after "Clear reference".
    const std::optional<ReferencePoint> &chosen() const { return m_chosen; }
    void accept() override;
    void clearReference();
    QLabel *errorLine() const { return m_error; }

private:
    QLineEdit *m_lat = nullptr, *m_lon = nullptr, *m_height = nullptr;
    QLabel *m_error = nullptr;
    std::optional<ReferencePoint> m_chosen;
};

// East, north and up error about the reference over time, zoomed and scrolled as the
// History plots are, on the scatter window's own time axis.
class ReferenceErrorPlot : public TimePlot {
    Q_OBJECT
public:
    ReferenceErrorPlot(ScatterWindow *window);

protected:
    void wheelEvent(QWheelEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;

private:
    ScatterWindow *m_scatter;
    double m_dragX = 0;
};

// The plot of the Position Scatter window: every position in metres east and north of
// the 3D fixes' mean (2D fixes hollow), equal scales on both axes, the CEP50, 2DRMS and R95 circles
// and a scale bar. Drawn with QPainter, as the sky plot is: Qt Charts has no equal-aspect axes or
// circles. The dots are kept in an image: a paint adds the fixes that came since, and draws
// them all again only when the scale or the mean has moved by a pixel or the size changed.
class ScatterPlot : public QWidget {
    Q_OBJECT
public:
    ScatterPlot(const PositionStatistics &stats, QWidget *parent = nullptr);
    // 2D fixes, drawn hollow and left out of the figures: latitude, longitude, height.
    void setTwoD(const std::deque<std::array<double, 3>> *twoD, const quint64 *twoDDropped)
    {
        m_twoD = twoD;
        m_twoDDropped = twoDDropped;
    }

    // Metres per pixel, the same across and up; and the scale bar's length in metres.
    double metresPerPixel() const;
    double scaleBarMetres() const;
    // How often the dots were drawn all again, not just the new ones.
    quint64 wholeRedraws() const { return m_wholeRedraws; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    // Half the width of the square shown, in metres.
    double extentMetres() const;
    // Brings the image of the dots up to date for this scale and mean.
    void updateDots(double mpp);

    const PositionStatistics &m_stats;
    const std::deque<std::array<double, 3>> *m_twoD = nullptr;
    const quint64 *m_twoDDropped = nullptr;

    // The dots drawn so far, about m_dotsMean at m_dotsMpp metres per pixel.
    QImage m_dots;
    bool m_dotsValid = false;
    quint64 m_dotsClears = 0;
    PositionStatistics::Vector m_dotsMean{};
    double m_dotsMpp = 0;
    // Counted from the first fix since the clear, dropped ones included; and how many
    // had been dropped when the image was drawn whole.
    quint64 m_dotsDrawn = 0;
    quint64 m_twoDDrawn = 0;
    quint64 m_droppedAtWhole = 0;
    quint64 m_wholeRedraws = 0;
};

// Degrees and decimal minutes: «47°22.2000' N».
QString degreesMinutesText(double degrees, bool latitude);

// "Position Scatter": the 3D fixes since the window opened or since "Clear" (or since
// another port opened), and their accuracy figures (the same core as kestrelctl stats).
class ScatterWindow : public DataWindowBase {
    Q_OBJECT
public:
    ScatterWindow(GPS_Main &g, QWidget *parent = nullptr);

    const PositionStatistics &statistics() const { return m_stats; }
    const std::deque<std::array<double, 3>> &twoDFixes() const { return m_twoDFixes; }
    ScatterPlot *plot() const { return m_plot; }
    void Clear_Click();
    void clearReceiver() override;
    // The figures and the plot as of the last fix now, not at the next refresh.
    void refresh();

    // Fixes come as fast as a replay brings them; the figures and the plot follow at
    // most this often.
    static constexpr int kRefreshMs = 200;
    // The fixes kept, 3D and 2D each: an hour at 10 fixes a second. Older ones are
    // dropped, so a window left open for days keeps its memory and its refresh cost.
    static constexpr std::size_t kKeptFixes = 36000;

    // The surveyed point (kept in the settings), or none.
    const ReferenceStatistics &reference() const { return m_reference; }
    void setReference(const std::optional<ReferencePoint> &point);
    // Opens the reference dialog; OK or "Clear reference" sets it and saves it.
    void Reference_Click();
    ReferenceErrorPlot *errorPlot() const { return m_errorPlot; }
    // The error plot's time axis, as History's: zoom about a time, scroll, follow.
    void zoomErrors(double factor, double atS);
    void scrollErrors(double seconds);
    void followErrors();

private:
    void onNavigation(QByteArrayView frame, qint64 ms);
    void addReferenceRows(QGridLayout *figures, int &row);
    void showReferenceFigures(Fields &f);
    void fillErrorPlot();
    void showFigures();

    PositionStatistics m_stats{kKeptFixes};
    ReferenceStatistics m_reference{kKeptFixes};
    ReferenceErrorPlot *m_errorPlot = nullptr;
    QPushButton *m_live = nullptr;
    bool m_errorsFollowing = true;
    double m_errorsFrom = -600, m_errorsTo = 0;
    std::deque<std::array<double, 3>> m_twoDFixes;
    quint64 m_twoDDropped = 0;
    quint64 m_opens = 0;
    ScatterPlot *m_plot = nullptr;
    QTimer m_refresh;
};
