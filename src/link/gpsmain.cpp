#include "link/gpsmain.h"

#include "link/encoder.h"
#include "link/framer.h"
#include "link/messagetypes.h"
#include "platform/serialport.h"

namespace {
constexpr qsizetype kLogCut = 100;
// Line events alone never cut the log; without a frame to cut it, a storm of
// them (noise at a wrong line speed) would grow it without end. Far more than
// the box shows, far less than would matter.
constexpr qsizetype kLogCeiling = 4096;
} // namespace

GPS_Main::GPS_Main(const Platform &platform, QObject *parent)
    : QObject(parent), m_platform(platform), m_link(m_dataClock)
{
    fillMsgTable(*this);
}

qint64 GPS_Main::DataClock::monotonicMs() const
{
    if (const SerialPort *port = m_g.MSComm1())
        if (const Clock *own = port->timeSource())
            return own->monotonicMs();
    return m_g.clock().monotonicMs();
}

qint64 GPS_Main::DataClock::utcMs() const
{
    if (const SerialPort *port = m_g.MSComm1())
        if (const Clock *own = port->timeSource())
            return own->utcMs();
    return m_g.clock().utcMs();
}

bool GPS_Main::SendRequest(int command, const void *owner)
{
    return write(requestFrame(command), owner);
}

bool GPS_Main::SendCommand(int command, const void *owner)
{
    return write(commandFrame(command, CmdBuffer), owner);
}

bool GPS_Main::write(const QByteArray &frame, const void *owner)
{
    const QString command = acknowledgedCommand(frame);
    if (!m_port || !m_port->PortOpen() || !m_port->Output(frame, owner)) {
        prependLog(QStringLiteral("ERR: NotOpen"));
        if (!command.isEmpty())
            m_link.commandNotSent(command);
        return false;
    }
    if (!command.isEmpty())
        m_link.commandSent(command, quint8(frame.at(0)));
    emit frameSent(frame);
    return true;
}

bool GPS_Main::sending(const void *owner) const
{
    return m_port && m_port->PortOpen() && m_port->outputPending(owner);
}

void GPS_Main::dropWaiting(const void *owner)
{
    if (m_port)
        m_port->dropWaiting(owner);
}

bool GPS_Main::portOpen() const
{
    return m_port && m_port->PortOpen();
}

void GPS_Main::setUnits(const Units &units)
{
    if (units == m_units)
        return;
    m_units = units;
    emit unitsChanged();
}

void GPS_Main::OnReceive(const QByteArray &bytes)
{
    receive(bytes);
}

void GPS_Main::receive(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const quint8 *>(bytes.data());
    qsizetype left = bytes.size();
    // The bytes of one read arrived together: the clock is read once for all of them.
    qint64 arrivedMs = -1;
    const auto arrived = [&] {
        if (arrivedMs < 0)
            arrivedMs = dataClock().monotonicMs();
        return arrivedMs;
    };
    while (left > 0) {
        FrameStep step = FrameStep::NeedMore;
        const qsizetype taken = m_framer.scan(data, left, step);
        data += taken;
        left -= taken;
        // A frame is timed by the read that brought its first byte.
        if (m_framer.needsArrival())
            m_framer.setArrival(arrived(), dataClock().utcMs());
        if (step == FrameStep::NeedMore)
            continue;
        m_framer.setCompletion(arrived());
        const Frame &frame = m_framer.frame();
        if (frame.good) {
            m_link.frame(frame.type(), true, arrived());
            if (frame.type() == Msg::Navigation) {
                m_link.navigationFix(frame.at(3));
                std::copy_n(frame.data.begin(), LastNavigation.size() - 1,
                            LastNavigation.begin() + 1);
            }
        } else {
            m_link.frame(frame.type(), false);
        }
        m_dispatcher.dispatch(frame);
        logFrame(frame.logLine());
    }
}

void GPS_Main::OnCommEvent(int code)
{
    if (code == CommEvent::Receive)
        return;
    prependLog(lineEventText(code));
    if (code == CommEvent::RxOver)
        m_framer.abandon();
}

void GPS_Main::prependLog(const QString &line)
{
    prepend(line, kLogCeiling);
    emit logged(line);
}

void GPS_Main::logFrame(const QString &line)
{
    prepend(line, kLogCut);
}

void GPS_Main::prepend(const QString &line, qsizetype limit)
{
    QString text;
    text.reserve(std::min(line.size() + 2 + m_errorDis.size(), limit));
    text.append(line).append(QLatin1String("\r\n")).append(m_errorDis);
    text.truncate(limit);
    m_errorDis = std::move(text);
    emit errorDisChanged(m_errorDis);
}
