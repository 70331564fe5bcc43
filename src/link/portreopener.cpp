#include "link/portreopener.h"

#include "platform/serialport.h"

PortReopener::PortReopener(SerialPort &port, QObject *parent) : QObject(parent), m_port(port)
{
    m_retry.setInterval(1000);
    connect(&m_port, &SerialPort::lost, this, &PortReopener::onLost);
    connect(&m_port, &SerialPort::established, this, &PortReopener::onEstablished);
    connect(&m_retry, &QTimer::timeout, this, &PortReopener::retry);
}

void PortReopener::onLost()
{
    if (m_held)
        return;
    m_port.close();
    // A reopening that could not connect is one more attempt, not a second loss.
    if (m_awaiting)
        m_awaiting = false;
    else
        emit lost();
    m_retry.start();
}

void PortReopener::retry()
{
    if (m_port.open()) {
        m_retry.stop();
        if (m_port.opening()) {
            m_awaiting = true;
            return;
        }
        emit reopened();
    }
}

void PortReopener::onEstablished()
{
    if (!m_awaiting)
        return;
    m_awaiting = false;
    emit reopened();
}
