#pragma once

#include "datawindow.h"

#include <QColor>
#include <array>

class QBarSet;
class QBarCategoryAxis;
class QChartView;

// "Signal Levels": one bar per channel, as high as its level, labelled with the
// satellite's number (a check mark when the last navigation message uses it in the fix),
// coloured by the channel's state as the satellite table colours it. Every satellite
// message redraws it. Qt Charts: a stacked bar series with one set per state, so that
// each bar takes its state's colour.
class SignalLevelsWindow : public DataWindowBase {
    Q_OBJECT
public:
    SignalLevelsWindow(GPS_Main &g, QWidget *parent = nullptr);

    // What the chart shows now, channel k at index k - 1.
    double level(int channel) const;
    QColor color(int channel) const;
    QString label(int channel) const;
    bool used(int channel) const;
    QChartView *chartView() const { return m_view; }

private:
    void onFrame(bool good);
    void showSatellites();

    QChartView *m_view = nullptr;
    QBarCategoryAxis *m_axis = nullptr;
    // Search, Track, Decode, Fix, no state.
    std::array<QBarSet *, 5> m_sets{};
    std::array<double, 8> m_levels{};
    std::array<int, 8> m_set{};
    std::array<bool, 8> m_used{};
    QStringList m_labels;
};
