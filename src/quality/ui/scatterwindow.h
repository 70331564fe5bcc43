#pragma once

#include "decoders/ui/datawindow.h"
#include "quality/fixstatistics.h"

#include <array>
#include <vector>

class QLabel;

// The plot of the Position Scatter window: every position in metres east and north of
// the 3D fixes' mean (2D fixes hollow), equal scales on both axes, the CEP50, 2DRMS and R95 circles
// and a scale bar. Drawn with QPainter, as the sky plot is: Qt Charts has no equal-aspect axes or
// circles.
class ScatterPlot : public QWidget {
    Q_OBJECT
public:
    ScatterPlot(const PositionStatistics &stats, QWidget *parent = nullptr);
    // 2D fixes, drawn hollow and left out of the figures: latitude, longitude, height.
    void setTwoD(const std::vector<std::array<double, 3>> *twoD) { m_twoD = twoD; }

    // Metres per pixel, the same across and up; and the scale bar's length in metres.
    double metresPerPixel() const;
    double scaleBarMetres() const;

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    // Half the width of the square shown, in metres.
    double extentMetres() const;

    const PositionStatistics &m_stats;
    const std::vector<std::array<double, 3>> *m_twoD = nullptr;
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

private:
    void onNavigation(QByteArrayView frame);
    void showFigures();

    PositionStatistics m_stats;
    std::vector<std::array<double, 3>> m_twoDFixes;
    quint64 m_opens = 0;
    ScatterPlot *m_plot = nullptr;
};
