#pragma once

#include "link/portreopener.h"

#include <QObject>

class GPS_Main;
class SerialPort;

// Joins the serial port to the receiver link: received bytes go to the framer,
// line events to the log. When the device disappears under an open port (a USB
// adapter pulled out) it logs the loss and tries to reopen the same device about
// once a second until it is back.
class PortKeeper : public QObject {
    Q_OBJECT
public:
    PortKeeper(GPS_Main &g, SerialPort &port, QObject *parent = nullptr);

    SerialPort &port() const { return m_port; }
    bool PortOpen() const;
    // Opens with the port's current settings; stops any reopening in progress.
    bool open();
    // A deliberate close; no reopening follows.
    void close();
    bool reopening() const { return m_reopener.reopening(); }

signals:
    // A port was opened deliberately (not reopened after a loss).
    void opened(const QString &description);

public:
    // How the status line names the port: «/dev/ttyUSB0 9600,e,8,1», «Simulated receiver».
    QString description() const;
    void setRetryInterval(int ms) { m_reopener.setRetryInterval(ms); }

private:
    void onLost();
    void onReopened();

    GPS_Main &m_g;
    SerialPort &m_port;
    PortReopener m_reopener;
};
