#include "portkeeper.h"

#include "gpsmain.h"
#include "platform/serialport.h"

PortKeeper::PortKeeper(GPS_Main &g, SerialPort &port, QObject *parent)
    : QObject(parent), m_g(g), m_port(port)
{
    m_retry.setInterval(1000);
    connect(&m_port, &SerialPort::received, &m_g, &GPS_Main::OnReceive);
    connect(&m_port, &SerialPort::commEvent, &m_g, &GPS_Main::OnCommEvent);
    connect(&m_port, &SerialPort::lost, this, &PortKeeper::onLost);
    connect(&m_retry, &QTimer::timeout, this, &PortKeeper::retry);
    g.setPort(&port);
}

bool PortKeeper::PortOpen() const
{
    return m_port.PortOpen();
}

bool PortKeeper::open()
{
    m_retry.stop();
    return m_port.open();
}

void PortKeeper::close()
{
    m_retry.stop();
    m_port.close();
}

void PortKeeper::onLost()
{
    m_port.close();
    m_g.prependLog(QStringLiteral("ERR: Lost"));
    m_retry.start();
}

void PortKeeper::retry()
{
    if (m_port.open()) {
        m_retry.stop();
        m_g.prependLog(QStringLiteral("ERR: Reopened"));
    }
}
