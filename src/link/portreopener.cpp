#include "link/portreopener.h"

#include "platform/serialport.h"

PortReopener::PortReopener(SerialPort &port, QObject *parent) : QObject(parent), m_port(port)
{
    m_retry.setInterval(1000);
    connect(&m_port, &SerialPort::lost, this, &PortReopener::onLost);
    connect(&m_retry, &QTimer::timeout, this, &PortReopener::retry);
}

void PortReopener::onLost()
{
    m_port.close();
    emit lost();
    m_retry.start();
}

void PortReopener::retry()
{
    if (m_port.open()) {
        m_retry.stop();
        emit reopened();
    }
}
