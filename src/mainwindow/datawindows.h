#pragma once

#include "link/gpsmain.h"

#include <QObject>
#include <QPointer>
#include <array>

class QWidget;
class DataWindowBase;
class QualityWatch;

enum class DataWindow {
    Condition,
    Diagnosis,
    Position,
    Mode,
    TimeStamp,
    RecSat,
    // The pictures of how good the receiver is; they follow the frames themselves.
    SignalLevels,
    History,
    Scatter,
    // Every frame in and out.
    Messages,
};

// The modeless data windows: opens them (one copy each) and closes those that are
// open when the main window goes. An open window takes its frames itself.
class DataWindows : public QObject {
    Q_OBJECT
public:
    DataWindows(GPS_Main &g, const QualityWatch &quality, QWidget *mainWindow);
    ~DataWindows() override;

    // Creates the window if it is not open, shows it and brings it forward.
    void show(DataWindow which);
    // Closes every open data window: Condition, Diagnosis, Position, Mode, TimeStamp, RecSat,
    // Signal Levels, History, Position Scatter, Messages.
    void CloseDataWindows();
    // The open window of that kind, or null.
    QWidget *window(DataWindow which) const;
    // The receiver has sent nothing for a while (or speaks again): every open window, and
    // any opened meanwhile, shows its data as old.
    void setSilent(bool silent);
    bool silent() const { return m_silent; }
    // Another receiver: the open windows drop what the previous one sent.
    void clearReceiver();

private:
    static constexpr int kKinds = 10;
    DataWindowBase *open(DataWindow which) const;
    DataWindowBase *create(DataWindow which);

    GPS_Main &m_g;
    const QualityWatch &m_quality;
    QWidget *m_main;
    std::array<QPointer<DataWindowBase>, kKinds> m_windows;
    bool m_silent = false;
};
