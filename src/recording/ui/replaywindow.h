#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class ReplayPort;

// "Replay": pause, speed and position of the recording the program plays, and the
// time in it. It only puts the replay port's state into its controls and hands the
// user's choices back.
class ReplayWindow : public QWidget {
    Q_OBJECT
public:
    ReplayWindow(ReplayPort &replay, QWidget *parent = nullptr);

    // Brings the controls up to the port's state.
    void refresh();

    // Pause or Play; at the end of the recording, Play again from its beginning.
    void Pause_Click();
    void Speed_Click(int index);
    // The slider was let go, or moved with keys or a click: play from there.
    void Position_Change();

private:
    ReplayPort &m_replay;
    QPushButton *m_pause = nullptr;
    QComboBox *m_speed = nullptr;
    QSlider *m_position = nullptr;
    QLabel *m_time = nullptr;
};
