#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

class GPS_Main;
class QLineEdit;
class QWidget;

// Manual and timed refresh of a data window: Refresh sends one request and stops
// the timer; Auto starts it with the interval in the AutoRefresh box; each tick
// sends once and restarts from the box, so a changed interval counts after the next tick.
// The request marks its frame with the window; a tick finding the previous request
// still on its way sends nothing, so a slow or stalled line never piles requests up.
class AutoRefresh : public QObject {
    Q_OBJECT
public:
    // request sends one request whose frame it marks with the owner it is given.
    AutoRefresh(GPS_Main &g, QLineEdit *intervalBox, std::function<void(const void *owner)> request,
                QWidget *window);

    void Refresh_Click();
    // An empty box becomes "1". An interval of 0 never ticks; text that is no number
    // of 0 to 65.535 seconds is refused with a message and the timer stays stopped.
    void Auto_Click();
    void Timer1_Timer();
    // Stops the timer and takes back requests that have not begun to go out.
    void stop();

    QTimer &Timer1() { return m_timer; }

private:
    GPS_Main &m_g;
    QLineEdit *m_box;
    std::function<void(const void *owner)> m_request;
    QWidget *m_window;
    QTimer m_timer;
};
