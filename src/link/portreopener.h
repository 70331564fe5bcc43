#pragma once

#include <QObject>
#include <QTimer>

class SerialPort;

// When the device disappears under an open port (a USB adapter pulled out, a
// simulated receiver that ended) it closes the port and tries to open the same
// device again about once a second until it is back. Whoever watches the port hears
// of both through lost() and reopened().
class PortReopener : public QObject {
    Q_OBJECT
public:
    explicit PortReopener(SerialPort &port, QObject *parent = nullptr);

    // No more attempts, as after a deliberate open or close.
    void stop()
    {
        m_retry.stop();
        m_awaiting = false;
    }
    bool reopening() const { return m_retry.isActive() || m_awaiting; }
    // While held, a loss is the business of whoever holds it (an open waiting for a
    // network connection), not a reason to reopen.
    void hold(bool on) { m_held = on; }
    void setRetryInterval(int ms) { m_retry.setInterval(ms); }

signals:
    // The port is closed now; attempts to reopen it follow.
    void lost();
    void reopened();

private:
    void onLost();
    void retry();
    void onEstablished();

    SerialPort &m_port;
    QTimer m_retry;
    // A reopening that is still connecting (a receiver on the network).
    bool m_awaiting = false;
    bool m_held = false;
};
