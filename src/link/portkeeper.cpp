#include "link/portkeeper.h"

#include "link/gpsmain.h"
#include "platform/quotedtext.h"
#include "platform/serialport.h"

PortKeeper::PortKeeper(GPS_Main &g, SerialPort &port, QObject *parent)
    : QObject(parent), m_g(g), m_port(port), m_reopener(port)
{
    connect(&m_port, &SerialPort::received, &m_g, &GPS_Main::OnReceive);
    connect(&m_port, &SerialPort::commEvent, &m_g, &GPS_Main::OnCommEvent);
    connect(&m_reopener, &PortReopener::lost, this, &PortKeeper::onLost);
    connect(&m_reopener, &PortReopener::reopened, this, &PortKeeper::onReopened);
    g.setPort(&port);
}

bool PortKeeper::PortOpen() const
{
    return m_port.PortOpen();
}

QString PortKeeper::description() const
{
    // A name typed in the port dialog reaches the status line as it was typed.
    if (!m_port.isSerialLine())
        return quotedPath(m_port.systemName());
    return quotedPath(m_port.displayName()) + QLatin1Char(' ') + quotedText(m_port.Settings());
}

bool PortKeeper::open()
{
    m_reopener.stop();
    bool opened = m_port.open();
    if (opened && m_port.opening()) {
        // A receiver on the network: the windows go on while it connects, and a failure
        // is this open's, told as a port that is not available.
        m_reopener.hold(true);
        opened = waitWhileOpening(m_port);
        m_reopener.hold(false);
        if (!opened)
            m_port.close();
    }
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
    m_reopener.stop();
    m_port.close();
    m_g.link().closed();
}

void PortKeeper::onLost()
{
    m_g.prependLog(QStringLiteral("ERR: Lost"));
    m_g.link().lost();
}

void PortKeeper::onReopened()
{
    m_g.prependLog(QStringLiteral("ERR: Reopened"));
    m_g.link().reopened();
}
