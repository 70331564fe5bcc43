#include "portkeeper.h"

#include "gpsmain.h"
#include "platform/replayport.h"
#include "platform/serialport.h"
#include "platform/simulatedport.h"

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

QString PortKeeper::description() const
{
    if (m_port.systemName() == SimulatedPort::deviceName() ||
        m_port.systemName() == ReplayPort::deviceName())
        return m_port.systemName();
    return m_port.displayName() + QLatin1Char(' ') + m_port.Settings();
}

bool PortKeeper::open()
{
    m_retry.stop();
    const bool opened = m_port.open();
    if (opened) {
        m_g.link().opened(description());
        emit this->opened(description());
    } else {
        m_g.link().openFailed(description());
    }
    return opened;
}

void PortKeeper::close()
{
    m_retry.stop();
    m_port.close();
    m_g.link().closed();
}

void PortKeeper::onLost()
{
    m_port.close();
    m_g.prependLog(QStringLiteral("ERR: Lost"));
    m_g.link().lost();
    m_retry.start();
}

void PortKeeper::retry()
{
    if (m_port.open()) {
        m_retry.stop();
        m_g.prependLog(QStringLiteral("ERR: Reopened"));
        m_g.link().reopened();
    }
}
