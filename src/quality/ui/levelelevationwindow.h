#pragma once

#include "quality/satellitelevels.h"

#include <QTimer>
#include <QWidget>

class QualityWatch;

// Level against elevation: one dot per satellite message and satellite over the last
// ten minutes, one colour per satellite. Low satellites are weaker through more air; a
// sector of the sky much weaker than its elevation explains points at the antenna's
// placement or cable. Drawn with QPainter as the other plots.
class LevelElevationPlot : public QWidget {
    Q_OBJECT
public:
    explicit LevelElevationPlot(QWidget *parent = nullptr);
    void setPoints(std::map<int, std::vector<SatellitePoint>> points);
    const std::map<int, std::vector<SatellitePoint>> &points() const { return m_points; }
    // The colour a satellite's dots and legend get.
    static QColor colorOf(int number);

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::map<int, std::vector<SatellitePoint>> m_points;
};

// "Level against Elevation": the plot above for the quality watch's last ten minutes,
// taken in again once a second. History opens it.
class LevelElevationWindow : public QWidget {
    Q_OBJECT
public:
    LevelElevationWindow(const QualityWatch &quality, QWidget *parent = nullptr);
    void refresh();
    LevelElevationPlot *plot() const { return m_plot; }

private:
    const QualityWatch &m_quality;
    LevelElevationPlot *m_plot = nullptr;
    QTimer m_tick;
};
