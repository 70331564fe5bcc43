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
    void stop() { m_retry.stop(); }
    bool reopening() const { return m_retry.isActive(); }
    void setRetryInterval(int ms) { m_retry.setInterval(ms); }

signals:
    // The port is closed now; attempts to reopen it follow.
    void lost();
    void reopened();

private:
    void onLost();
    void retry();

    SerialPort &m_port;
    QTimer m_retry;
};
