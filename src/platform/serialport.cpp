#include "platform/serialport.h"

#include <QEventLoop>
#include <QStringList>
#include <QTimer>

#ifdef Q_OS_LINUX
#include <sys/ioctl.h>
#endif

QString LineSettings::text() const
{
    return QStringLiteral("%1,%2,%3,%4").arg(speed).arg(QChar(parity)).arg(dataBits).arg(stopBits);
}

std::optional<LineSettings> LineSettings::parse(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    bool ok[3] = {};
    LineSettings s;
    s.speed = parts[0].trimmed().toInt(&ok[0]);
    const QString p = parts[1].trimmed().toLower();
    s.dataBits = parts[2].trimmed().toInt(&ok[1]);
    s.stopBits = parts[3].trimmed().toInt(&ok[2]);
    if (!ok[0] || !ok[1] || !ok[2] || p.size() != 1 || !QStringLiteral("nemos").contains(p.at(0)) ||
        s.speed <= 0 || s.dataBits < 5 || s.dataBits > 8 || (s.stopBits != 1 && s.stopBits != 2))
        return std::nullopt;
    s.parity = p.at(0).toLatin1();
    return s;
}

void SerialPort::setCommPort(int n)
{
    m_commPort = n;
}

QString SerialPort::systemName() const
{
    return m_device.isEmpty() ? comPortDevice(m_commPort) : m_device;
}

QString SerialPort::displayName() const
{
    return m_device.isEmpty() ? QStringLiteral("COM%1").arg(m_commPort) : m_device;
}

bool waitWhileOpening(SerialPort &port)
{
    if (port.opening()) {
        QEventLoop loop;
        // A close meanwhile ends the opening without a signal; the timer sees it.
        QTimer check;
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (!port.opening())
                loop.quit();
        });
        QObject::connect(&port, &SerialPort::established, &loop, &QEventLoop::quit);
        QObject::connect(&port, &SerialPort::lost, &loop, &QEventLoop::quit);
        check.start(50);
        loop.exec();
    }
    return port.PortOpen() && !port.opening();
}

QString comPortDevice(int n)
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(n);
#else
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
#endif
}

QList<int> lineEventsFromCounters(const LineCounters &a, const LineCounters &b)
{
    QList<int> events;
    const auto check = [&](quint32 before, quint32 after, int code) {
        // Unsigned difference: a counter that wrapped still counts as gone up.
        const quint32 up = after - before;
        if (up != 0 && up < 0x80000000u)
            events.append(code);
    };
    check(a.brk, b.brk, CommEvent::Break);
    check(a.frame, b.frame, CommEvent::Frame);
    check(a.overrun, b.overrun, CommEvent::Overrun);
    check(a.bufOverrun, b.bufOverrun, CommEvent::RxOver);
    check(a.parity, b.parity, CommEvent::RxParity);
    check(a.cts, b.cts, CommEvent::Cts);
    check(a.dsr, b.dsr, CommEvent::Dsr);
    check(a.dcd, b.dcd, CommEvent::Cd);
    check(a.ring, b.ring, CommEvent::Ring);
    return events;
}

QList<int> lineEventsFromModemBits(int before, int after)
{
    QList<int> events;
#ifdef Q_OS_LINUX
    const int changed = before ^ after;
    if (changed & TIOCM_CTS)
        events.append(CommEvent::Cts);
    if (changed & TIOCM_DSR)
        events.append(CommEvent::Dsr);
    if (changed & TIOCM_CD)
        events.append(CommEvent::Cd);
    // The ring indicator raises its event when the ring ends, as Windows reports it.
    if ((before & TIOCM_RI) && !(after & TIOCM_RI))
        events.append(CommEvent::Ring);
#else
    Q_UNUSED(before);
    Q_UNUSED(after);
#endif
    return events;
}
