#include "link/gpsmain.h"

#include "decoders/formatters.h"
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

const ReceiverQuality &GPS_Main::quality() const
{
    // A port opened since last asked: a new run, from when it opened.
    if (m_link.opens() != m_qualityOpens) {
        m_qualityOpens = m_link.opens();
        m_qualityReopens = 0;
        m_quality.start(m_link.openedAtMs(), TtffStart::PortOpened);
    }
    // Back after a loss: the same receiver, perhaps without power meanwhile.
    if (m_link.reopens() != m_qualityReopens) {
        m_qualityReopens = m_link.reopens();
        m_quality.start(m_link.reopenedAtMs(), TtffStart::PortReopened);
    }
    return m_quality;
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

void GPS_Main::OnReceive(const QByteArray &bytes)
{
    receive(bytes);
}

void GPS_Main::receive(QByteArrayView bytes)
{
    const auto *data = reinterpret_cast<const quint8 *>(bytes.data());
    qsizetype left = bytes.size();
    // The frames of one read arrived together: the clock is read once for all of them.
    qint64 arrivedMs = -1;
    const auto arrived = [&] {
        if (arrivedMs < 0)
            arrivedMs = dataClock().monotonicMs();
        return arrivedMs;
    };
    while (left > 0) {
        FrameStep step = FrameStep::NeedMore;
        const qsizetype taken = framerScan(*this, data, left, step);
        data += taken;
        left -= taken;
        if (step == FrameStep::NeedMore)
            continue;
        if (step == FrameStep::FrameGood)
            m_link.frame(MsgType, true, arrived());
        else
            m_link.frame(MsgType, false);
        if (step == FrameStep::FrameGood) {
            quality();
            const int length = qBound(0, int(MsgLength), kRxSize - 1);
            m_quality.frame(QByteArrayView(RxBuffer.data() + 1, length), arrived());
            if (MsgType == Msg::Navigation)
                m_link.navigationFix(RxBuffer[3]);
            dispatchFrame(*this);
        }
        emit frameReceived(step == FrameStep::FrameGood);
        logFrame(frameLogLine(*this, step));
    }
}

void GPS_Main::OnCommEvent(int code)
{
    if (code == CommEvent::Receive)
        return;
    prependLog(lineEventText(code));
    if (code == CommEvent::RxOver) {
        HuntingHeader = true;
        InBody = false;
    }
}

void GPS_Main::prependLog(const QString &line)
{
    prepend(line, kLogCeiling);
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
