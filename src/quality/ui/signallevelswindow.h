#pragma once

#include "decoders/ui/datawindow.h"

#include <QColor>
#include <array>

// The bars of the Signal Levels window, drawn with QPainter (see the README: Qt Charts
// cost more memory than the rest of the program allowed).
class LevelBars : public QWidget {
    Q_OBJECT
public:
    struct Bar {
        double levelDb = 0;
        QColor color;
        QString label;
        bool used = false;
    };
    explicit LevelBars(QWidget *parent = nullptr);
    void setBars(const std::array<Bar, 8> &bars);
    // Every channel empty, as before the first satellite message.
    void clear();
    const std::array<Bar, 8> &bars() const { return m_bars; }

protected:
    void paintEvent(QPaintEvent *e) override;

private:
    std::array<Bar, 8> m_bars{};
};

// "Signal Levels": one bar per channel, as high as its level, labelled with the
// satellite's number (a check mark when the last navigation message uses it in the fix),
// coloured by the channel's state as the satellite table colours it. Every satellite
// message redraws it.
class SignalLevelsWindow : public DataWindowBase {
    Q_OBJECT
public:
    SignalLevelsWindow(GPS_Main &g, QWidget *parent = nullptr);

    // What the chart shows now, channel k (1..8).
    double level(int channel) const;
    QColor color(int channel) const;
    QString label(int channel) const;
    bool used(int channel) const;
    LevelBars *chart() const { return m_bars; }
    void clearReceiver() override;

private:
    void showSatellites(QByteArrayView frame);

    LevelBars *m_bars = nullptr;
};
