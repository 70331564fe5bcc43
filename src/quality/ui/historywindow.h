#pragma once

#include "decoders/ui/datawindow.h"
#include "link/units.h"

class QualityWatch;

#include <QColor>
#include <QList>
#include <QPointF>
#include <array>
#include <limits>

class HistoryWindow;
class LevelElevationWindow;
class QCheckBox;
class QPushButton;
class QVBoxLayout;
class QTableWidget;
class QVBoxLayout;

// One plot of the History window: named lines of (seconds, value) over the time range
// the window gives every plot, the value axis fitted to what is in that range. Drawn
// with QPainter (see the README: Qt Charts cost more than the program allowed).
class TimePlot : public QWidget {
    Q_OBJECT
public:
    struct Line {
        QString name;
        QColor color;
        QList<QPointF> points; // seconds, value; oldest first
    };
    TimePlot(const QString &title, const QString &unit, HistoryWindow *window);

    // More than this many seconds without a sample is a gap in a line, not a slope:
    // the receiver sends every second, so three missed messages mean it was gone.
    static constexpr double kGapS = 3.0;

    int addLine(const QString &name, const QColor &color);
    void removeLines() { m_lines.clear(); }
    // The value axis's unit, in the title.
    void setUnit(const QString &unit);
    const QString &unit() const { return m_unit; }
    const Line &line(int i) const { return m_lines[i]; }
    Line &line(int i) { return m_lines[i]; }
    int lineCount() const { return int(m_lines.size()); }
    void setTimeRange(double from, double to);
    // The seconds at a horizontal pixel position.
    double timeAt(double x) const;
    // The value axis as last drawn: from, to.
    QPointF valueRange() const;
    // A line as it is drawn: its points in pieces, split at every gap.
    QList<QList<QPointF>> pieces(int i) const;

protected:
    void paintEvent(QPaintEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;

private:
    QRectF plotArea() const;

    QString m_title, m_unit;
    HistoryWindow *m_window;
    QList<Line> m_lines;
    double m_from = -600, m_to = 0;
    double m_dragX = 0;
};

// "History": the last ten minutes of the receiver (the quality watch's history) as
// time plots on one time axis: satellites used and fix state, each channel's level,
// height, speed, HDOP and VDOP. The mouse wheel zooms the time axis about the pointer,
// dragging scrolls it, "Live" (or a double click) follows the newest data again;
// "Pause" holds the plots still while the data goes on being kept. Below, the last
// time-to-first-fix runs. The plots show one message a second (the first of each),
// and take in new data once a second.
class HistoryWindow : public DataWindowBase {
    Q_OBJECT
public:
    HistoryWindow(GPS_Main &g, const QualityWatch &quality, QWidget *parent = nullptr);
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

    const QList<QPointF> &satellitesUsed() const { return m_plots[0]->line(0).points; }
    const QList<QPointF> &fixState() const { return m_plots[0]->line(1).points; }
    const QList<QPointF> &level(int channel) const { return m_plots[1]->line(channel - 1).points; }
    const QList<QPointF> &height() const { return m_plots[2]->line(0).points; }
    const QList<QPointF> &speed() const { return m_plots[3]->line(0).points; }
    const QList<QPointF> &hdop() const { return m_plots[4]->line(0).points; }
    const QList<QPointF> &vdop() const { return m_plots[4]->line(1).points; }
    double timeFrom() const { return m_from; }
    double timeTo() const { return m_to; }
    TimePlot *plot(int i) const { return m_plots[i]; }
    QTableWidget *ttffTable() const { return m_ttff; }
    // Receiver UTC minus computer UTC (s), one point a second.
    const QList<QPointF> &clockOffset() const { return m_offsetPlot->line(0).points; }

    // "by satellite": the level plot draws one line per satellite number instead of one
    // per channel, whichever channel carried the satellite.
    void setLevelsBySatellite(bool on);
    bool levelsBySatellite() const;
    TimePlot *satellitePlot() const { return m_satellitePlot; }
    // The satellite's line as shown (seconds, dB); empty when it is not in the plot.
    QList<QPointF> satelliteLevel(int number) const;
    // Opens (or brings forward) the level-against-elevation window.
    void showLevelElevation();
    LevelElevationWindow *levelElevationWindow() const { return m_levelElevation; }

private:
    void addSatelliteControls(QVBoxLayout *plots, QVBoxLayout *buttons);
    void fillSatelliteLevels();

    void setTimeRange(double from, double to);
    void fillTtff();
    void addClockOffsetPlot(QVBoxLayout *plots);
    // Takes in the clock offsets the quality watch gained; true when any was.
    bool refreshClockOffset();
    double seconds(qint64 ms) const;
    qint64 secondOf(qint64 ms) const;

    QList<TimePlot *> m_plots;
    QPushButton *m_pause = nullptr;
    TimePlot *m_satellitePlot = nullptr;
    QCheckBox *m_bySatellite = nullptr;
    QList<int> m_satelliteNumbers; // the satellite of each line of m_satellitePlot
    LevelElevationWindow *m_levelElevation = nullptr;
    QTableWidget *m_ttff = nullptr;
    const QualityWatch &m_quality;
    QTimer m_tick;
    bool m_following = true;
    double m_from = -600, m_to = 0;
    // The newest sample already taken in, and the time the axis counts from.
    qint64 m_lastNavMs = -1, m_lastLevelMs = -1;
    qint64 m_originMs = 0;
    bool m_originSet = false;
    quint64 m_historyResets = 0;
    // The plots take the first message of each second (relative to the port's opening).
    qint64 m_navSecond = std::numeric_limits<qint64>::min();
    qint64 m_levelSecond = std::numeric_limits<qint64>::min();
    TimePlot *m_offsetPlot = nullptr;
    qint64 m_lastOffsetMs = -1;
    qint64 m_offsetOrigin = std::numeric_limits<qint64>::min();
    quint64 m_offsetResets = 0;
    qint64 m_offsetSecond = std::numeric_limits<qint64>::min();
    // The units the height and speed plots are in (View, Units).
    Units m_units;
    void showUnits();
};
