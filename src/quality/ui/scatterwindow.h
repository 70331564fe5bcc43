#pragma once

#include "decoders/ui/datawindow.h"
#include "quality/fixstatistics.h"

#include <QImage>
#include <QTimer>

#include <array>
#include <vector>

class QLabel;

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
    void setTwoD(const std::vector<std::array<double, 3>> *twoD) { m_twoD = twoD; }

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
    const std::vector<std::array<double, 3>> *m_twoD = nullptr;

    // The dots drawn so far, about m_dotsMean at m_dotsMpp metres per pixel.
    QImage m_dots;
    bool m_dotsValid = false;
    quint64 m_dotsClears = 0;
    PositionStatistics::Vector m_dotsMean{};
    double m_dotsMpp = 0;
    std::size_t m_dotsDrawn = 0;
    std::size_t m_twoDDrawn = 0;
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
    const std::vector<std::array<double, 3>> &twoDFixes() const { return m_twoDFixes; }
    ScatterPlot *plot() const { return m_plot; }
    void Clear_Click();
    void clearReceiver() override;
    // The figures and the plot as of the last fix now, not at the next refresh.
    void refresh();

    // Fixes come as fast as a replay brings them; the figures and the plot follow at
    // most this often.
    static constexpr int kRefreshMs = 200;

private:
    void onNavigation(QByteArrayView frame);
    void showFigures();

    PositionStatistics m_stats;
    std::vector<std::array<double, 3>> m_twoDFixes;
    quint64 m_opens = 0;
    ScatterPlot *m_plot = nullptr;
    QTimer m_refresh;
};
