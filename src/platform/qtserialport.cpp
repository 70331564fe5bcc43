#include "platform/qtserialport.h"

#include "platform/quotedtext.h"

#include <algorithm>

#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace {

#ifdef Q_OS_LINUX
bool readCounters(int fd, LineCounters &out)
{
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    out = {quint32(ic.brk),         quint32(ic.frame),  quint32(ic.overrun),
           quint32(ic.buf_overrun), quint32(ic.parity), quint32(ic.cts),
           quint32(ic.dsr),         quint32(ic.dcd),    quint32(ic.rng)};
    return true;
}

bool readModemBits(int fd, int &out)
{
    return ::ioctl(fd, TIOCMGET, &out) == 0;
}
#endif

QSerialPort::Parity toParity(char c)
{
    switch (c) {
    case 'e':
        return QSerialPort::EvenParity;
    case 'o':
        return QSerialPort::OddParity;
    case 'm':
        return QSerialPort::MarkParity;
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

} // namespace

QtSerialPort::QtSerialPort(QObject *parent) : SerialPort(parent)
{
    connect(&m_port, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
    m_batchTimer.setSingleShot(true);
    connect(&m_batchTimer, &QTimer::timeout, this, &QtSerialPort::handOver);
    connect(&m_port, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
    connect(&m_port, &QSerialPort::bytesWritten, this, &QtSerialPort::onBytesWritten);
    m_lineTimer.setInterval(50);
    connect(&m_lineTimer, &QTimer::timeout, this, &QtSerialPort::pollLines);
}

QtSerialPort::~QtSerialPort()
{
    close();
}

bool QtSerialPort::open()
{
    close();
    m_error.clear();
    const auto settings = LineSettings::parse(Settings());
    if (!settings) {
        m_error = QStringLiteral("invalid line settings «%1»").arg(quotedText(Settings()));
        return false;
    }
    m_port.setPortName(systemName());
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_error = m_port.errorString();
        return false;
    }
    // Some drivers refuse a parameter (pseudo-terminals take everything); the
    // port stays usable with what the driver keeps, so a refusal is not a failure.
    m_port.setBaudRate(settings->speed);
    m_port.setDataBits(QSerialPort::DataBits(settings->dataBits));
    m_port.setParity(toParity(settings->parity));
    m_port.setStopBits(settings->stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_port.clearError();

    m_watch = LineWatch::None;
#ifdef Q_OS_LINUX
    const int fd = int(m_port.handle());
    if (readCounters(fd, m_counters))
        m_watch = LineWatch::Counters;
    else if (readModemBits(fd, m_modemBits))
        m_watch = LineWatch::ModemBits;
#endif
    if (m_watch != LineWatch::None)
        m_lineTimer.start();
    return true;
}

void QtSerialPort::close()
{
    m_lineTimer.stop();
    m_batchTimer.stop();
    m_watch = LineWatch::None;
    m_waiting.clear();
    m_writingOwner = nullptr;
    m_writingLeft = 0;
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialPort::Output(const QByteArray &bytes, const void *owner)
{
    if (!m_port.isOpen())
        return false;
    if (m_writingLeft > 0) {
        m_waiting.push_back({bytes, owner});
        return true;
    }
    return startWriting({bytes, owner});
}

bool QtSerialPort::startWriting(const Outgoing &frame)
{
    if (m_port.write(frame.bytes) != frame.bytes.size())
        return false;
    m_writingOwner = frame.owner;
    m_writingLeft = frame.bytes.size();
    return true;
}

void QtSerialPort::onBytesWritten(qint64 count)
{
    m_writingLeft -= count;
    if (m_writingLeft > 0)
        return;
    m_writingLeft = 0;
    m_writingOwner = nullptr;
    while (!m_waiting.empty()) {
        const Outgoing next = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (startWriting(next))
            return;
    }
}

bool QtSerialPort::outputPending(const void *owner) const
{
    if (m_writingLeft > 0 && m_writingOwner == owner)
        return true;
    return std::any_of(m_waiting.begin(), m_waiting.end(),
                       [owner](const Outgoing &o) { return o.owner == owner; });
}

void QtSerialPort::dropWaiting(const void *owner)
{
    std::erase_if(m_waiting, [owner](const Outgoing &o) { return o.owner == owner; });
}

qint64 QtSerialPort::bytesWaiting() const
{
    qint64 n = m_writingLeft;
    for (const Outgoing &o : m_waiting)
        n += o.bytes.size();
    return n;
}

namespace {
// Every hand-over ends in the windows being painted again, and a screen shows about
// sixty pictures a second. Bytes that come after a quiet spell (a receiver sending ten
// times a second) go on at once; on a line that keeps bringing bytes, they go on
// together once per picture the screen can show.
constexpr qint64 kBatchMs = 16;
// No bytes for this long is a quiet line: a whole message from the receiver comes in
// one burst, much shorter than the time between two, while a busy line (or a program
// late to read it) brings bytes every millisecond or two.
constexpr qint64 kQuietMs = 5;
} // namespace

void QtSerialPort::onReadyRead()
{
    const bool quiet = !m_lastBytes.isValid() || m_lastBytes.elapsed() >= kQuietMs;
    m_lastBytes.start();
    const qint64 since = m_lastHandOver.isValid() ? m_lastHandOver.elapsed() : kBatchMs;
    if (quiet || since >= kBatchMs) {
        handOver();
        return;
    }
    if (!m_batchTimer.isActive())
        m_batchTimer.start(int(kBatchMs - since));
}

void QtSerialPort::handOver()
{
    m_batchTimer.stop();
    m_lastHandOver.start();
    const QByteArray bytes = m_port.readAll();
    if (!bytes.isEmpty())
        emit received(bytes);
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || !m_port.isOpen())
        return;
    // A pulled USB adapter or a closed pseudo-terminal shows up as a resource or read error.
    if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError) {
        m_error = m_port.errorString();
        close();
        emit lost();
    }
}

void QtSerialPort::pollLines()
{
#ifdef Q_OS_LINUX
    if (!m_port.isOpen())
        return;
    // Bytes that arrived before a line event are handed on before it.
    if (m_batchTimer.isActive())
        handOver();
    const int fd = int(m_port.handle());
    QList<int> events;
    if (m_watch == LineWatch::Counters) {
        LineCounters now;
        if (!readCounters(fd, now))
            return;
        events = lineEventsFromCounters(m_counters, now);
        m_counters = now;
    } else if (m_watch == LineWatch::ModemBits) {
        int now = 0;
        if (!readModemBits(fd, now))
            return;
        events = lineEventsFromModemBits(m_modemBits, now);
        m_modemBits = now;
    }
    for (int code : events)
        emit commEvent(code);
#endif
}
