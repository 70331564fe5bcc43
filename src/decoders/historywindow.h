#pragma once

#include "datawindow.h"

#include <QList>
#include <array>

class QChart;
class QChartView;
class QLineSeries;
class QPushButton;
class QTableWidget;
class QValueAxis;

// "History": the last ten minutes of the receiver (GPS_Main::quality().history) as
// time plots on one time axis: satellites used and fix state, each channel's level,
// height, speed, HDOP and VDOP. The mouse wheel zooms the time axis about the pointer,
// dragging scrolls it, "Live" follows the newest data again; "Pause" holds the plots
// still while the data goes on being kept. Below, the last time-to-first-fix runs.
// The plots show one message a second (the first of each), and take in new data once
// a second.
class HistoryWindow : public DataWindowBase {
    Q_OBJECT
public:
    HistoryWindow(GPS_Main &g, QWidget *parent = nullptr);
    ~HistoryWindow() override;

    // Takes in whatever the history gained since the last time (a timer calls it).
    void refresh();
    bool paused() const;
    void setPaused(bool paused);
    // Back to following the newest ten minutes.
    void follow();
    // Zooms the time axis by `factor` (above 1: closer) about time `atS`.
    void zoom(double factor, double atS);
    void scroll(double seconds);

    QLineSeries *satellitesUsed() const { return m_sats; }
    QLineSeries *fixState() const { return m_fix; }
    QLineSeries *level(int channel) const { return m_levels[std::size_t(channel - 1)]; }
    QLineSeries *height() const { return m_height; }
    QLineSeries *speed() const { return m_speed; }
    QLineSeries *hdop() const { return m_hdop; }
    QLineSeries *vdop() const { return m_vdop; }
    QValueAxis *timeAxis() const { return m_timeAxes.first(); }
    QTableWidget *ttffTable() const { return m_ttff; }

private:
    QChart *addChart(const QString &title, const QString &unit);
    void setTimeRange(double from, double to);
    void fitValues();
    void fillTtff();
    double seconds(qint64 ms) const;
    qint64 secondOf(qint64 ms) const;

    QList<QChartView *> m_views;
    QList<QValueAxis *> m_timeAxes;
    QList<QChart *> m_charts;
    QLineSeries *m_sats = nullptr, *m_fix = nullptr;
    std::array<QLineSeries *, 8> m_levels{};
    QLineSeries *m_height = nullptr, *m_speed = nullptr, *m_hdop = nullptr, *m_vdop = nullptr;
    QPushButton *m_pause = nullptr;
    QTableWidget *m_ttff = nullptr;
    QTimer m_tick;
    bool m_following = true;
    // The newest sample already in the series, and the time the axis counts from.
    qint64 m_lastNavMs = -1, m_lastLevelMs = -1;
    qint64 m_originMs = 0;
    bool m_originSet = false;
    // The plots take the first message of each second (relative to the port's opening):
    // a line of 6000 points per series costs Qt Charts far more than the 600 show.
    qint64 m_navSecond = 0, m_levelSecond = 0;
};
