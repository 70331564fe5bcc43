#include "platform/selectingserialport.h"

SelectingSerialPort::SelectingSerialPort(std::unique_ptr<SerialPort> fallback, QObject *parent)
    : SerialPort(parent), m_fallback(std::move(fallback)), m_active(m_fallback.get())
{
    join(*m_fallback);
}

SelectingSerialPort::~SelectingSerialPort()
{
    close();
}

void SelectingSerialPort::join(SerialPort &port)
{
    connect(&port, &SerialPort::received, this, &SerialPort::received);
    connect(&port, &SerialPort::commEvent, this, &SerialPort::commEvent);
    connect(&port, &SerialPort::lost, this, &SerialPort::lost);
    connect(&port, &SerialPort::established, this, &SerialPort::established);
}

void SelectingSerialPort::addDevice(const QString &name, std::unique_ptr<SerialPort> port,
                                    Offered offered)
{
    join(*port);
    m_named.push_back({name, std::move(port), offered, {}});
}

void SelectingSerialPort::addClaimingDevice(std::function<bool(const QString &)> claims,
                                            std::unique_ptr<SerialPort> port)
{
    join(*port);
    m_named.push_back({QString(), std::move(port), Offered::No, std::move(claims)});
}

QStringList SelectingSerialPort::offeredDevices() const
{
    QStringList names;
    for (const Named &n : m_named) {
        if (n.offered == Offered::InPortDialog)
            names.append(n.name);
    }
    return names;
}

SerialPort &SelectingSerialPort::chosen() const
{
    for (const Named &n : m_named) {
        if (n.claims ? n.claims(device()) : device() == n.name)
            return *n.port;
    }
    return *m_fallback;
}

bool SelectingSerialPort::isSerialLine() const
{
    SerialPort &port = chosen();
    // A network address is a serial line when its far side takes line settings, which
    // the address itself tells.
    if (&port != m_active || !port.PortOpen())
        port.setDevice(device());
    return port.isSerialLine();
}

bool SelectingSerialPort::open()
{
    close();
    m_active = &chosen();
    m_active->setCommPort(CommPort());
    m_active->setDevice(device());
    m_active->setSettings(Settings());
    return m_active->open();
}

void SelectingSerialPort::close()
{
    if (m_active->PortOpen())
        m_active->close();
}
